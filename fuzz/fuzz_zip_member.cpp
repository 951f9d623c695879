// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the zip reader: the input is written to a file (the reader opens archives by
// path), listed, and every member extracted with a small limit.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "suite/file_iterator.h"
#include "suite/unicode_text.h"
#include "suite/zip_reader.h"

namespace {

std::filesystem::path makeScratchFile() {
    std::string name =
        (std::filesystem::temp_directory_path() / "runemeter-fuzz-zip-XXXXXX").string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        std::abort();
    ::close(fd);
    return std::filesystem::path(name);
}

void removeScratchFile();

const std::filesystem::path& scratchFile() {
    static const std::filesystem::path path = makeScratchFile();
    // Registered after the path exists, so it runs before the path is destroyed.
    static const bool removedAtExit = std::atexit(removeScratchFile) == 0;
    (void)removedAtExit;
    return path;
}

void removeScratchFile() {
    std::error_code ec;
    std::filesystem::remove(scratchFile(), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path& path = scratchFile();
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        if (size > 0)
            std::fwrite(data, 1, size, file);
        std::fclose(file);
    } else {
        std::abort();
    }
    runemeter::TUnZipReader reader;
    if (!reader.open(path))
        return 0;
    std::vector<std::byte> buffer;
    for (const runemeter::ZipMemberInfo& member : reader.members()) {
        (void)runemeter::matchesFileMask(runemeter::utf8ToUtf16(member.name), u"*.txt;?*.m?");
        const auto status = reader.UnZipToBufferByIndex(member.index, buffer, 1 << 20);
        if (status == runemeter::ZipReadStatus::Ok && buffer.size() > (1u << 20))
            std::abort();
        if (status != runemeter::ZipReadStatus::Ok && !buffer.empty())
            std::abort();
    }
    return 0;
}
