// SPDX-License-Identifier: GPL-3.0-or-later
// The compressed container from untrusted bytes: decompression must fail cleanly or give data
// that compresses and decompresses back to itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "localisation/byte_stream.h"
#include "localisation/lzcompress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace runemeter;
    const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
    std::vector<std::byte> plain;
    try {
        plain = lzDecompress(bytes, std::size_t{1} << 20);
    } catch (const ECompressError&) {
        // The head of a file read for its header is decompressed leniently; that must hold too.
        try {
            ByteStream source(bytes);
            ByteStream dest;
            TLZCompressor compressor;
            compressor.SetSource(&source);
            compressor.SetDest(&dest);
            compressor.DecompressPrefix();
        } catch (const ECompressError&) {
        }
        return 0;
    }
    if (lzDecompress(lzCompress(plain)) != plain) {
        std::abort();
    }
    return 0;
}
