// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A growable byte buffer with a read/write position: the stream type of the language file
// reader, its writer and the compressor. All numbers are little-endian.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "suite/named_error.h"

namespace runemeter {

/// Data ended before a value could be read.
class EReadError : public NamedError {
public:
    /// Message "Stream read error at offset N".
    explicit EReadError(std::size_t offset);
    [[nodiscard]] std::string_view className() const noexcept override { return "EReadError"; }
    /// Offset at which the read began.
    [[nodiscard]] std::size_t offset() const noexcept { return m_offset; }

private:
    std::size_t m_offset;
};

/// A file could not be opened, read or written.
class EFOpenError : public NamedError {
public:
    using NamedError::NamedError;
    [[nodiscard]] std::string_view className() const noexcept override { return "EFOpenError"; }
};

/// Bytes in memory with one position shared by reads and writes.
class ByteStream {
public:
    ByteStream() = default;
    /// A stream over a copy of the bytes, positioned at 0.
    explicit ByteStream(std::vector<std::byte> bytes) : m_data(std::move(bytes)) {}
    /// A stream over a copy of the bytes, positioned at 0.
    explicit ByteStream(std::span<const std::byte> bytes) : m_data(bytes.begin(), bytes.end()) {}

    /// Number of bytes held.
    [[nodiscard]] std::size_t size() const noexcept { return m_data.size(); }
    /// Current position.
    [[nodiscard]] std::size_t position() const noexcept { return m_pos; }
    /// Bytes left after the position.
    [[nodiscard]] std::size_t remaining() const noexcept {
        return m_pos < m_data.size() ? m_data.size() - m_pos : 0;
    }
    /// Moves the position; positions past the end are clamped to the end.
    void seek(std::size_t pos) noexcept { m_pos = pos < m_data.size() ? pos : m_data.size(); }
    /// All bytes held.
    [[nodiscard]] std::span<const std::byte> bytes() const noexcept { return m_data; }
    /// The buffer itself, for moving the bytes out.
    [[nodiscard]] std::vector<std::byte>& data() noexcept { return m_data; }

    /// Copies n bytes to out or throws EReadError (position unchanged) when fewer remain.
    void read(void* out, std::size_t n);
    /// Skips n bytes or throws EReadError.
    void skip(std::size_t n);
    [[nodiscard]] std::uint8_t readU8();    ///< One byte.
    [[nodiscard]] std::uint16_t readU16();  ///< Unsigned 16-bit, little-endian.
    [[nodiscard]] std::uint32_t readU32();  ///< Unsigned 32-bit, little-endian.
    [[nodiscard]] std::int32_t readI32();   ///< Signed 32-bit, little-endian.
    [[nodiscard]] std::uint64_t readU64();  ///< Unsigned 64-bit, little-endian.

    /// Writes n bytes at the position (overwriting, then growing) and advances.
    void write(const void* in, std::size_t n);
    void writeU8(std::uint8_t v);    ///< One byte.
    void writeU16(std::uint16_t v);  ///< Unsigned 16-bit, little-endian.
    void writeU32(std::uint32_t v);  ///< Unsigned 32-bit, little-endian.
    void writeI32(std::int32_t v);   ///< Signed 32-bit, little-endian.
    void writeU64(std::uint64_t v);  ///< Unsigned 64-bit, little-endian.

private:
    std::vector<std::byte> m_data;
    std::size_t m_pos = 0;
};

/// Reads a whole file; throws EFOpenError with the path and the system's reason.
[[nodiscard]] std::vector<std::byte> readFileBytes(const std::filesystem::path& path);

/// Reads at most maxBytes from the start of a file; throws EFOpenError.
[[nodiscard]] std::vector<std::byte> readFileHead(const std::filesystem::path& path,
                                                  std::size_t maxBytes);

/// Writes a file through a temporary file in the same folder and a rename, so a failed write
/// never leaves a half-written file behind; throws EFOpenError.
void writeFileBytes(const std::filesystem::path& path, std::span<const std::byte> bytes);

/// Bytes of a string, for tests and tools.
[[nodiscard]] std::vector<std::byte> toBytes(std::string_view text);

}  // namespace runemeter
