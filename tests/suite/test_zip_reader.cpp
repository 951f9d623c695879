// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/zip_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/allocation_probe.h"
#include "support/files.h"
#include "support/zip_forge.h"

namespace runemeter {
namespace {

using test::ForgedMember;
using test::TempDir;

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

std::string asText(const std::vector<std::byte>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A member claiming the given size; a bomb holds 5 GiB of zeros in about 5 MiB of deflated data.
ForgedMember claiming(std::uint64_t claimed, bool bomb = false) {
    ForgedMember m = test::deflatedMember("claims.txt", "only a few bytes are here");
    if (bomb)
        m.payload = test::deflateBomb(5 * 1024, m.crc);
    m.compressedSize = m.payload.size();
    m.uncompressedSize = claimed;
    m.zip64 = true;
    return m;
}

struct ReadCase {
    const char* name;
    ForgedMember member;
    ZipReadStatus status;
    std::string text;   ///< what an Ok read gives
    std::string error;  ///< part of our own message; empty: the zip library's, any
    std::uint64_t limit = TUnZipReader::kDefaultMemberLimit;
};

// Each member is read from an archive where "next.txt" follows it, and that is read after it.
TEST(ZipReader, ReadsAMemberOrRefusesItWithoutTakingWhatItClaims) {
    std::string text;  // a few hundred KiB: unpacked in several pieces
    for (int i = 0; i < 20000; ++i)
        text += "line " + std::to_string(i * 7919 % 10007) + "\n";
    const std::string above = " bytes, more than 4294967296";
    using S = ZipReadStatus;
    std::vector<ReadCase> rows = {
        {"stored", test::storedMember("s.txt", "stored text"), S::Ok, "stored text", ""},
        {"deflated", test::deflatedMember("l.txt", text), S::Ok, text, ""},
        {"empty", test::storedMember("e.txt", ""), S::Ok, "", ""},
        {"claims 2^40", claiming(std::uint64_t{1} << 40), S::TooLarge, "", "1099511627776" + above},
        {"claims 4 GiB + 1", claiming(4 * kGiB + 1), S::TooLarge, "", "4294967297" + above},
        {"unpacks to 5 GiB, says so", claiming(5 * kGiB, true), S::TooLarge, "",
         "5368709120" + above},
        {"unpacks to 5 GiB, claims 1 MiB", claiming(kMiB, true), S::Damaged, "",
         "holds more data than"},
        {"claims more than it holds", claiming(100000), S::Damaged, "", "holds less data than"},
        {"wrong CRC", test::storedMember("c.txt", "text"), S::Damaged, "", ""},
        {"corrupt deflate data", test::deflatedMember("l.txt", text), S::Damaged, "", ""},
    };
    const auto lie = [&](std::string_view name) -> ForgedMember& {
        return std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.name == name; })
            ->member;
    };
    lie("wrong CRC").crc ^= 1;
    for (std::size_t i = 20; i < 60; ++i)
        lie("corrupt deflate data").payload[i] = static_cast<char>(0xA5 ^ i);
    for (const ReadCase& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        test::writeFile(dir / "x.zip",
                        test::forgeZip({row.member, test::deflatedMember("next.txt", "next")}));
        TUnZipReader reader;
        ASSERT_TRUE(reader.open(dir / "x.zip")) << reader.error();
        std::vector<std::byte> out;
        {
            test::AllocationProbe probe;
            EXPECT_EQ(reader.UnZipToBufferByIndex(0, out, row.limit), row.status) << reader.error();
            EXPECT_LT(probe.largest(), 4 * kMiB);
        }
        EXPECT_EQ(asText(out), row.text);
        EXPECT_EQ(reader.error().empty(), row.status == S::Ok);
        EXPECT_NE(reader.error().find(row.error), std::string::npos) << reader.error();
        // The error names the member (1-based) and its kind.
        EXPECT_EQ(reader.failure().line, row.status == S::Ok ? 0u : 1u);
        if (row.status != S::Ok) {
            EXPECT_EQ(reader.failure().code, row.status == S::TooLarge ? InputErrorCode::TooLarge
                                                                       : InputErrorCode::Malformed);
        }
        ASSERT_EQ(reader.UnZipToBufferByIndex(1, out), S::Ok) << reader.error();
        EXPECT_EQ(asText(out), "next");
        EXPECT_EQ(reader.UnZipToBufferByIndex(2, out), S::NoSuchMember);
        EXPECT_EQ(reader.error() + asText(out), "there is no member number 3");
        EXPECT_EQ(reader.failure().line, 3u);
    }
}

// An entry written into the directory only, pointing at data at offset.
ForgedMember sharing(const ForgedMember& like, std::string name, std::uint64_t offset) {
    ForgedMember m = like;
    m.name = std::move(name);
    m.localOffset = offset;
    m.local = false;
    return m;
}

// Entries whose data overlap or lie outside the archive make it refused whole at open, before
// anything is unpacked; the same text stored twice at two places is read twice.
TEST(ZipReader, RefusesArchivesWhoseEntriesOverlapOrLieOutside) {
    const ForgedMember a = test::deflatedMember("a.txt", "alpha alpha");
    const ForgedMember b = test::storedMember("b.txt", std::string(200, 'b'));
    ForgedMember tooLong = test::storedMember("long.txt", "short");
    tooLong.compressedSize = 400;  // runs through the directory and past the end
    const struct {
        const char* name;
        std::vector<ForgedMember> members;
        std::string error;  ///< empty: opens, and the members read as texts
        std::vector<std::string> texts = {};
    } rows[] = {
        {"third entry on the first's data",
         {a, b, sharing(a, "c.txt", 0)},
         "entries overlap: members 1 and 3 share data"},
        {"entry inside another's data",
         {b, sharing(a, "c.txt", 60)},
         "entries overlap: members 1 and 2 share data"},
        {"data past the end", {a, tooLong}, "an entry lies outside the archive: member 2"},
        {"same text under two names",
         {a, test::deflatedMember("copy.txt", "alpha alpha"), b},
         "",
         {"alpha alpha", "alpha alpha", std::string(200, 'b')}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        test::writeFile(dir / "x.zip", test::forgeZip(row.members));
        TUnZipReader reader;
        EXPECT_EQ(reader.open(dir / "x.zip"), row.error.empty());
        EXPECT_EQ(reader.error(), row.error);
        EXPECT_EQ(reader.failure().line, 0u);  // the archive as a whole
        std::vector<std::byte> out;
        for (std::size_t i = 0; i < row.texts.size(); ++i) {
            ASSERT_EQ(reader.UnZipToBufferByIndex(static_cast<std::int32_t>(i), out),
                      ZipReadStatus::Ok);
            EXPECT_EQ(asText(out), row.texts[i]);
        }
    }
}

TEST(ZipReader, MemberLimitIsAnEighthOfTheMemoryWithinItsBounds) {
    EXPECT_EQ(TUnZipReader::memberLimitFor(0), 64 * kMiB);
    EXPECT_EQ(TUnZipReader::memberLimitFor(2 * kGiB), 256 * kMiB);
    EXPECT_EQ(TUnZipReader::memberLimitFor(1024 * kGiB), 4 * kGiB);
}

}  // namespace
}  // namespace runemeter
