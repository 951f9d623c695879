#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "suite/zip_reader.h"
#include "support/allocation_probe.h"
#include "support/run_recorder.h"
#include "support/temp_tree.h"
#include "support/zip_forge.h"

namespace runemeter {
namespace {

using test::AllocationProbe;
using test::ForgedEnd;
using test::ForgedMember;
using test::RunRecorder;
using test::TempDir;
using Lines = std::vector<std::string>;

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

std::int64_t count(const AnalysisState& state, char16_t unit) {
    return (*state.CharCounts)[unit];
}

// --- Members that claim or hold far more than memory --------------------------------------

struct BombCase {
    const char* name;
    std::function<ForgedMember()> member;  ///< made when the row runs
    ZipReadStatus status;
    std::string error;
};

void PrintTo(const BombCase& row, std::ostream* os) {
    *os << row.name;
}

// 5 GiB of zeros from about 5 MiB of deflated data, with the directory telling the truth
// (in a ZIP64 field) or claiming 1 MiB.
ForgedMember bomb(std::uint64_t claimed) {
    ForgedMember m;
    m.name = "zeros.txt";
    m.method = 8;
    m.payload = test::deflateBomb(5 * 1024, m.crc);
    m.compressedSize = m.payload.size();
    m.uncompressedSize = claimed;
    m.zip64 = true;
    return m;
}

ForgedMember claiming(std::uint64_t claimed) {
    ForgedMember m = test::deflatedMember("claims.txt", "only a few bytes are here");
    m.uncompressedSize = claimed;
    m.zip64 = claimed >= 0xFFFFFFFFu;
    return m;
}

std::vector<BombCase> bombCases() {
    return {
        {"claims_2_pow_40", [] { return claiming(std::uint64_t{1} << 40); },
         ZipReadStatus::TooLarge,
         "the member unpacks to 1099511627776 bytes, more than 4294967296"},
        {"claims_just_above_the_limit", [] { return claiming(4 * kGiB + 1); },
         ZipReadStatus::TooLarge, "the member unpacks to 4294967297 bytes, more than 4294967296"},
        {"expands_to_5_GiB_and_says_so", [] { return bomb(5 * 1024 * kMiB); },
         ZipReadStatus::TooLarge, "the member unpacks to 5368709120 bytes, more than 4294967296"},
        {"expands_to_5_GiB_but_claims_1_MiB", [] { return bomb(kMiB); }, ZipReadStatus::Damaged,
         "the member holds more data than its directory entry says"},
        {"claims_more_than_it_holds", [] { return claiming(100000); }, ZipReadStatus::Damaged,
         "the member holds less data than its directory entry says"},
    };
}

class ZipBombTable : public ::testing::TestWithParam<BombCase> {};

TEST_P(ZipBombTable, IsRefusedWithoutTakingTheMemoryAndTheNextMemberIsRead) {
    TempDir dir;
    const auto zip = dir / "bomb.zip";
    test::writeFile(zip, test::forgeZip({GetParam().member(),
                                         test::deflatedMember("next.txt", "the next member")}));
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(zip)) << reader.error();
    std::vector<std::byte> out;
    {
        AllocationProbe probe;
        EXPECT_EQ(reader.UnZipToBufferByIndex(0, out), GetParam().status);
        // Never more than a few pieces of 64 KiB beyond the 1 MiB a liar may claim.
        EXPECT_LT(probe.largest(), 4 * kMiB);
    }
    EXPECT_EQ(reader.error(), GetParam().error);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(reader.UnZipToBufferByIndex(1, out), ZipReadStatus::Ok) << reader.error();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), out.size()),
              "the next member");
}

