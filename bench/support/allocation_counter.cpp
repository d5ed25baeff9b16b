#include "bench/support/allocation_counter.hpp"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> g_allocations{0};
std::atomic<bool> g_measuring{false};
// Bytes allocated minus bytes freed since the PeakMemory began (freeing
// older blocks takes it below zero), and the most it has been.
std::atomic<long long> g_liveBytes{0};
std::atomic<long long> g_peakBytes{0};

void noteAllocated(void* p) noexcept {
    if (!g_measuring.load(std::memory_order_relaxed))
        return;
    const auto size = static_cast<long long>(malloc_usable_size(p));
    const long long live = g_liveBytes.fetch_add(size, std::memory_order_relaxed) + size;
    long long peak = g_peakBytes.load(std::memory_order_relaxed);
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
}

void release(void* p) noexcept {
    if (p && g_measuring.load(std::memory_order_relaxed))
        g_liveBytes.fetch_sub(static_cast<long long>(malloc_usable_size(p)), std::memory_order_relaxed);
    std::free(p);
}

void* allocate(size_t size, size_t alignment = 0) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0)
        size = 1;
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
                  : std::malloc(size);
    if (!p)
        throw std::bad_alloc();
    noteAllocated(p);
    return p;
}

} // namespace

size_t bench::allocationCount() noexcept { return g_allocations.load(std::memory_order_relaxed); }

bench::PeakMemory::PeakMemory() noexcept {
    g_liveBytes.store(0, std::memory_order_relaxed);
    g_peakBytes.store(0, std::memory_order_relaxed);
    g_measuring.store(true, std::memory_order_relaxed);
}

bench::PeakMemory::~PeakMemory() { g_measuring.store(false, std::memory_order_relaxed); }

size_t bench::PeakMemory::peakBytes() const noexcept {
    return static_cast<size_t>(g_peakBytes.load(std::memory_order_relaxed));
}

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<size_t>(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<size_t>(alignment));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { release(p); }
