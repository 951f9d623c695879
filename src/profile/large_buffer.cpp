// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/large_buffer.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace runemeter {

namespace {

constexpr std::size_t kWorthAdvising = std::size_t{8} << 20;
constexpr std::uintptr_t kPage = 4096;

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
    if (data != nullptr) {
        ::munmap(data, bytes);
    }
}

}  // namespace runemeter
