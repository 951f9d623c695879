// SPDX-License-Identifier: GPL-3.0-or-later
// Language modules from untrusted bytes: a module that reads must write back to the same bytes,
// and anything else must be refused without an exception.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "localisation/loc_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace runemeter;
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    LanguageModule module;
    if (!readLanguageModule(bytes, module)) {
        return 0;
    }
    // Records shorter than the full layout read fine but are written in full, so compare the
    // second generation with the first.
    const std::vector<std::byte> written = writeLanguageModule(module);
    LanguageModule again;
    if (!readLanguageModule(written, again) || again.settings != module.settings ||
        again.strings != module.strings) {
        std::abort();
    }
    return 0;
}
