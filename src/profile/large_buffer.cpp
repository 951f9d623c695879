#include "profile/large_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <system_error>

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

PagePrefaulter::PagePrefaulter(void* data, std::size_t bytes, std::size_t window)
    : m_data(static_cast<char*>(data)), m_bytes(bytes), m_window(window) {
#ifdef MADV_POPULATE_WRITE
    if (data == nullptr || bytes < kWorthAdvising) {
        return;
    }
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread: the writer faults its pages in as it goes.
    }
#endif
}

PagePrefaulter::~PagePrefaulter() {
    stop();
}

void PagePrefaulter::advance(std::size_t bytes) {
    {
        const std::lock_guard lock(m_mutex);
        m_written = bytes;
    }
    m_wake.notify_one();
}

void PagePrefaulter::stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void PagePrefaulter::run() {
#ifdef MADV_POPULATE_WRITE
    // Whole pages inside the block only: a page shared with other data is the writer's.
    const auto start = reinterpret_cast<std::uintptr_t>(m_data);
    const std::uintptr_t end = (start + m_bytes) & ~(kPage - 1);
    std::uintptr_t done = (start + kPage - 1) & ~(kPage - 1);
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::uintptr_t target = 0;
        m_wake.wait(lock, [&] {
            target =
                std::min(end, (start + std::min(m_written + m_window, m_bytes)) & ~(kPage - 1));
            return m_stop || target > done;
        });
        if (m_stop) {
            return;
        }
        lock.unlock();
        if (::madvise(reinterpret_cast<void*>(done), target - done, MADV_POPULATE_WRITE) != 0) {
            return;  // not supported here, or out of memory: the writer faults pages in itself
        }
        done = target;
        lock.lock();
    }
#endif
}

}  // namespace runemeter