INSTANTIATE_TEST_SUITE_P(Table, ZipBombTable, ::testing::ValuesIn(bombCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ZipBombRun, BombsAreReportedOnceEachAndEverythingElseIsCounted) {
    TempDir dir;
    test::writeFile(dir / "a.txt", "abc");
    test::writeFile(dir / "b-bombs.zip",
                    test::forgeZip({bomb(5 * 1024 * kMiB), test::storedMember("ok1.txt", "xyz"),
                                    [] {
                                        ForgedMember m = bomb(kMiB);
                                        m.name = "zeros2.txt";
                                        return m;
                                    }(),
                                    claiming(std::uint64_t{1} << 40)}));
    test::writeFile(dir / "c.txt", "cde");
    AnalysisState state;
    RunRecorder recorder(dir.path());
    {
        AllocationProbe probe;
        test::analyse(dir.path(), u"*.txt", state, recorder);
        EXPECT_LT(probe.largest(), 16 * kMiB);
    }
    EXPECT_EQ(recorder.found, 6);
    EXPECT_EQ(recorder.log,
              (Lines{"archive b-bombs.zip", "archive b-bombs.zip", "archive b-bombs.zip"}));
    // The run's limit follows the machine's memory.
    const std::string limit = std::to_string(TUnZipReader::memberLimitForThisMachine());
    EXPECT_EQ(
        recorder.reasons,
        (Lines{"member \"claims.txt\": the member unpacks to 1099511627776 bytes, more "
               "than " +
                   limit,
               "member \"zeros.txt\": the member unpacks to 5368709120 bytes, more than " + limit,
               "member \"zeros2.txt\": the member holds more data than its directory "
               "entry says"}));
    EXPECT_EQ(state.FilesRead, 3);
    EXPECT_EQ(count(state, u'x'), 1);
    EXPECT_EQ(count(state, u'c'), 2);
    EXPECT_EQ(count(state, u'\0'), 0);
}

TEST(ZipMemberLimit, IsAnEighthOfTheMemoryWithinItsBounds) {
    const std::pair<std::uint64_t, std::uint64_t> rows[] = {
        {0, 64 * kMiB},        {256 * kMiB, 64 * kMiB}, {2 * kGiB, 256 * kMiB},  {8 * kGiB, kGiB},
        {24 * kGiB, 3 * kGiB}, {32 * kGiB, 4 * kGiB},   {1024 * kGiB, 4 * kGiB},
    };
    for (const auto& [memory, limit] : rows) {
        SCOPED_TRACE(memory);
        EXPECT_EQ(TUnZipReader::memberLimitFor(memory), limit);
    }
    EXPECT_LE(TUnZipReader::memberLimitForThisMachine(), 4 * kGiB);
    EXPECT_GE(TUnZipReader::memberLimitForThisMachine(), 64 * kMiB);
}

}  // namespace
}  // namespace runemeter

