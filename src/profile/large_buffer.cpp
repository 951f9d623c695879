// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/large_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace runemeter {

namespace {

constexpr std::size_t kWorthAdvising = std::size_t{8} << 20;
constexpr std::uintptr_t kPage = 4096;

// Tables given back are kept for the next table of the same size, up to this much in all: on
// a virtual machine the first touch of a fresh page can cost ten times the zeroing of a page
// already in use, and a run makes and drops tables of the same few sizes.
constexpr std::size_t kKeepAtMost = std::size_t{16} << 20;

struct KeptPages {
    struct Block {
        void* data;
        std::size_t bytes;
    };
    std::mutex mutex;
    std::vector<Block> blocks;
    std::size_t bytes = 0;
};

// Never destroyed: tables may be given back while the program ends.
KeptPages& keptPages() {
    static auto* const kept = new KeptPages;
    return *kept;
}

}  // namespace

void adviseLargeBuffer(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    if (data == nullptr || bytes < kWorthAdvising) {
        return;
    }
    // madvise wants whole pages: keep to the pages that lie entirely inside the block.
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (start + bytes) & ~(kPage - 1);
    if (last > first) {
        (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    }
#else
    (void)data;
    (void)bytes;
#endif
}

void* zeroedPages(std::size_t bytes) {
    {
        KeptPages& kept = keptPages();
        const std::lock_guard<std::mutex> lock(kept.mutex);
        for (auto block = kept.blocks.begin(); block != kept.blocks.end(); ++block) {
            if (block->bytes == bytes) {
                void* const data = block->data;
                kept.bytes -= bytes;
                kept.blocks.erase(block);
                std::memset(data, 0, bytes);
                return data;
            }
        }
    }
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_POPULATE
    flags |= MAP_POPULATE;
#endif
    void* data = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (data == MAP_FAILED) {
        throw std::bad_alloc();
    }
    return data;
}

void PageReleaser::operator()(void* data) const noexcept {
    if (data == nullptr) {
        return;
    }
    try {
        KeptPages& kept = keptPages();
        const std::lock_guard<std::mutex> lock(kept.mutex);
        if (kept.bytes + bytes <= kKeepAtMost) {
            kept.blocks.push_back({data, bytes});
            kept.bytes += bytes;
            return;
        }
    } catch (...) {  // no room to note it: given back below
    }
    ::munmap(data, bytes);
}

}  // namespace runemeter
