// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the settings-file reader. Whatever it accepts must be written back
// and read again to the same text; nothing may crash.

#include "frame/settings_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    runemeter::SettingsFile ini;
    if (ini.parse(text)) {
        if (!ini.empty()) {
            std::abort();  // a failed parse must not leave half a file behind
        }
    } else {
        const std::string written = ini.serialise();
        runemeter::SettingsFile again;
        if (again.parse(written) || again.serialise() != written) {
            std::abort();
        }
    }
    // The digit strings of scrambled passwords come from the same untrusted file.
    const std::u16string wide(text.begin(), text.end());
    if (const auto bytes = runemeter::FromNumStr(wide)) {
        if (runemeter::ToNumStr(*bytes) != wide) {
            std::abort();
        }
    }
    return 0;
}
