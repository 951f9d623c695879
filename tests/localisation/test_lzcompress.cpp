#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "localisation/lzcompress.h"

namespace runemeter {
namespace {

std::vector<std::byte> bytesOf(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (const int v : values) {
        out.push_back(static_cast<std::byte>(v));
    }
    return out;
}

std::vector<std::byte> container(std::initializer_list<int> tokens) {
    std::vector<std::byte> out = toBytes("LZC00");
    out.resize(9, std::byte{0});
    const auto rest = bytesOf(tokens);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

std::string asText(const std::vector<std::byte>& bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TEST(LZCompress, CopyWithLengthBits15AndDistance1RepeatsLastByte18Times) {
    // Literal "A", then w = 1 | 1 << 1 | 15 << 12.
    const auto packed = container({0x02, 'A', 0x03, 0xF0});
    EXPECT_EQ(asText(lzDecompress(packed)), std::string(19, 'A'));
}

TEST(LZCompress, EncoderWritesLiteralRunThenOverlappingCopy) {
    const auto packed = lzCompress(toBytes("abcabcabcabc"));
    EXPECT_EQ(packed, container({0x06, 'a', 'b', 'c', 0x07, 0x60}));
}

TEST(LZCompress, EncoderPrefersMostRecentCandidateOnEqualLength) {
    const auto packed = lzCompress(toBytes("abcXabcYabc"));
    // ... "abc" at 8 matches both 4 and 0 for three bytes: the nearer one (distance 4) wins.
    const std::vector<std::byte> tail(packed.end() - 2, packed.end());
    EXPECT_EQ(tail, bytesOf({0x09, 0x00}));
}

TEST(LZCompress, EncoderSplitsLiteralRunsAt127Bytes) {
    std::vector<std::byte> plain(300);
    std::mt19937 rng(7);
    for (auto& b : plain) {
        b = static_cast<std::byte>(rng());
    }
    const auto packed = lzCompress(plain);
    ASSERT_GT(packed.size(), 9u);
    // Random bytes hardly repeat: the first token is a full run of 127.
    EXPECT_EQ(packed[9], std::byte{127 << 1});
    EXPECT_EQ(lzDecompress(packed), plain);
}

TEST(LZCompress, EncoderNeverReachesBeyondWindow) {
    // The same 18 bytes 2,048 bytes apart, with bytes between that never recur.
    std::vector<std::byte> plain;
    const std::string motif = "MOTIF-0123456789AB";
    for (const char c : motif) {
        plain.push_back(static_cast<std::byte>(c));
    }
    while (plain.size() < 2048) {
        plain.push_back(static_cast<std::byte>(0x80 + plain.size() % 64));
    }
    for (const char c : motif) {
        plain.push_back(static_cast<std::byte>(c));
    }
    const auto packed = lzCompress(plain);
    EXPECT_EQ(lzDecompress(packed), plain);
}

TEST(LZCompress, RoundTripOnSeededRandomData) {
    struct Case {
        const char* name;
        std::size_t size;
        int alphabet;  // small alphabets give many matches
    };
    const Case cases[] = {
        {"empty", 0, 256},
        {"one byte", 1, 256},
        {"two bytes", 2, 256},
        {"binary 5000", 5000, 256},
        {"four symbols 70000", 70000, 4},
        {"one symbol 10000", 10000, 1},
        {"text-like 40000", 40000, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::mt19937 rng(static_cast<unsigned>(c.size * 31 + c.alphabet));
        std::vector<std::byte> plain(c.size);
        for (auto& b : plain) {
            b = static_cast<std::byte>('a' + rng() % static_cast<unsigned>(c.alphabet));
        }
        const auto packed = lzCompress(plain);
        EXPECT_EQ(lzDecompress(packed), plain);
        if (c.alphabet <= 4 && c.size > 1000) {
            EXPECT_LT(packed.size(), plain.size() / 2);
        }
    }
}

TEST(LZCompress, ProgressReportsEveryTokenUpToTheEnd) {
    const std::vector<std::byte> plain(5000, std::byte{'x'});
    ByteStream source(plain);
    ByteStream packed;
    TLZCompressor compressor;
    std::vector<std::pair<std::size_t, std::size_t>> reports;
    compressor.SetOnProgress(
        [&](std::size_t pos, std::size_t size) { reports.emplace_back(pos, size); });
    compressor.SetSource(&source);
    compressor.SetDest(&packed);
    compressor.Compress();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), std::make_pair(plain.size(), plain.size()));

    reports.clear();
    packed.seek(0);
    ByteStream unpacked;
    compressor.SetSource(&packed);
    compressor.SetDest(&unpacked);
    compressor.Decompress();
    // One report per token; positions grow and end at the input size.
    ASSERT_GT(reports.size(), 100u);
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GT(reports[i].first, reports[i - 1].first);
    }
    EXPECT_EQ(reports.back().first, packed.size());
    EXPECT_EQ(unpacked.data(), plain);
}

TEST(LZCompress, DetectionLeavesPositionUnchanged) {
    ByteStream stream(toBytes("xxLZC00...."));
    stream.seek(2);
    EXPECT_TRUE(TLZCompressor::IsCompressed(stream));
    EXPECT_EQ(stream.position(), 2u);
    stream.seek(0);
    EXPECT_FALSE(TLZCompressor::IsCompressed(stream));
    EXPECT_EQ(stream.position(), 0u);
    ByteStream shortStream(toBytes("LZC0"));
    EXPECT_FALSE(TLZCompressor::IsCompressed(shortStream));
}

TEST(LZCompress, DecompressesFromTheSourcePosition) {
    std::vector<std::byte> data = toBytes("junk");
    const auto packed = lzCompress(toBytes("payload payload payload"));
    data.insert(data.end(), packed.begin(), packed.end());
    ByteStream source(data);
    source.seek(4);
    ByteStream dest;
    TLZCompressor compressor;
    compressor.SetSource(&source);
    compressor.SetDest(&dest);
    compressor.Decompress();
    EXPECT_EQ(asText(dest.data()), "payload payload payload");
}

TEST(LZCompress, FailuresRaiseCompressErrorWithClearMessage) {
    struct Case {
        const char* name;
        std::vector<std::byte> packed;
        std::size_t limit;
        std::string message;
    };
    const Case cases[] = {
        {"not a container", toBytes("LF\x07\x00"), 1000, "Wrong stream format"},
        {"empty input", {}, 1000, "Wrong stream format"},
        {"header cut", toBytes(std::string_view("LZC00\0", 6)), 1000,
         "Compressed data ends inside its header at offset 6"},
        {"distance 0", container({0x02, 'A', 0x01, 0x00}), 1000,
         "Invalid back reference (distance 0) at offset 11"},
        {"distance before start", container({0x02, 'A', 0x05, 0x00}), 1000,
         "Invalid back reference (distance 2) at offset 11"},
        {"copy on empty output", container({0x03, 0x00}), 1000,
         "Invalid back reference (distance 1) at offset 9"},
        {"copy token cut", container({0x02, 'A', 0x03}), 1000,
         "Compressed data ends inside a token at offset 11"},
        {"literal run cut", container({0x08, 'A', 'B'}), 1000,
         "Compressed data ends inside a token at offset 9"},
        {"limit by literals", container({0x08, 'A', 'B', 'C', 'D'}), 3,
         "Decompressed data exceeds the limit of 3 bytes"},
        {"limit by copy", container({0x02, 'A', 0x03, 0xF0}), 10,
         "Decompressed data exceeds the limit of 10 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)lzDecompress(c.packed, c.limit);
            ADD_FAILURE() << "no error";
        } catch (const ECompressError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
            EXPECT_EQ(e.className(), "ECompressError");
        }
    }
}

TEST(LZCompress, MissingStreamsAreReported) {
    ByteStream stream(toBytes(std::string_view("LZC00\0\0\0\0", 9)));
    TLZCompressor compressor;
    compressor.SetDest(&stream);
    EXPECT_THROW(
        {
            try {
                compressor.Decompress();
            } catch (const ECompressError& e) {
                EXPECT_STREQ(e.what(), "Source stream is not defined");
                throw;
            }
        },
        ECompressError);
    compressor.SetSource(&stream);
    compressor.SetDest(nullptr);
    EXPECT_THROW(
        {
            try {
                compressor.Compress();
            } catch (const ECompressError& e) {
                EXPECT_STREQ(e.what(), "Destination stream is not defined");
                throw;
            }
        },
        ECompressError);
}

TEST(LZCompress, PrefixDecompressionStopsQuietlyAtACut) {
    const auto packed = container({0x08, 'A', 'B', 'C', 'D', 0x03, 0xF0});
    for (std::size_t cut = 0; cut <= packed.size(); ++cut) {
        SCOPED_TRACE(cut);
        std::vector<std::byte> head(packed.begin(),
                                    packed.begin() + static_cast<std::ptrdiff_t>(cut));
        ByteStream source(head);
        ByteStream dest;
        TLZCompressor compressor;
        compressor.SetSource(&source);
        compressor.SetDest(&dest);
        if (cut < 5) {
            EXPECT_THROW(compressor.DecompressPrefix(), ECompressError);
            continue;
        }
        compressor.DecompressPrefix();
        const std::string full = "ABCD" + std::string(18, 'D');
        const std::string got = asText(dest.data());
        EXPECT_EQ(got, full.substr(0, got.size()));
    }
}

}  // namespace
}  // namespace runemeter
