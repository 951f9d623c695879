// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The compressed container of language files.
//
// | Offset | Size | Content                                                        |
// |--------|------|----------------------------------------------------------------|
// | 0      | 5    | "LZC00"                                                        |
// | 5      | 4    | reserved, written as 0, skipped by readers                     |
// | 9      | ...  | tokens up to the end of the data                               |
//
// Token, first byte b:
// | b bit 0 | Meaning                                                                    |
// |---------|----------------------------------------------------------------------------|
// | 0       | literal run: the next b >> 1 bytes (0..127) are copied to the output         |
// | 1       | copy: second byte c, w = b + 256 c; distance = (w >> 1) & 2047 (1..2047),   |
// |         | length = (w >> 12) + 3 (3..18); bytes are copied one at a time from          |
// |         | distance bytes back, so a copy may overlap what it produces                  |

#include <cstddef>
#include <cstdint>
#include <functional>

#include "localisation/byte_stream.h"
#include "suite/named_error.h"

namespace runemeter {

/// Failures of the compressed container.
class ECompressError : public NamedError {
public:
    using NamedError::NamedError;
    [[nodiscard]] std::string_view className() const noexcept override { return "ECompressError"; }
};

/// Progress of a compressor: input position and input size.
using CompressProgress = std::function<void(std::size_t position, std::size_t size)>;

/// Base of the compressors: source and destination streams and a progress event.
class TCompressor {
public:
    virtual ~TCompressor() = default;
    /// Stream read from its current position to its end.
    void SetSource(ByteStream* source) noexcept { m_source = source; }
    /// Stream written at its current position.
    void SetDest(ByteStream* dest) noexcept { m_dest = dest; }
    /// Called after each token with (input position, input size).
    void SetOnProgress(CompressProgress progress) { m_onProgress = std::move(progress); }

    /// Compresses the source into the destination.
    virtual void Compress() = 0;
    /// Decompresses the source into the destination.
    virtual void Decompress() = 0;

protected:
    void checkStreams() const;
    void report(std::size_t position, std::size_t size) const;
    ByteStream* m_source = nullptr;
    ByteStream* m_dest = nullptr;
    CompressProgress m_onProgress;
};

/// The "LZC00" container with a 2,048-byte window.
class TLZCompressor : public TCompressor {
public:
    /// Output size above which decompression stops with ECompressError.
    static constexpr std::size_t kDefaultSizeLimit = std::size_t{256} << 20;
    /// Window of back references.
    static constexpr std::size_t kWindowSize = 2048;

    /// A decompressor that refuses output beyond sizeLimit bytes.
    explicit TLZCompressor(std::size_t sizeLimit = kDefaultSizeLimit) : m_sizeLimit(sizeLimit) {}

    void Compress() override;
    void Decompress() override;

    /// Decompresses data whose end may be cut inside a token (a file head read for its header):
    /// stops quietly at the cut instead of raising.
    void DecompressPrefix();

    /// True when the stream's next 5 bytes are "LZC00"; the position is left unchanged.
    [[nodiscard]] static bool IsCompressed(const ByteStream& stream) noexcept;

private:
    void decompress(bool allowCut);
    std::size_t m_sizeLimit;
};

/// Convenience: the container around the given bytes.
[[nodiscard]] std::vector<std::byte> lzCompress(std::span<const std::byte> plain);

/// Convenience: the plain bytes of a container; throws ECompressError.
[[nodiscard]] std::vector<std::byte> lzDecompress(
    std::span<const std::byte> packed, std::size_t sizeLimit = TLZCompressor::kDefaultSizeLimit);

}  // namespace runemeter
