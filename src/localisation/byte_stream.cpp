// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/byte_stream.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <system_error>

namespace runemeter {

namespace {

std::string describe(const std::filesystem::path& path, const char* what, int err) {
    return std::string(what) + " \"" + path.string() +
           "\": " + std::generic_category().message(err);
}

}  // namespace

EReadError::EReadError(std::size_t offset)
    : NamedError("Stream read error at offset " + std::to_string(offset)), m_offset(offset) {}

void ByteStream::read(void* out, std::size_t n) {
    if (n > remaining()) {
        throw EReadError(m_pos);
    }
    if (n != 0) {
        std::memcpy(out, m_data.data() + m_pos, n);
    }
    m_pos += n;
}

void ByteStream::skip(std::size_t n) {
    if (n > remaining()) {
        throw EReadError(m_pos);
    }
    m_pos += n;
}

std::uint8_t ByteStream::readU8() {
    std::uint8_t b[1];
    read(b, 1);
    return b[0];
}

std::uint16_t ByteStream::readU16() {
    std::uint8_t b[2];
    read(b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t ByteStream::readU32() {
    std::uint8_t b[4];
    read(b, 4);
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::int32_t ByteStream::readI32() {
    return static_cast<std::int32_t>(readU32());
}

std::uint64_t ByteStream::readU64() {
    const std::uint64_t low = readU32();
    const std::uint64_t high = readU32();
    return low | (high << 32);
}

void ByteStream::write(const void* in, std::size_t n) {
    if (n == 0) {
        return;
    }
    if (m_pos + n > m_data.size()) {
        m_data.resize(m_pos + n);
    }
    std::memcpy(m_data.data() + m_pos, in, n);
    m_pos += n;
}

void ByteStream::writeU8(std::uint8_t v) {
    write(&v, 1);
}

void ByteStream::writeU16(std::uint16_t v) {
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    write(b, 2);
}

void ByteStream::writeU32(std::uint32_t v) {
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16),
                               static_cast<std::uint8_t>(v >> 24)};
    write(b, 4);
}

void ByteStream::writeI32(std::int32_t v) {
    writeU32(static_cast<std::uint32_t>(v));
}

void ByteStream::writeU64(std::uint64_t v) {
    writeU32(static_cast<std::uint32_t>(v));
    writeU32(static_cast<std::uint32_t>(v >> 32));
}

std::vector<std::byte> readFileHead(const std::filesystem::path& path, std::size_t maxBytes) {
    // Opening a FIFO would wait for a writer, and a device never ends: only regular files.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        throw EFOpenError(describe(path, "Cannot open file", EINVAL) + " (not a regular file)");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw EFOpenError(describe(path, "Cannot open file", errno));
    }
    std::vector<std::byte> bytes;
    constexpr std::size_t kChunk = 64 * 1024;
    while (bytes.size() < maxBytes) {
        const std::size_t want = std::min(kChunk, maxBytes - bytes.size());
        const std::size_t old = bytes.size();
        bytes.resize(old + want);
        in.read(reinterpret_cast<char*>(bytes.data() + old), static_cast<std::streamsize>(want));
        const auto got = static_cast<std::size_t>(in.gcount());
        bytes.resize(old + got);
        if (got < want) {
            if (in.bad()) {
                throw EFOpenError(describe(path, "Cannot read file", errno));
            }
            break;
        }
    }
    return bytes;
}

std::vector<std::byte> readFileBytes(const std::filesystem::path& path) {
    // None of the files read whole (language files and modules) comes near this; a larger one
    // is refused before it is read rather than filling the memory.
    constexpr std::uintmax_t kLargest = std::uintmax_t{256} << 20;
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kLargest) {
        throw EFOpenError(describe(path, "Cannot read file", EFBIG));
    }
    return readFileHead(path, static_cast<std::size_t>(-1));
}

void writeFileBytes(const std::filesystem::path& path, std::span<const std::byte> bytes) {
    std::filesystem::path temp = path;
    temp += ".tmp~";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            throw EFOpenError(describe(temp, "Cannot create file", errno));
        }
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            const int err = errno;
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            throw EFOpenError(describe(temp, "Cannot write file", err));
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw EFOpenError(describe(path, "Cannot replace file", ec.value()));
    }
}

std::vector<std::byte> toBytes(std::string_view text) {
    std::vector<std::byte> bytes(text.size());
    if (!text.empty()) {
        std::memcpy(bytes.data(), text.data(), text.size());
    }
    return bytes;
}

}  // namespace runemeter
