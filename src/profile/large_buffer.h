#pragma once

// Help for the few buffers that hold a whole file: the read bytes and the decoded text.

#include <cstddef>

namespace runemeter {

/// Asks the kernel to back a large block with huge pages before it is first touched: a file of
/// hundreds of megabytes otherwise costs one page fault per 4 KiB. Small blocks are left alone;
/// failure only means the hint is not taken.
void adviseLargeBuffer(void* data, std::size_t bytes);

}  // namespace runemeter
