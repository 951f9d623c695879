#pragma once

// Help for the few buffers that hold a whole file: the read bytes and the decoded text.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

namespace runemeter {

/// Asks the kernel to back a large block with huge pages before it is first touched: a file of
/// hundreds of megabytes otherwise costs one page fault per 4 KiB. Small blocks are left alone;
/// failure only means the hint is not taken.
void adviseLargeBuffer(void* data, std::size_t bytes);

/// Faults in the pages of a large block on a second thread, a window ahead of the one writer,
/// so that the kernel clears fresh pages there while the writer works on earlier ones. Only a
/// hint: where the kernel or the thread is missing, the writer faults them in itself.
class PagePrefaulter {
public:
    /// Window most used by the decoder: far enough ahead to keep the writer off cold pages.
    static constexpr std::size_t kDefaultWindow = std::size_t{64} << 20;

    /// Starts the thread for a block of at least a few megabytes.
    PagePrefaulter(void* data, std::size_t bytes, std::size_t window = kDefaultWindow);
    PagePrefaulter(const PagePrefaulter&) = delete;
    PagePrefaulter& operator=(const PagePrefaulter&) = delete;
    ~PagePrefaulter();

    /// The writer has written the first bytes of the block: pages up to bytes + window may go.
    void advance(std::size_t bytes);
    /// Stops and joins the thread; the block may then be freed or moved.
    void stop();

private:
    void run();

    char* m_data;
    std::size_t m_bytes;
    std::size_t m_window;
    std::size_t m_written = 0;
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
};

}  // namespace runemeter
