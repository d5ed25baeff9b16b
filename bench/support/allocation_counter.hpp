#pragma once
// Counts the heap allocations of a benchmark's timed loop. Linking
// bench_support replaces the global operator new, so every allocation of
// the process is seen.

#include <benchmark/benchmark.h>

#include <cstddef>

namespace bench {

size_t allocationCount() noexcept;

// Measures how far the memory allocated through operator new rose above
// its level at construction while it lives. Only one may live at a time;
// without one, allocations are only counted.
class PeakMemory {
public:
    PeakMemory() noexcept;
    ~PeakMemory();
    PeakMemory(const PeakMemory&) = delete;
    PeakMemory& operator=(const PeakMemory&) = delete;

    size_t peakBytes() const noexcept;
};

// Reports allocations per iteration as the counter "allocs".
class AllocationCounter {
public:
    explicit AllocationCounter(benchmark::State& state) : m_state(state), m_start(allocationCount()) {}
    ~AllocationCounter() {
        const double iterations = double(m_state.iterations() ? m_state.iterations() : 1);
        m_state.counters["allocs"] = double(allocationCount() - m_start) / iterations;
    }
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    // For the operations that promise not to allocate: fails the benchmark.
    void requireNone(const char* what) {
        if (allocationCount() != m_start)
            m_state.SkipWithError(what);
    }

private:
    benchmark::State& m_state;
    size_t m_start;
};

} // namespace bench
