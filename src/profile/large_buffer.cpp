#include "profile/large_buffer.h"

#include <sys/mman.h>

#include <cstdint>

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

}  // namespace runemeter
