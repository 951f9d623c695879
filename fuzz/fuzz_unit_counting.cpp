// SPDX-License-Identifier: GPL-3.0-or-later
// The code-point and grapheme counters and the normaliser on arbitrary UTF-16 (lone surrogates
// included). The first byte picks the unit and the normal form, the second the piece size, the
// third where the text is split in two; the rest is the text, two bytes a unit (little-endian).
// The streamed, split count must equal the count of the whole text made with ICU.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "reference_units.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace runemeter;
    if (size < 3) {
        return 0;
    }
    const auto unit = static_cast<CountingUnit>(data[0] % 3);
    const auto form = static_cast<Normalisation>(data[0] / 3 % 5);
    const std::size_t piece = 1 + data[1] % 16;
    std::u16string text;
    for (std::size_t i = 3; i + 1 < size; i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    const std::size_t split = text.size() * data[2] / 255;
    if (reference::streamed(text, unit, form, piece, split) !=
        reference::counted(reference::normalised(text, form), unit)) {
        std::abort();
    }
    return 0;
}