namespace runemeter {
namespace {

// --- Archives whose directory or end records lie ------------------------------------------

struct BrokenCase {
    const char* name;
    std::string bytes;
    std::string reason;   ///< the one problem reported for x.zip; empty: none
    std::int64_t found;   ///< files and members found
    std::int64_t read;    ///< FilesRead at the end
    std::int64_t goodAs;  ///< count of 'g': the good member, when it is still read
};

void PrintTo(const BrokenCase& row, std::ostream* os) {
    *os << row.name;
}

std::vector<ForgedMember> twoMembers() {
    return {test::deflatedMember("good.txt", "ggg"), test::storedMember("more.txt", "mmm")};
}

std::string withEnd(const ForgedEnd& end) {
    return test::forgeZip(twoMembers(), end);
}

std::string truncatedTo(double share) {
    const std::string whole = test::forgeZip(twoMembers());
    return whole.substr(0, static_cast<std::size_t>(static_cast<double>(whole.size()) * share));
}

std::vector<BrokenCase> brokenCases() {
    const std::string whole = test::forgeZip(twoMembers());
    std::vector<BrokenCase> rows;
    rows.push_back({"truncated_in_the_directory", truncatedTo(0.8), "Not a zip archive", 1, 1, 0});
    rows.push_back({"truncated_in_the_data", truncatedTo(0.3), "Not a zip archive", 1, 1, 0});
    rows.push_back(
        {"end_record_only", whole.substr(whole.size() - 22), "Zip archive inconsistent", 1, 1, 0});
    {
        ForgedEnd end;
        end.directoryOffset = static_cast<std::uint32_t>(whole.size() + 1000);
        rows.push_back(
            {"directory_offset_past_the_end", withEnd(end), "Zip archive inconsistent", 1, 1, 0});
    }
    {
        ForgedEnd end;
        end.directoryOffset = 10;
        rows.push_back(
            {"directory_offset_into_the_data", withEnd(end), "Not a zip archive", 1, 1, 0});
    }
    {
        ForgedEnd end;
        end.directorySize = 0x7FFFFFFF;
        rows.push_back(
            {"directory_size_of_2_GiB", withEnd(end), "Zip archive inconsistent", 1, 1, 0});
    }
    {
        ForgedEnd end;
        end.entries = 65535;
        rows.push_back(
            {"count_65535_for_two_entries", withEnd(end), "Zip archive inconsistent", 1, 1, 0});
    }
    {
        ForgedEnd end;
        end.entries = 1;
        rows.push_back(
            {"count_1_for_two_entries", withEnd(end), "Zip archive inconsistent", 1, 1, 0});
    }
    {
        ForgedEnd end;
        end.zip64End = true;
        rows.push_back({"honest_zip64_end", withEnd(end), "", 3, 3, 3});
    }
    {
        ForgedEnd end;
        end.zip64End = true;
        end.zip64Entries = std::uint64_t{1} << 40;
        rows.push_back(
            {"zip64_claims_2_pow_40_entries", withEnd(end), "Zip archive inconsistent", 1, 1, 0});
    }
    {
        ForgedEnd end;
        end.zip64End = true;
        end.zip64DirectoryOffset = std::uint64_t{1} << 50;
        rows.push_back(
            {"zip64_directory_offset_2_pow_50", withEnd(end), "Zip archive inconsistent", 1, 1, 0});
    }
    {
        auto members = twoMembers();
        members[0].localOffset = 0x7FFFFFF0;
        rows.push_back({"local_header_offset_past_the_end", test::forgeZip(members),
                        "member \"good.txt\": Invalid argument", 3, 2, 0});
    }
    {
        auto members = twoMembers();
        members[1].localOffset = 0;  // the other member's header
        rows.push_back({"local_header_of_another_member", test::forgeZip(members),
                        "member \"more.txt\": CRC error", 3, 2, 3});
    }
    return rows;
}

class BrokenArchiveTable : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenArchiveTable, IsReportedAndTheRunGoesOn) {
    TempDir dir;
    test::writeFile(dir / "x.zip", GetParam().bytes);
    test::writeFile(dir / "z.txt", "zzz");
    AnalysisState state;
    RunRecorder recorder(dir.path());
    {
        AllocationProbe probe;
        test::analyse(dir.path(), u"*.txt", state, recorder);
        EXPECT_LT(probe.largest(), 16 * kMiB);
    }
    if (GetParam().reason.empty()) {
        EXPECT_TRUE(recorder.log.empty());
    } else {
        EXPECT_EQ(recorder.log, Lines{"archive x.zip"});
        EXPECT_EQ(recorder.reasons, Lines{GetParam().reason});
    }
    for (const std::string& reason : recorder.reasons) {
        EXPECT_TRUE(test::isOneReadableLine(reason)) << reason;
        EXPECT_FALSE(reason.empty());
    }
    EXPECT_EQ(recorder.found, GetParam().found);
    EXPECT_EQ(state.FilesRead, GetParam().read);
    EXPECT_EQ(count(state, u'z'), 3);
    EXPECT_EQ(count(state, u'g'), GetParam().goodAs);
}

INSTANTIATE_TEST_SUITE_P(Table, BrokenArchiveTable, ::testing::ValuesIn(brokenCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace runemeter

namespace runemeter {
namespace {

// --- Member names that try to leave the archive or break the messages ----------------------

class NullSearchObserver : public FileIteratorObserver {};

std::vector<std::string> foundNames(const std::filesystem::path& folder, std::u16string mask) {
    TFileAndDirIterator iterator;
    iterator.HeadDir = folder;
    iterator.FileMask = std::move(mask);
    NullSearchObserver observer;
    iterator.IterateFindingFiles(observer);
    std::vector<std::string> names;
    iterator.ProcessAllFilesFound([&](const std::filesystem::path& name, const TMySearchRec& rec) {
        EXPECT_EQ(TFileAndDirIterator::ZipFileFullFileName(rec), folder / "names.zip");
        names.push_back(name.native().substr(folder.native().size() + 1));
    });
    return names;
}

std::vector<std::string> everythingIn(const std::filesystem::path& folder) {
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        out.push_back(entry.path().lexically_relative(folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

ForgedMember legacyName(std::string name, std::string_view text) {
    ForgedMember m = test::storedMember(std::move(name), text);
    m.utf8Name = false;  // the name's bytes are in the old DOS code page
    return m;
}

TEST(ZipMemberNames, ArePathsOnlyInsideTheArchiveAndEveryMemberIsRead) {
    TempDir dir;
    const auto zip = dir.path() / "sub/names.zip";
    test::writeFile(zip, test::forgeZip({test::storedMember("../../escape.txt", "aaa"),
                                         test::storedMember("/etc/absolute.txt", "bbb"),
                                         test::storedMember("C:\\drive.txt", "ccc"),
                                         legacyName("bad\xFFname.txt", "ddd"),
                                         test::storedMember("line\nbreak.txt", "eee")}));
    const auto before = everythingIn(dir.path());
    // A legacy name is shown in its code page (0xFF is a no-break space there).
    EXPECT_EQ(foundNames(dir.path() / "sub", u"*.txt"),
              (Lines{"names.zip/../../escape.txt", "names.zip//etc/absolute.txt",
                     "names.zip/C:\\drive.txt", "names.zip/bad\xC2\xA0name.txt",
                     "names.zip/line\nbreak.txt"}));
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path() / "sub", u"*.txt", state, recorder);
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_EQ(state.FilesRead, 5);
    for (const char16_t c : std::u16string(u"abcde"))
        EXPECT_EQ(count(state, c), 3) << static_cast<char>(c);
    // Reading members writes nothing, inside the folder or beside it.
    EXPECT_EQ(everythingIn(dir.path()), before);
}

// The zip library refuses a whole archive whose name is marked UTF-8 but is not: the archive
// is reported and skipped like any damaged one.
TEST(ZipMemberNames, NameMarkedUtf8ThatIsNotMakesTheArchiveDamaged) {
    TempDir dir;
    test::writeFile(dir / "names.zip", test::forgeZip({test::storedMember("ok.txt", "ooo"),
                                                       test::storedMember("bad\xFF.txt", "ddd")}));
    test::writeFile(dir / "plain.txt", "ppp");
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder);
    EXPECT_EQ(recorder.log, Lines{"archive names.zip"});
    EXPECT_EQ(recorder.reasons, Lines{"Zip archive inconsistent"});
    EXPECT_EQ(state.FilesRead, 1);
    EXPECT_EQ(count(state, u'p'), 3);
    EXPECT_EQ(count(state, u'o'), 0);
}

struct DamagedNameCase {
    const char* name;
    std::string memberName;
    bool utf8Name;
    std::string reason;
};

void PrintTo(const DamagedNameCase& row, std::ostream* os) {
    *os << row.name;
}

class DamagedMemberNameTable : public ::testing::TestWithParam<DamagedNameCase> {};

// A deflated member whose CRC does not match: nothing of it is counted, and the message names
// it on one line that shows what the name holds.
TEST_P(DamagedMemberNameTable, MessageIsOneReadableLine) {
    TempDir dir;
    ForgedMember damaged = test::deflatedMember(GetParam().memberName, "qqqqqq");
    damaged.crc ^= 1;
    damaged.utf8Name = GetParam().utf8Name;
    test::writeFile(dir / "names.zip",
                    test::forgeZip({damaged, test::deflatedMember("fine.txt", "fff")}));
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.*", state, recorder);
    EXPECT_EQ(recorder.log, Lines{"archive names.zip"});
    ASSERT_EQ(recorder.reasons.size(), 1u);
    EXPECT_EQ(recorder.reasons[0], GetParam().reason);
    EXPECT_TRUE(test::isOneReadableLine(recorder.reasons[0])) << recorder.reasons[0];
    EXPECT_EQ(state.FilesRead, 1);
    EXPECT_EQ(count(state, u'q'), 0);
    EXPECT_EQ(count(state, u'f'), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedMemberNameTable,
    ::testing::Values(DamagedNameCase{"plain", "crc.txt", true, "member \"crc.txt\": CRC error"},
                      DamagedNameCase{"line_feed", "two\nlines.txt", true,
                                      "member \"two\\nlines.txt\": CRC error"},
                      DamagedNameCase{"carriage_return_and_tab", "a\r\tb.txt", true,
                                      "member \"a\\r\\tb.txt\": CRC error"},
                      DamagedNameCase{
                          "legacy_code_page", "bad\xFF\xC0\x1B.txt", false,
                          "member \"bad\xC2\xA0\xE2\x94\x94\xE2\x86\x90.txt\": CRC error"},
                      DamagedNameCase{"valid_utf8_stays", "caf\xC3\xA9-\xE2\x82\xAC.txt", true,
                                      "member \"caf\xC3\xA9-\xE2\x82\xAC.txt\": CRC error"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace runemeter
