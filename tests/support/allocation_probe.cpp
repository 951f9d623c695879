// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int> g_probes{0};
std::atomic<std::size_t> g_largest{0};

void note(std::size_t size) {
    if (g_probes.load(std::memory_order_relaxed) == 0)
        return;
    std::size_t seen = g_largest.load(std::memory_order_relaxed);
    while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
    }
}

void* tryAllocate(std::size_t size) noexcept {
    note(size);
    return std::malloc(size == 0 ? 1 : size);
}

void* allocate(std::size_t size) {
    void* p = tryAllocate(size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

void* allocateAligned(std::size_t size, std::align_val_t align) {
    note(size);
    const auto a = static_cast<std::size_t>(align);
    void* p = std::aligned_alloc(a, (size + a - 1) / a * a);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

}  // namespace

namespace runemeter::test {

AllocationProbe::AllocationProbe() {
    g_largest.store(0);
    g_probes.fetch_add(1);
}

AllocationProbe::~AllocationProbe() {
    g_probes.fetch_sub(1);
}

std::size_t AllocationProbe::largest() const {
    return g_largest.load();
}

}  // namespace runemeter::test

// Replacements of the global allocation functions; malloc does the work.
void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return tryAllocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return tryAllocate(size);
}
void* operator new(std::size_t size, std::align_val_t align) {
    return allocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
    return allocateAligned(size, align);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
