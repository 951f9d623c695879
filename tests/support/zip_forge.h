// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Zip archives written byte by byte, so that tests can make every field lie: sizes, counts,
// offsets, ZIP64 records and names. Only what the tests need: no data descriptors, one disk.

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter::test {

/// Raw deflate data (no zlib header) of text.
inline std::string deflateRaw(std::string_view text) {
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    deflateEnd(&z);
    if (result != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    return out;
}

/// CRC-32 of text.
inline std::uint32_t crcOf(std::string_view text) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

/// Raw deflate data that inflates to copies * 1 MiB of zero bytes, a few KiB per copy: one
/// fully flushed block of 1 MiB of zeros (it refers to nothing before it), repeated, then an
/// empty last block. crc receives the CRC-32 of the whole output.
inline std::string deflateBomb(std::uint32_t copies, std::uint32_t& crc) {
    const std::string mebibyte(std::size_t{1} << 20, '\0');
    z_stream z{};
    if (deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string block(deflateBound(&z, static_cast<uLong>(mebibyte.size())) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(mebibyte.data()));
    z.avail_in = static_cast<uInt>(mebibyte.size());
    z.next_out = reinterpret_cast<Bytef*>(block.data());
    z.avail_out = static_cast<uInt>(block.size());
    if (deflate(&z, Z_FULL_FLUSH) != Z_OK || z.avail_in != 0)
        throw std::runtime_error("deflate flush");
    block.resize(z.total_out);
    std::string last(64, '\0');
    z.next_out = reinterpret_cast<Bytef*>(last.data());
    z.avail_out = static_cast<uInt>(last.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate finish");
    last.resize(64 - z.avail_out);
    deflateEnd(&z);

    const uLong blockCrc = crc32(0, reinterpret_cast<const Bytef*>(mebibyte.data()),
                                 static_cast<uInt>(mebibyte.size()));
    uLong whole = 0;
    std::string out;
    out.reserve(block.size() * copies + last.size());
    for (std::uint32_t i = 0; i < copies; ++i) {
        out += block;
        whole = crc32_combine(whole, blockCrc, static_cast<z_off_t>(mebibyte.size()));
    }
    out += last;
    crc = static_cast<std::uint32_t>(whole);
    return out;
}

/// One member as it will be written; every field may be set to a lie.
struct ForgedMember {
    std::string name;
    std::string payload;       ///< the bytes stored (deflated or not)
    std::uint16_t method = 0;  ///< 0 stored, 8 deflated
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;        ///< as the directory claims it
    bool zip64 = false;                        ///< sizes in a ZIP64 extra field (both headers)
    bool utf8Name = true;                      ///< general flag 11: the stored name is UTF-8
    std::optional<std::uint64_t> localOffset;  ///< directory's offset of the local header
    bool local = true;  ///< false: only the directory entry is written (give localOffset)
};

/// A stored member with honest fields.
inline ForgedMember storedMember(std::string name, std::string_view text) {
    ForgedMember m;
    m.name = std::move(name);
    m.payload = std::string(text);
    m.crc = crcOf(text);
    m.compressedSize = text.size();
    m.uncompressedSize = text.size();
    return m;
}

/// A deflated member with honest fields.
inline ForgedMember deflatedMember(std::string name, std::string_view text) {
    ForgedMember m = storedMember(std::move(name), text);
    m.payload = deflateRaw(text);
    m.method = 8;
    m.compressedSize = m.payload.size();
    return m;
}

/// Lies told by the end records.
struct ForgedEnd {
    std::optional<std::uint16_t> entries;          ///< entry counts of the end record
    std::optional<std::uint32_t> directoryOffset;  ///< where the end record says it starts
    std::optional<std::uint32_t> directorySize;    ///< how long it says it is
    bool zip64End = false;                         ///< add ZIP64 end record and locator
    std::optional<std::uint64_t> zip64Entries;     ///< entry counts of the ZIP64 record
    std::optional<std::uint64_t> zip64DirectoryOffset;
};

namespace forge_detail {

inline void put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline std::string zip64Extra(const ForgedMember& m) {
    std::string extra;
    put(extra, 0x0001, 2);
    put(extra, 16, 2);
    put(extra, m.uncompressedSize, 8);
    put(extra, m.compressedSize, 8);
    return extra;
}

/// The fields the local header and the directory entry share, from "version needed" to the
/// length of the extra field.
inline void putShared(std::string& out, const ForgedMember& m, const std::string& extra) {
    put(out, m.zip64 ? 45 : 20, 2);
    put(out, m.utf8Name ? 0x0800 : 0, 2);
    put(out, m.method, 2);
    put(out, 0, 2);
    put(out, 0x21, 2);
    put(out, m.crc, 4);
    put(out, m.zip64 ? 0xFFFFFFFFu : m.compressedSize, 4);
    put(out, m.zip64 ? 0xFFFFFFFFu : m.uncompressedSize, 4);
    put(out, m.name.size(), 2);
    put(out, extra.size(), 2);
}

}  // namespace forge_detail

/// The bytes of an archive holding members in order, ended as end says.
inline std::string forgeZip(const std::vector<ForgedMember>& members, const ForgedEnd& end = {}) {
    using forge_detail::put;
    std::string out;
    std::vector<std::uint64_t> offsets;
    for (const ForgedMember& m : members) {
        offsets.push_back(out.size());
        if (!m.local)
            continue;
        const std::string extra = m.zip64 ? forge_detail::zip64Extra(m) : std::string();
        put(out, 0x04034b50, 4);
        forge_detail::putShared(out, m, extra);
        out += m.name;
        out += extra;
        out += m.payload;
    }
    const std::uint64_t directoryStart = out.size();
    for (std::size_t i = 0; i < members.size(); ++i) {
        const ForgedMember& m = members[i];
        const std::string extra = m.zip64 ? forge_detail::zip64Extra(m) : std::string();
        put(out, 0x02014b50, 4);
        put(out, 20 | (3 << 8), 2);
        forge_detail::putShared(out, m, extra);
        put(out, 0, 2);
        put(out, 0, 2);
        put(out, 0, 2);
        put(out, 0100644u << 16, 4);
        put(out, m.localOffset.value_or(offsets[i]), 4);
        out += m.name;
        out += extra;
    }
    const std::uint64_t directorySize = out.size() - directoryStart;
    if (end.zip64End) {
        const std::uint64_t recordAt = out.size();
        const std::uint64_t entries = end.zip64Entries.value_or(members.size());
        put(out, 0x06064b50, 4);
        put(out, 44, 8);
        put(out, 45, 2);
        put(out, 45, 2);
        put(out, 0, 4);
        put(out, 0, 4);
        put(out, entries, 8);
        put(out, entries, 8);
        put(out, directorySize, 8);
        put(out, end.zip64DirectoryOffset.value_or(directoryStart), 8);
        put(out, 0x07064b50, 4);
        put(out, 0, 4);
        put(out, recordAt, 8);
        put(out, 1, 4);
    }
    const std::uint16_t entries =
        end.entries.value_or(end.zip64End ? 0xFFFF : static_cast<std::uint16_t>(members.size()));
    put(out, 0x06054b50, 4);
    put(out, 0, 2);
    put(out, 0, 2);
    put(out, entries, 2);
    put(out, entries, 2);
    put(out,
        end.directorySize.value_or(end.zip64End ? 0xFFFFFFFFu
                                                : static_cast<std::uint32_t>(directorySize)),
        4);
    put(out,
        end.directoryOffset.value_or(end.zip64End ? 0xFFFFFFFFu
                                                  : static_cast<std::uint32_t>(directoryStart)),
        4);
    put(out, 0, 2);
    return out;
}

}  // namespace runemeter::test
