// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "suite/zip_reader.h"
#include "support/allocation_probe.h"
#include "support/files.h"
#include "support/run_recorder.h"
#include "support/zip_forge.h"

namespace runemeter {
namespace {

using test::ForgedEnd;
using test::ForgedMember;
using test::forgeZip;
using Lines = std::vector<std::string>;

// A member holding its letter three times.
ForgedMember text(std::string name, char letter, bool deflated = true) {
    const std::string bytes(3, letter);
    return deflated ? test::deflatedMember(std::move(name), bytes)
                    : test::storedMember(std::move(name), bytes);
}

// 5 GiB of zeros from about 5 MiB of deflated data, claiming the given size.
ForgedMember bomb(std::string name, std::uint64_t claimed) {
    ForgedMember m = text(std::move(name), 'c');
    m.payload = test::deflateBomb(5 * 1024, m.crc);
    m.compressedSize = m.payload.size();
    m.uncompressedSize = claimed;
    m.zip64 = true;
    return m;
}

ForgedMember lyingMember(ForgedMember m, std::optional<std::uint64_t> localOffset,
                         bool utf8Name = true) {
    m.crc ^= localOffset ? 0 : 1;  // without a lying offset, a lying CRC
    m.localOffset = localOffset;
    m.utf8Name = utf8Name;
    return m;
}

// good.txt and more.txt, ended by records that tell this one lie.
template <class T>
std::string lying(std::optional<T> ForgedEnd::*field, std::uint64_t value, bool zip64End = false) {
    ForgedEnd end;
    end.zip64End = zip64End;
    end.*field = static_cast<T>(value);
    return forgeZip({text("good.txt", 'g'), text("more.txt", 'm', false)}, end);
}

Lines everythingIn(const std::filesystem::path& folder) {
    Lines out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        out.push_back(entry.path().lexically_relative(folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

struct RunCase {
    const char* name;
    int found;            ///< members found
    std::string read;     ///< the letters of the members read
    Lines reasons;        ///< how each message about x.zip begins ("": the zip library's words)
    std::string archive;  ///< x.zip
};

// Every row runs a folder holding x.zip and z.txt: each problem is one message on one readable
// line, everything else is counted, no memory is taken for what the archive claims, and nothing
// is written anywhere (a member named ../../escape.txt would land beside the folder).
TEST(HostileZip, ProblemsAreReportedOnceEachAndEverythingElseIsCounted) {
    const std::string limit = std::to_string(TUnZipReader::memberLimitForThisMachine());
    const std::string two = lying(&ForgedEnd::entries, 2);
    const ForgedMember good = text("good.txt", 'g'), more = text("more.txt", 'm');
    const std::string bombs =
        forgeZip({bomb("zeros.txt", 1 << 20), text("ok.txt", 'k'), bomb("claims.txt", 1ull << 40)});
    ForgedMember legacy = text("bad\xFFname.txt", 'd', false);
    legacy.utf8Name = false;  // the old DOS code page
    const std::string paths =
        forgeZip({text("../../escape.txt", 'a'), text("/etc/absolute.txt", 'b'),
                  text("C:\\drive.txt", 'c'), legacy, text("line\nbreak.txt", 'e')});
    const std::string damaged = forgeZip(
        {lyingMember(text("two\nlines.txt", 'q'), {}), lyingMember(text("a\r\tb.txt", 'q'), {}),
         lyingMember(text("bad\xFF\xC0\x1B.txt", 'q'), {}, false), text("fine.txt", 'f'),
         lyingMember(text("caf\xC3\xA9-\xE2\x82\xAC.txt", 'q'), {})});
    const std::string pastTheEnd = forgeZip({lyingMember(good, 0x7FFFFFF0), more});
    const std::string anotherHeader = forgeZip({good, lyingMember(more, 0)});
    const Lines bombed = {
        "member \"claims.txt\": the member unpacks to 1099511627776 bytes, more than " + limit,
        "member \"zeros.txt\": the member holds more data than its directory entry says"};
    const Lines written = {
        "member \"a\\r\\tb.txt\": ", "member \"bad\xC2\xA0\xE2\x94\x94\xE2\x86\x90.txt\": ",
        "member \"caf\xC3\xA9-\xE2\x82\xAC.txt\": ", "member \"two\\nlines.txt\": "};
    const std::vector<RunCase> rows = {
        {"bombs among good members", 3, "k", bombed, bombs},
        {"truncated in the directory", 0, "", {""}, two.substr(0, two.size() * 4 / 5)},
        {"truncated in the data", 0, "", {""}, two.substr(0, two.size() / 3)},
        {"end record only", 0, "", {""}, two.substr(two.size() - 22)},
        {"directory offset past the end", 0, "", {""}, lying(&ForgedEnd::directoryOffset, 100000)},
        {"directory offset into the data", 0, "", {""}, lying(&ForgedEnd::directoryOffset, 10)},
        {"directory size of 2 GiB", 0, "", {""}, lying(&ForgedEnd::directorySize, 0x7FFFFFFF)},
        {"count 65535 for two entries", 0, "", {""}, lying(&ForgedEnd::entries, 65535)},
        {"count 1 for two entries", 0, "", {""}, lying(&ForgedEnd::entries, 1)},
        {"honest ZIP64 end", 2, "gm", {}, lying(&ForgedEnd::zip64Entries, 2, true)},
        {"ZIP64 count 2^40", 0, "", {""}, lying(&ForgedEnd::zip64Entries, 1ull << 40, true)},
        {"ZIP64 offset", 0, "", {""}, lying(&ForgedEnd::zip64DirectoryOffset, 1ull << 50, true)},
        {"header past the end", 0, "", {"an entry lies outside the archive"}, pastTheEnd},
        {"header of another member", 0, "", {"entries overlap"}, anotherHeader},
        {"names that are paths or not UTF-8", 5, "abcde", {}, paths},
        {"name marked UTF-8 that is not", 0, "", {""}, forgeZip({good, text("bad\xFF.txt", 'd')})},
        {"damaged members with names to write out", 5, "f", written, damaged},
    };
    for (const RunCase& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir;
        const auto folder = dir / "a/b";
        test::writeFile(folder / "x.zip", row.archive);
        test::writeFile(folder / "z.txt", "zzz");
        const Lines before = everythingIn(dir.path());
        AnalysisState state;
        test::RunRecorder recorder(folder);
        {
            test::AllocationProbe probe;
            test::analyse(folder, u"*.txt", state, recorder);
            EXPECT_LT(probe.largest(), std::size_t{16} << 20);
        }
        EXPECT_EQ(recorder.log, Lines(row.reasons.size(), "archive x.zip"));
        ASSERT_EQ(recorder.reasons.size(), row.reasons.size());
        for (std::size_t i = 0; i < row.reasons.size(); ++i) {
            const std::string& reason = recorder.reasons[i];
            EXPECT_TRUE(reason.starts_with(row.reasons[i]) && !reason.ends_with(": ") &&
                        !reason.empty())
                << reason;
            EXPECT_TRUE(test::isOneReadableLine(reason)) << reason;
        }
        EXPECT_EQ(recorder.found, row.found + 1);
        EXPECT_EQ(state.FilesRead, static_cast<std::int64_t>(row.read.size()) + 1);
        for (char c = 'a'; c <= 'z'; ++c) {
            const bool read = c == 'z' || row.read.find(c) != std::string::npos;
            EXPECT_EQ((*state.CharCounts)[static_cast<char16_t>(c)], read ? 3 : 0) << c;
        }
        EXPECT_EQ((*state.CharCounts)[0], 0);
        EXPECT_EQ(everythingIn(dir.path()), before);
    }
}

}  // namespace
}  // namespace runemeter
