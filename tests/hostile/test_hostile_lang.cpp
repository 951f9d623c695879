#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "localisation/LocLangFile.h"
#include "localisation/lang_file_format.h"
#include "localisation/lzcompress.h"
#include "support/allocation_probe.h"
#include "support/temp_tree.h"

namespace runemeter {
namespace {

using test::AllocationProbe;
using test::TempDir;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// The header of an empty file of the format version, without the list counts of its body.
std::string headerOf(std::uint16_t formatVersion) {
    LangFileImage image;
    image.header.formatVersion = formatVersion;
    const auto bytes = writeLangFileImage(image, false);
    const std::size_t lists = formatVersion >= 7 ? 3 : 2;
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size() - 2 * lists);
}

std::string compressed(const std::string& plain) {
    const auto packed = lzCompress(std::as_bytes(std::span(plain.data(), plain.size())));
    return std::string(reinterpret_cast<const char*>(packed.data()), packed.size());
}

// Creates the file object and loads it as the native language, as the program does; the
// error raised on the way, as "EClass: message", or "loaded".
std::string loadError(const std::filesystem::path& file) {
    try {
        const auto langFile = TLangFile::Create(file, true);
        TLocStorage store;
        langFile->Load(&store, -1);
    } catch (const NamedError& e) {
        return std::string(e.className()) + ": " + e.what();
    }
    return "loaded";
}

struct LangCase {
    const char* name;
    std::string bytes;
    std::string error;
};

void PrintTo(const LangCase& row, std::ostream* os) {
    *os << row.name;
}

std::vector<LangCase> langCases() {
    const std::string v7 = headerOf(7);  // 36 bytes
    const std::string v5 = headerOf(5);  // 32 bytes
    const std::string unitNameOfAGigabyte = v7 + std::string("\x01\x00\xFF\xFF\xFF\xFFU", 7);
    return {
        {"unit_name_claims_a_gigabyte", unitNameOfAGigabyte,
         "EReadError: Stream read error at offset 38"},
        {"constant_text_claims_two_gigabytes",
         v7 + std::string("\x01\x00"       // one unit
                          "\x01U\x00\x00"  // its name and attributes
                          "\x01\x00"       // one constant
                          "\x01"
                          "C\x00\x00"                 // its name and attributes
                          "\x00\x00\x01\x00\x00\x00"  // string id and id
                          "\xFF\xFF\xFF\xFF"
                          "abcd",  // text of 2^30 units
                          26),
         "EReadError: Stream read error at offset 54"},
        {"65535_units_and_nothing_after", v7 + std::string("\xFF\xFF", 2),
         "EReadError: Stream read error at offset 38"},
        {"65535_forms_each_claiming_65535_properties",
         v7 + std::string("\x00\x00\xFF\xFF\x01"
                          "F\x00\x00\xFF\xFF",
                          10),
         "EReadError: Stream read error at offset 46"},
        {"short_counted_name_of_65535_bytes",
         v5 + std::string("\x01\x00\xFF\xFF"
                          "abc",
                          7),
         "EReadError: Stream read error at offset 34"},
        {"header_name_of_65535_bytes", v7.substr(0, 16) + std::string("\xFF\xFFx", 3),
         "EReadError: Stream read error at offset 16"},
        {"header_text_of_65535_units", v7.substr(0, 18) + std::string("\xFF\xFFxy", 4),
         "EReadError: Stream read error at offset 18"},
        {"compressed_unit_name_claims_a_gigabyte", compressed(unitNameOfAGigabyte),
         "EReadError: Stream read error at offset 38"},
        {"compressed_back_reference_before_the_start",
         std::string("LZC00\0\0\0\0\x02L\x05\x00", 13),
         "ECompressError: Invalid back reference (distance 2) at offset 11"},
    };
}

class HostileLangFileTable : public ::testing::TestWithParam<LangCase> {};

TEST_P(HostileLangFileTable, IsRefusedWithItsErrorBeforeAnyLargeAllocation) {
    ASSERT_EQ(headerOf(7).size(), 36u);
    ASSERT_EQ(headerOf(5).size(), 32u);
    TempDir dir;
    const auto file = dir / "Runemeter.ntv.lng";
    test::writeFile(file, GetParam().bytes);
    AllocationProbe probe;
    EXPECT_EQ(loadError(file), GetParam().error);
    EXPECT_LT(probe.largest(), kMiB);
}

INSTANTIATE_TEST_SUITE_P(Table, HostileLangFileTable, ::testing::ValuesIn(langCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HostileLangFile, AFileOfHundredsOfMegabytesIsRefusedUnread) {
    TempDir dir;
    const auto file = dir / "Runemeter.ntv.lng";
    test::writeFile(file, headerOf(7) + std::string(6, '\0'));
    std::filesystem::resize_file(file, 300 * kMiB);  // sparse: nothing is written
    AllocationProbe probe;
    EXPECT_EQ(loadError(file), "EFOpenError: Cannot load \"" + file.string() +
                                   "\": a language file of more than 256 MiB is not plausible");
    EXPECT_LT(probe.largest(), kMiB);
}

TEST(HostileLangFile, APipeNamedLikeALanguageFileIsRefusedWithoutBlocking) {
    TempDir dir;
    const auto file = dir / "Runemeter.ntv.lng";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(loadError(file),
              "EFOpenError: Cannot open file \"" + file.string() + "\": not a regular file");
}

}  // namespace
}  // namespace runemeter
