// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Watches the largest single request to operator new while a probe is alive, so tests can
// show that a reader never reserves what a hostile file merely claims.

#include <cstddef>

namespace runemeter::test {

/// Records the largest operator-new request made (by any thread) while it lives.
class AllocationProbe {
public:
    AllocationProbe();
    ~AllocationProbe();
    AllocationProbe(const AllocationProbe&) = delete;
    AllocationProbe& operator=(const AllocationProbe&) = delete;

    /// The largest single request in bytes since the probe was made.
    [[nodiscard]] std::size_t largest() const;
};

}  // namespace runemeter::test
