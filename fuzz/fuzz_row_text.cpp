// SPDX-License-Identifier: GPL-3.0-or-later
// Row texts reach the fields, column texts and copy text; labels among them come from
// translations. Any text, with any frequency, must be handled.
//
// Input: 8 bytes of the frequency, 8 bytes of the total, then the row text as UTF-16 LE.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "results/copy_text.h"
#include "results/row_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::int64_t frequency = 0;
    std::int64_t total = 0;
    if (size >= sizeof frequency + sizeof total) {
        std::memcpy(&frequency, data, sizeof frequency);
        std::memcpy(&total, data + sizeof frequency, sizeof total);
        data += sizeof frequency + sizeof total;
        size -= sizeof frequency + sizeof total;
    }
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    const runemeter::RowFields fields = runemeter::deriveRowFields(text);
    const runemeter::RowColumnTexts columns = runemeter::rowColumnTexts(
        text, frequency, total, false, runemeter::FormatSettings{u'.', u','});
    if (!fields.numeric && !columns.code.empty()) {
        __builtin_trap();
    }
    const std::vector<runemeter::ProfileRow> rows{{text, frequency}};
    for (const bool lettersOnly : {false, true}) {
        const std::u16string copy = runemeter::buildCopyText(rows, lettersOnly);
        if (!copy.empty() && copy.substr(copy.size() - 2) != u"\r\n") {
            __builtin_trap();
        }
    }
    return 0;
}
