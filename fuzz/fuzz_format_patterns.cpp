// SPDX-License-Identifier: GPL-3.0-or-later
// Format patterns come from translated language files: any pattern, with any number value,
// must format without reading past its arguments.
//
// Input: 8 bytes of a double, then the pattern as UTF-16 little-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "suite/resource_strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    double value = 0;
    if (size >= sizeof value) {
        std::memcpy(&value, data, sizeof value);
        data += sizeof value;
        size -= sizeof value;
    }
    std::u16string pattern;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        pattern.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    const std::array<std::u16string_view, 2> args{u"first", u"second"};
    const std::u16string strings = runemeter::formatWithStrings(pattern, args);
    const std::u16string number = runemeter::formatWithNumber(pattern, value);
    // Nothing is made up: without a "%" the pattern comes back as it is.
    if (pattern.find(u'%') == std::u16string::npos && (strings != pattern || number != pattern)) {
        __builtin_trap();
    }
    return 0;
}
