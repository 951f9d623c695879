// SPDX-License-Identifier: GPL-3.0-or-later
// The compressed container, assembled by hand: tokens, the encoder's choices, and every way the
// decoder refuses damaged data.

#include <gtest/gtest.h>

#include "localisation/lzcompress.h"

namespace runemeter {
namespace {

// "LZC00", four reserved bytes, then the tokens.
std::vector<std::byte> container(std::initializer_list<int> tokens) {
    std::vector<std::byte> out = toBytes(std::string_view("LZC00\0\0\0\0", 9));
    for (const int token : tokens) {
        out.push_back(static_cast<std::byte>(token));
    }
    return out;
}

TEST(LZCompress, TokensAndTheEncodersChoices) {
    // Literal "A", then w = 1 | 1 << 1 | 15 << 12: 18 bytes from distance 1, overlapping.
    EXPECT_EQ(lzDecompress(container({2, 'A', 3, 0xF0})), toBytes(std::string(19, 'A')));
    // A literal run, then a copy that overlaps its own output.
    EXPECT_EQ(lzCompress(toBytes("abcabcabcabc")), container({6, 'a', 'b', 'c', 7, 0x60}));
    // "abc" at 8 matches at 4 and at 0 for three bytes: the nearer one wins.
    const auto nearer = lzCompress(toBytes("abcXabcYabc"));
    EXPECT_EQ(std::vector(nearer.end() - 2, nearer.end()), toBytes({"\t\0", 2}));  // distance 4
}

TEST(LZCompress, LongLiteralRunsAndTheWindowsEdge) {
    // Literal runs are split at 127 bytes; no copy reaches 2,048 bytes back.
    std::vector<std::byte> plain;
    for (std::uint32_t x = 7; plain.size() < 2048;) {
        x = x * 1103515245u + 12345u;
        plain.push_back(static_cast<std::byte>(x >> 24));
    }
    const std::vector<std::byte> motif(plain.begin(), plain.begin() + 18);
    plain.insert(plain.end(), motif.begin(), motif.end());
    const auto packed = lzCompress(plain);
    EXPECT_EQ(packed[9], std::byte{127 << 1});
    EXPECT_EQ(lzDecompress(packed), plain);
}

TEST(LZCompress, DamagedDataIsRefusedWithItsPlace) {
    const std::tuple<std::vector<std::byte>, std::size_t, std::string> rows[] = {
        {toBytes("LF\x07"), 1000, "Wrong stream format"},
        {toBytes(std::string_view("LZC00\0", 6)), 1000,
         "Compressed data ends inside its header at offset 6"},
        {container({2, 'A', 1, 0}), 1000, "Invalid back reference (distance 0) at offset 11"},
        {container({2, 'A', 5, 0}), 1000, "Invalid back reference (distance 2) at offset 11"},
        {container({3, 0}), 1000, "Invalid back reference (distance 1) at offset 9"},
        {container({2, 'A', 3}), 1000, "Compressed data ends inside a token at offset 11"},
        {container({8, 'A', 'B'}), 1000, "Compressed data ends inside a token at offset 9"},
        {container({8, 'A', 'B', 'C', 'D'}), 3, "Decompressed data exceeds the limit of 3 bytes"},
        {container({2, 'A', 3, 0xF0}), 10, "Decompressed data exceeds the limit of 10 bytes"},
    };
    for (const auto& [packed, limit, message] : rows) {
        try {
            (void)lzDecompress(packed, limit);
            ADD_FAILURE() << "no error: " << message;
        } catch (const ECompressError& e) {
            EXPECT_EQ(e.what(), message);
        }
    }
}

}  // namespace
}  // namespace runemeter
