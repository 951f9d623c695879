#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "suite/zip_reader.h"
#include "support/temp_tree.h"

namespace runemeter {
namespace {

using test::TempDir;
using test::writeFile;
using test::writeZip;
using test::ZipEntry;

std::string asText(const std::vector<std::byte>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::uint32_t read32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

void write32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// Offset of the data of the archive's first member, after its local header.
std::size_t firstDataOffset(const std::string& zip) {
    const std::size_t nameLength =
        static_cast<unsigned char>(zip[26]) | (static_cast<unsigned char>(zip[27]) << 8);
    const std::size_t extraLength =
        static_cast<unsigned char>(zip[28]) | (static_cast<unsigned char>(zip[29]) << 8);
    return 30 + nameLength + extraLength;
}

std::string longText() {
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "line " + std::to_string(i * 7919 % 1000) + " of text\n";
    return text;
}

class ZipReaderTest : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path zip = dir / "pack.zip";
};

TEST_F(ZipReaderTest, ListsEntriesInIndexOrderWithFoldersMarked) {
    writeZip(
        zip,
        {{"one.txt", "first"}, {"sub/", ""}, {"sub/two.txt", "second member"}, {"empty.txt", ""}});
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(zip)) << reader.error();
    const auto members = reader.members();
    ASSERT_EQ(members.size(), 4u);
    const char* names[] = {"one.txt", "sub/", "sub/two.txt", "empty.txt"};
    const std::uint64_t sizes[] = {5, 0, 13, 0};
    for (std::size_t i = 0; i < members.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(members[i].index, static_cast<std::int32_t>(i));
        EXPECT_EQ(members[i].name, names[i]);
        EXPECT_EQ(members[i].size, sizes[i]);
        EXPECT_EQ(members[i].isDirectory, i == 1);
    }
}

TEST_F(ZipReaderTest, ExtractsEveryMemberFromOneOpenArchive) {
    const std::string text = longText();
    writeZip(zip, {{"one.txt", "first"},
                   {"big.txt", text},
                   {"plain.txt", "stored", true},
                   {"empty.txt", ""}});
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(zip)) << reader.error();
    std::vector<std::byte> out;
    const std::string expected[] = {"first", text, "stored", ""};
    for (std::int32_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(reader.UnZipToBufferByIndex(i, out), ZipReadStatus::Ok) << reader.error();
        EXPECT_EQ(asText(out), expected[i]);
    }
}

TEST_F(ZipReaderTest, IndexOutsideTheArchiveIsNoSuchMember) {
    writeZip(zip, {{"one.txt", "first"}});
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(zip));
    std::vector<std::byte> out{std::byte{1}};
    EXPECT_EQ(reader.UnZipToBufferByIndex(-1, out), ZipReadStatus::NoSuchMember);
    EXPECT_EQ(reader.UnZipToBufferByIndex(1, out), ZipReadStatus::NoSuchMember);
    EXPECT_TRUE(out.empty());
    reader.close();
    EXPECT_EQ(reader.UnZipToBufferByIndex(0, out), ZipReadStatus::NoSuchMember);
}

TEST_F(ZipReaderTest, MemberAboveTheLimitIsTooLargeAndNotRead) {
    writeZip(zip, {{"big.txt", longText()}, {"small.txt", "ok"}});
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(zip));
    std::vector<std::byte> out;
    EXPECT_EQ(reader.UnZipToBufferByIndex(0, out, 1000), ZipReadStatus::TooLarge);
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(reader.error().empty());
    // The reader stays usable for the next member.
    EXPECT_EQ(reader.UnZipToBufferByIndex(1, out, 1000), ZipReadStatus::Ok);
    EXPECT_EQ(asText(out), "ok");
}

TEST_F(ZipReaderTest, StoredDataWithAWrongCrcIsDamaged) {
    writeZip(zip, {{"one.txt", "hello world, this text is stored as it is", true}});
    std::string bytes = test::readFile(zip);
    const std::size_t at = bytes.find("hello world");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 4] = 'O';
    writeFile(zip, bytes);
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(zip)) << reader.error();
    std::vector<std::byte> out;
    EXPECT_EQ(reader.UnZipToBufferByIndex(0, out), ZipReadStatus::Damaged);
    EXPECT_NE(reader.error().find("CRC"), std::string::npos) << reader.error();
    EXPECT_TRUE(out.empty());
}

