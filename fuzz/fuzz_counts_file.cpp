// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the counts-file reader. Whatever it accepts must be written back and
// read again to the same text, and added to nothing must give the same file; nothing may crash.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "results/counts_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    runemeter::RunCounts counts;
    if (runemeter::readCountsFile(text, counts)) {
        return 0;
    }
    const std::string written = runemeter::writeCountsFile(counts);
    runemeter::RunCounts again;
    if (runemeter::readCountsFile(written, again) || runemeter::writeCountsFile(again) != written) {
        std::abort();
    }
    runemeter::RunCounts total;
    total.choices = counts.choices;
    if (runemeter::addRunCounts(total, counts) || runemeter::writeCountsFile(total) != written) {
        std::abort();
    }
    return 0;
}
