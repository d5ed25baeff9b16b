// Cost of emitting a signal with no body, one slot and ten slots, of
// connecting (heap and inline holders), and of calling through a fuzzy
// argument adaptor compared with a plain std::function. The counter "allocs"
// is the number of heap allocations per iteration; emitting must allocate
// nothing, and those benchmarks stop with an error if it does.

#include "orv_cpp_utils/signal.hpp"

#include "bench/support/allocation_counter.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <vector>

namespace {

using Signal = zel::FuzzySignal<void(int, double)>;

using bench::AllocationCounter;

// Baseline for the empty signal: loading and testing a pointer.
void BM_PointerTest(benchmark::State& state) {
    std::atomic<void (*)(int)> target{nullptr};
    for (auto _ : state) {
        if (auto f = target.load(std::memory_order_acquire))
            f(1);
        benchmark::ClobberMemory();
    }
}

void BM_EmitNoBody(benchmark::State& state) {
    Signal signal;
    AllocationCounter counter(state);
    for (auto _ : state) {
        signal(1, 2.0);
        benchmark::ClobberMemory();
    }
    counter.requireNone("emitting allocated");
}

void BM_EmitSlots(benchmark::State& state) {
    Signal signal;
    int calls = 0;
    for (int64_t i = 0; i < state.range(0); ++i)
        signal.connect([&calls](double) { ++calls; });
    AllocationCounter counter(state);
    for (auto _ : state) {
        signal(1, 2.0);
        benchmark::DoNotOptimize(calls);
    }
    counter.requireNone("emitting allocated");
}

void BM_ConnectDisconnectHeap(benchmark::State& state) {
    Signal signal;
    signal.connect([](int) {}); // the body exists already
    AllocationCounter counter(state);
    for (auto _ : state) {
        zel::Connection c = signal.connect([](int) {});
        c.disconnect();
    }
}

void BM_ConnectDisconnectInline(benchmark::State& state) {
    Signal signal;
    signal.connect([](int) {});
    zel::InlineConnection storage;
    AllocationCounter counter(state);
    for (auto _ : state) {
        signal
            .connect(
                &storage, [](int) {}, 0)
            .disconnect();
    }
}

// Adaptor overhead: both are called as void (const Connection&, int, double).
using SlotFunction = std::function<void(const zel::Connection&, int, double)>;

void BM_StdFunctionExactSlot(benchmark::State& state) {
    double sum = 0;
    const SlotFunction f = [&sum](const zel::Connection&, int i, double d) { sum += i + d; };
    const zel::Connection none;
    for (auto _ : state) {
        f(none, 1, 2.0);
        benchmark::DoNotOptimize(sum);
    }
}

void BM_StdFunctionAdaptedSlot(benchmark::State& state) {
    double sum = 0;
    const SlotFunction f = orv::makeFuzzyCallable<void(const zel::Connection&, int, double)>(
        [&sum](int i, double d) { sum += i + d; });
    const zel::Connection none;
    for (auto _ : state) {
        f(none, 1, 2.0);
        benchmark::DoNotOptimize(sum);
    }
}

BENCHMARK(BM_PointerTest);
BENCHMARK(BM_EmitNoBody);
BENCHMARK(BM_EmitSlots)->Arg(1)->Arg(10);
BENCHMARK(BM_ConnectDisconnectHeap);
BENCHMARK(BM_ConnectDisconnectInline);
BENCHMARK(BM_StdFunctionExactSlot);
BENCHMARK(BM_StdFunctionAdaptedSlot);

} // namespace