TEST_F(ZipReaderTest, CorruptCompressedDataIsDamaged) {
    writeZip(zip, {{"big.txt", longText()}});
    std::string bytes = test::readFile(zip);
    const std::size_t data = firstDataOffset(bytes);
    for (std::size_t i = data + 20; i < data + 60; ++i)
        bytes[i] = static_cast<char>(0xA5 ^ i);
    writeFile(zip, bytes);
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(zip)) << reader.error();
    std::vector<std::byte> out;
    EXPECT_EQ(reader.UnZipToBufferByIndex(0, out), ZipReadStatus::Damaged);
    EXPECT_FALSE(reader.error().empty());
}

TEST_F(ZipReaderTest, MemberHoldingMoreThanItsEntryClaimsIsNotTrusted) {
    writeZip(zip, {{"one.txt", std::string(300, 'x'), true}});
    std::string bytes = test::readFile(zip);
    const std::size_t central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    ASSERT_EQ(read32(bytes, central + 24), 300u);
    write32(bytes, central + 24, 10);  // claimed uncompressed size
    writeFile(zip, bytes);
    TUnZipReader reader;
    std::vector<std::byte> out;
    // Either the open or the extraction must refuse it; 300 bytes must never come back.
    if (reader.open(zip)) {
        EXPECT_NE(reader.UnZipToBufferByIndex(0, out, 100), ZipReadStatus::Ok);
        EXPECT_LE(out.size(), 10u);
    } else {
        EXPECT_FALSE(reader.error().empty());
    }
}

struct BadArchive {
    const char* name;
    std::string bytes;
};

// Test names show the row name, not a dump of the row.
void PrintTo(const BadArchive& row, std::ostream* os) {
    *os << row.name;
}

class BadArchiveTest : public ::testing::TestWithParam<BadArchive> {};

TEST_P(BadArchiveTest, OpenFailsWithAReason) {
    TempDir dir;
    const auto zip = dir / "bad.zip";
    writeFile(zip, GetParam().bytes);
    TUnZipReader reader;
    EXPECT_FALSE(reader.open(zip));
    EXPECT_FALSE(reader.isOpen());
    EXPECT_FALSE(reader.error().empty());
    EXPECT_TRUE(reader.members().empty());
}

std::string truncatedZip() {
    TempDir dir;
    writeZip(dir / "t.zip", {{"a.txt", longText()}, {"b.txt", longText()}});
    const std::string whole = test::readFile(dir / "t.zip");
    return whole.substr(0, whole.size() / 2);
}

INSTANTIATE_TEST_SUITE_P(Table, BadArchiveTest,
                         ::testing::Values(BadArchive{"garbage", std::string(500, 'g')},
                                           BadArchive{"text_file", "just some text\r\n"},
                                           BadArchive{"truncated", truncatedZip()},
                                           BadArchive{"signature_only", "PK\x05\x06"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ZipReaderTest, EncryptedMemberIsDamagedAndTheNextIsRead) {
    writeZip(zip, {{"secret.txt", "hidden text", false, "password"}, {"open.txt", "open"}});
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(zip)) << reader.error();
    std::vector<std::byte> out;
    EXPECT_EQ(reader.UnZipToBufferByIndex(0, out), ZipReadStatus::Damaged);
    EXPECT_FALSE(reader.error().empty());
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(reader.UnZipToBufferByIndex(1, out), ZipReadStatus::Ok);
    EXPECT_EQ(asText(out), "open");
}

TEST_F(ZipReaderTest, MissingArchiveDoesNotOpen) {
    TUnZipReader reader;
    EXPECT_FALSE(reader.open(dir / "missing.zip"));
    EXPECT_FALSE(reader.error().empty());
}

TEST_F(ZipReaderTest, FifoNamedZipIsRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo(zip.c_str(), 0600), 0);
    TUnZipReader reader;
    EXPECT_FALSE(reader.open(zip));
    EXPECT_NE(reader.error().find("regular"), std::string::npos);
}

TEST_F(ZipReaderTest, ReopeningReplacesTheArchive) {
    writeZip(dir / "a.zip", {{"a.txt", "from a"}});
    writeZip(dir / "b.zip", {{"b.txt", "from b"}, {"c.txt", "c"}});
    TUnZipReader reader;
    ASSERT_TRUE(reader.open(dir / "a.zip"));
    ASSERT_TRUE(reader.open(dir / "b.zip"));
    EXPECT_EQ(reader.archivePath(), dir / "b.zip");
    std::vector<std::byte> out;
    ASSERT_EQ(reader.UnZipToBufferByIndex(0, out), ZipReadStatus::Ok);
    EXPECT_EQ(asText(out), "from b");
    EXPECT_EQ(reader.members().size(), 2u);
}

}  // namespace
}  // namespace runemeter
