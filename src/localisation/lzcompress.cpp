// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/lzcompress.h"

#include <array>
#include <cstring>
#include <string>

namespace runemeter {

namespace {

constexpr char kMagic[5] = {'L', 'Z', 'C', '0', '0'};
constexpr std::size_t kHeaderSize = 9;
constexpr std::size_t kMaxDistance = TLZCompressor::kWindowSize - 1;
constexpr std::size_t kMinMatch = 3;
constexpr std::size_t kMaxMatch = 18;
constexpr std::size_t kGoodEnoughMatch = 8;
constexpr std::size_t kMaxLiteralRun = 127;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

}  // namespace

void TCompressor::checkStreams() const {
    if (m_source == nullptr) {
        throw ECompressError("Source stream is not defined");
    }
    if (m_dest == nullptr) {
        throw ECompressError("Destination stream is not defined");
    }
}

void TCompressor::report(std::size_t position, std::size_t size) const {
    if (m_onProgress) {
        m_onProgress(position, size);
    }
}

bool TLZCompressor::IsCompressed(const ByteStream& stream) noexcept {
    if (stream.remaining() < sizeof kMagic) {
        return false;
    }
    return std::memcmp(stream.bytes().data() + stream.position(), kMagic, sizeof kMagic) == 0;
}

void TLZCompressor::Compress() {
    checkStreams();
    const std::span<const std::byte> in = m_source->bytes().subspan(m_source->position());
    const std::size_t n = in.size();
    const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(in[i]); };

    m_dest->write(kMagic, sizeof kMagic);
    m_dest->writeU32(0);

    // For each byte value, the most recent position where it occurs; prev[] links each
    // position to the previous one with the same byte value.
    std::array<std::size_t, 256> head;
    head.fill(kNone);
    std::vector<std::size_t> prev(n, kNone);
    const auto remember = [&](std::size_t i) {
        prev[i] = head[at(i)];
        head[at(i)] = i;
    };

    std::size_t literalStart = 0;
    std::size_t literalLength = 0;
    const auto flushLiterals = [&] {
        if (literalLength == 0) {
            return;
        }
        m_dest->writeU8(static_cast<std::uint8_t>(literalLength << 1));
        m_dest->write(in.data() + literalStart, literalLength);
        literalLength = 0;
    };

    std::size_t pos = 0;
    while (pos < n) {
        std::size_t bestLength = 0;
        std::size_t bestDistance = 0;
        if (n - pos >= kMinMatch) {
            const std::size_t limit = std::min(kMaxMatch, n - pos);
            for (std::size_t cand = head[at(pos)]; cand != kNone && pos - cand <= kMaxDistance;
                 cand = prev[cand]) {
                std::size_t length = 1;
                while (length < limit && in[cand + length] == in[pos + length]) {
                    ++length;
                }
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = pos - cand;
                    if (bestLength > kGoodEnoughMatch) {
                        break;
                    }
                }
            }
        }
        if (bestLength >= kMinMatch) {
            flushLiterals();
            const auto w = static_cast<std::uint16_t>(1 | (bestDistance << 1) |
                                                      ((bestLength - kMinMatch) << 12));
            m_dest->writeU16(w);
            for (std::size_t i = 0; i < bestLength; ++i) {
                remember(pos + i);
            }
            pos += bestLength;
            report(pos, n);
        } else {
            if (literalLength == 0) {
                literalStart = pos;
            }
            ++literalLength;
            remember(pos);
            ++pos;
            if (literalLength == kMaxLiteralRun) {
                flushLiterals();
                report(pos, n);
            }
        }
    }
    flushLiterals();
    report(n, n);
    m_source->seek(m_source->size());
}

void TLZCompressor::Decompress() {
    decompress(false);
}

void TLZCompressor::DecompressPrefix() {
    decompress(true);
}

void TLZCompressor::decompress(bool allowCut) {
    checkStreams();
    if (!IsCompressed(*m_source)) {
        throw ECompressError("Wrong stream format");
    }
    const std::size_t base = m_source->position();
    const std::span<const std::byte> in = m_source->bytes().subspan(base);
    const std::size_t n = in.size();
    const auto cut = [&](std::size_t offset) {
        return ECompressError("Compressed data ends inside a token at offset " +
                              std::to_string(base + offset));
    };

    std::vector<std::byte> out;
    std::size_t p = kHeaderSize;
    if (n < kHeaderSize) {
        if (!allowCut) {
            throw ECompressError("Compressed data ends inside its header at offset " +
                                 std::to_string(base + n));
        }
        p = n;
    }
    while (p < n) {
        const std::size_t tokenStart = p;
        const auto b = static_cast<std::uint8_t>(in[p++]);
        if ((b & 1) == 0) {
            std::size_t length = b >> 1;
            if (length > n - p) {
                if (!allowCut) {
                    throw cut(tokenStart);
                }
                length = n - p;
            }
            if (out.size() + length > m_sizeLimit) {
                throw ECompressError("Decompressed data exceeds the limit of " +
                                     std::to_string(m_sizeLimit) + " bytes");
            }
            out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(p),
                       in.begin() + static_cast<std::ptrdiff_t>(p + length));
            p += length;
        } else {
            if (p >= n) {
                if (!allowCut) {
                    throw cut(tokenStart);
                }
                break;
            }
            const auto c = static_cast<std::uint8_t>(in[p++]);
            const unsigned w = b | (static_cast<unsigned>(c) << 8);
            const std::size_t distance = (w >> 1) & kMaxDistance;
            const std::size_t length = (w >> 12) + kMinMatch;
            // Such tokens are never written; honouring them would read outside the output.
            if (distance == 0 || distance > out.size()) {
                throw ECompressError("Invalid back reference (distance " +
                                     std::to_string(distance) + ") at offset " +
                                     std::to_string(base + tokenStart));
            }
            if (out.size() + length > m_sizeLimit) {
                throw ECompressError("Decompressed data exceeds the limit of " +
                                     std::to_string(m_sizeLimit) + " bytes");
            }
            for (std::size_t i = 0; i < length; ++i) {
                const std::byte copied = out[out.size() - distance];
                out.push_back(copied);
            }
        }
        report(p, n);
    }
    m_source->seek(base + n);
    m_dest->write(out.data(), out.size());
}

std::vector<std::byte> lzCompress(std::span<const std::byte> plain) {
    ByteStream source(plain);
    ByteStream dest;
    TLZCompressor compressor;
    compressor.SetSource(&source);
    compressor.SetDest(&dest);
    compressor.Compress();
    return std::move(dest.data());
}

std::vector<std::byte> lzDecompress(std::span<const std::byte> packed, std::size_t sizeLimit) {
    ByteStream source(packed);
    ByteStream dest;
    TLZCompressor compressor(sizeLimit);
    compressor.SetSource(&source);
    compressor.SetDest(&dest);
    compressor.Decompress();
    return std::move(dest.data());
}

}  // namespace runemeter
