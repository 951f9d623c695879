// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile language files: counts that claim more than the file holds, a huge file and a FIFO
// are refused with their error before anything large is allocated.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "localisation/lang_file.h"
#include "localisation/lzcompress.h"
#include "support/allocation_probe.h"
#include "support/files.h"

namespace runemeter {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

// The header of an empty file of the format version, without the list counts of its body.
std::string headerOf(std::uint16_t formatVersion) {
    LangFileImage image;
    image.header.formatVersion = formatVersion;
    const auto bytes = writeLangFileImage(image, false);
    const std::size_t lists = formatVersion >= 7 ? 3 : 2;
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size() - 2 * lists);
}

// Loads the file as the native language, as the program does: "EClass: message" or "loaded".
std::string loadError(const std::filesystem::path& file) {
    try {
        TLocStorage store;
        TLangFile::Create(file, true)->Load(&store, -1);
    } catch (const NamedError& e) {
        return std::string(e.className()) + ": " + e.what();
    }
    return "loaded";
}

TEST(HostileLangFile, CountsClaimingMoreThanTheFileAreRefusedBeforeAnyLargeAllocation) {
    const std::string v7 = headerOf(7), v5 = headerOf(5);
    ASSERT_EQ(v7.size(), 36u);
    ASSERT_EQ(v5.size(), 32u);
    const std::string unitNameOfAGigabyte = v7 + std::string("\1\0\377\377\377\377U", 7);
    const auto packed = lzCompress(toBytes(unitNameOfAGigabyte));
    const std::string read = "EReadError: Stream read error at offset ";
    const std::pair<std::string, std::string> rows[] = {
        {unitNameOfAGigabyte, read + "38"},
        // One unit "U" with a constant "C" whose text claims 2^30 units.
        {v7 + std::string("\1\0\1U\0\0\1\0\1C\0\0\0\0\1\0\0\0\377\377\377\377abcd", 26),
         read + "54"},
        {v7 + std::string("\377\377", 2), read + "38"},  // 65535 units and nothing after
        // 65535 forms, the first claiming 65535 properties.
        {v7 + std::string("\0\0\377\377\1F\0\0\377\377", 10), read + "46"},
        {v5 + std::string("\1\0\377\377abc", 7), read + "34"},           // a name of 65535 bytes
        {v7.substr(0, 16) + std::string("\xFF\xFFx", 3), read + "16"},   // header name
        {v7.substr(0, 18) + std::string("\xFF\xFFxy", 4), read + "18"},  // header text
        {std::string(reinterpret_cast<const char*>(packed.data()), packed.size()), read + "38"},
        {std::string("LZC00\0\0\0\0\x02L\x05\x00", 13),
         "ECompressError: Invalid back reference (distance 2) at offset 11"},
    };
    for (const auto& [bytes, error] : rows) {
        SCOPED_TRACE(error);
        test::TempDir dir;
        test::writeFile(dir / "Runemeter.ntv.lng", bytes);
        test::AllocationProbe probe;
        EXPECT_EQ(loadError(dir / "Runemeter.ntv.lng"), error);
        EXPECT_LT(probe.largest(), kMiB);
    }
}

TEST(HostileLangFile, AHugeFileIsRefusedUnreadAndAPipeWithoutBlocking) {
    test::TempDir dir;
    const auto file = dir / "Runemeter.ntv.lng";
    test::writeFile(file, headerOf(7) + std::string(6, '\0'));
    std::filesystem::resize_file(file, 300 * kMiB);  // sparse: nothing is written
    test::AllocationProbe probe;
    EXPECT_EQ(loadError(file), "EFOpenError: Cannot load \"" + file.string() +
                                   "\": a language file of more than 256 MiB is not plausible");
    EXPECT_LT(probe.largest(), kMiB);
    const auto pipe = dir / "Runemeter.DEU.lng";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(loadError(pipe),
              "EFOpenError: Cannot open file \"" + pipe.string() + "\": not a regular file");
}

}  // namespace
}  // namespace runemeter
