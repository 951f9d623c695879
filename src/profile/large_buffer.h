// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Help for large buffers and tables: huge pages for a block as large as a file, and tables
// that come zeroed from the kernel with their pages in place.

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

namespace runemeter {

/// Asks the kernel to back a large block with huge pages before it is first touched: a file of
/// hundreds of megabytes otherwise costs one page fault per 4 KiB. Small blocks are left alone;
/// failure only means the hint is not taken.
void adviseLargeBuffer(void* data, std::size_t bytes);

/// Returns memory taken with zeroedPages (kept for the next table of its size, up to a limit).
struct PageReleaser {
    std::size_t bytes = 0;
    void operator()(void* data) const noexcept;
};

/// bytes of zeroed memory: a table of that size given back before, zeroed again, or memory
/// straight from the kernel with its pages already in place (a fresh table of a megabyte
/// otherwise costs one page fault per 4 KiB when it is first touched, which on a virtual machine
/// is a good part of counting a file). Thread-safe. Throws std::bad_alloc.
[[nodiscard]] void* zeroedPages(std::size_t bytes);

/// A T (a table of plain numbers) that starts all zero, in memory from zeroedPages.
template <typename T>
[[nodiscard]] std::unique_ptr<T, PageReleaser> makeZeroedTable() {
    static_assert(std::is_trivially_default_constructible_v<T> &&
                  std::is_trivially_destructible_v<T>);
    return std::unique_ptr<T, PageReleaser>(new (zeroedPages(sizeof(T))) T,
                                            PageReleaser{sizeof(T)});
}

}  // namespace runemeter
