// Cost of the everyday Variant operations: copy, compare, hash and typed
// reads, with the number of heap allocations per iteration as the counter
// "allocs". Copying a scalar, a pointer or a shared string must allocate
// nothing; those benchmarks stop with an error if they do.

#include "platform/kor/math/math.hpp"
#include "platform/variant/variant.hpp"

#include "bench/support/allocation_counter.hpp"

#include <benchmark/benchmark.h>

#include <any>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace {

using tavi::Variant;

struct Node {
    int value = 0;
};

using bench::AllocationCounter;

template <class MakeValue>
void copyBenchmark(benchmark::State& state, MakeValue make, bool mustNotAllocate) {
    const Variant source = make();
    AllocationCounter counter(state);
    for (auto _ : state) {
        Variant copy(source);
        benchmark::DoNotOptimize(copy);
    }
    if (mustNotAllocate)
        counter.requireNone("allocated although the value should be copied without allocation");
}

Node g_node;

void BM_CopyInt(benchmark::State& state) {
    copyBenchmark(
        state, [] { return Variant(42); }, true);
}
void BM_CopyDouble(benchmark::State& state) {
    copyBenchmark(
        state, [] { return Variant(4.2); }, true);
}
void BM_CopyPointer(benchmark::State& state) {
    copyBenchmark(
        state, [] { return Variant(&g_node); }, true);
}
void BM_CopyConstPointer(benchmark::State& state) {
    copyBenchmark(
        state, [] { return Variant(static_cast<const Node*>(&g_node)); }, true);
}
void BM_CopySharedPtr(benchmark::State& state) {
    copyBenchmark(
        state, [] { return Variant(std::make_shared<Node>()); }, true);
}
void BM_CopyVector3(benchmark::State& state) {
    copyBenchmark(
        state, [] { return Variant(Kor::Vector3(1, 2, 3)); }, true);
}
// Large values are shared: copying one bumps a reference count.
void BM_CopyString(benchmark::State& state) {
    copyBenchmark(
        state, [] { return Variant(std::string(64, 's')); }, true);
}
void BM_CopyMatrix(benchmark::State& state) {
    copyBenchmark(
        state, [] { return Variant(Kor::Matrix()); }, true);
}

// For scale: std::any copies the string on every copy.
void BM_StdAnyCopyString(benchmark::State& state) {
    const std::any source = std::string(64, 's');
    AllocationCounter counter(state);
    for (auto _ : state) {
        std::any copy(source);
        benchmark::DoNotOptimize(copy);
    }
}

// Copy, then write: the first write of a shared value copies it once.
void BM_CopyAndWriteString(benchmark::State& state) {
    const Variant source(std::string(64, 's'));
    AllocationCounter counter(state);
    for (auto _ : state) {
        Variant copy(source);
        copy.mutablePtr<std::string>()->front() = 't';
        benchmark::DoNotOptimize(copy);
    }
}

template <class MakeValue>
void compareBenchmark(benchmark::State& state, MakeValue make) {
    const Variant a = make();
    const Variant b = make(); // equal, stored separately
    AllocationCounter counter(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(a == b);
}

void BM_CompareInt(benchmark::State& state) {
    compareBenchmark(state, [] { return Variant(42); });
}
void BM_ComparePointer(benchmark::State& state) {
    compareBenchmark(state, [] { return Variant(&g_node); });
}
void BM_CompareString(benchmark::State& state) {
    compareBenchmark(state, [] { return Variant(std::string(64, 's')); });
}
void BM_CompareMatrix(benchmark::State& state) {
    compareBenchmark(state, [] { return Variant(Kor::Matrix()); });
}
void BM_CompareDifferentTypes(benchmark::State& state) {
    const Variant a(42);
    const Variant b(42.0);
    for (auto _ : state)
        benchmark::DoNotOptimize(a == b);
}

template <class MakeValue>
void hashBenchmark(benchmark::State& state, MakeValue make) {
    const Variant value = make();
    AllocationCounter counter(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(value.hash());
}

void BM_HashInt(benchmark::State& state) {
    hashBenchmark(state, [] { return Variant(42); });
}
void BM_HashPointer(benchmark::State& state) {
    hashBenchmark(state, [] { return Variant(&g_node); });
}
void BM_HashString(benchmark::State& state) {
    hashBenchmark(state, [] { return Variant(std::string(64, 's')); });
}
void BM_HashVector3(benchmark::State& state) {
    hashBenchmark(state, [] { return Variant(Kor::Vector3(1, 2, 3)); });
}

template <class T>
void readBenchmark(benchmark::State& state, const Variant& value) {
    AllocationCounter counter(state);
    for (auto _ : state) {
        T out{};
        benchmark::DoNotOptimize(value.tryCast(out));
        benchmark::DoNotOptimize(out);
    }
}

void BM_ReadExactInt(benchmark::State& state) { readBenchmark<int>(state, Variant(42)); }
void BM_ReadPointer(benchmark::State& state) { readBenchmark<const Node*>(state, Variant(&g_node)); }
void BM_ReadConvertedIntToDouble(benchmark::State& state) { readBenchmark<double>(state, Variant(42)); }
void BM_ReadConvertedDoubleToInt(benchmark::State& state) { readBenchmark<int>(state, Variant(42.5)); }
void BM_ReadConvertedInt64ToUint8(benchmark::State& state) {
    readBenchmark<uint8_t>(state, Variant(int64_t(200)));
}
void BM_ReadConvertedStringToInt(benchmark::State& state) {
    readBenchmark<int>(state, Variant(std::string("12345")));
}
void BM_ReadConvertedIntToString(benchmark::State& state) {
    readBenchmark<std::string>(state, Variant(12345));
}
void BM_ReadConvertedPointerToAddress(benchmark::State& state) {
    readBenchmark<const void*>(state, Variant(&g_node));
}
void BM_CastPtrString(benchmark::State& state) {
    const Variant value(std::string("text"));
    for (auto _ : state)
        benchmark::DoNotOptimize(value.castPtr<std::string>());
}

} // namespace

BENCHMARK(BM_CopyInt);
BENCHMARK(BM_CopyDouble);
BENCHMARK(BM_CopyPointer);
BENCHMARK(BM_CopyConstPointer);
BENCHMARK(BM_CopySharedPtr);
BENCHMARK(BM_CopyVector3);
BENCHMARK(BM_CopyString);
BENCHMARK(BM_CopyMatrix);
BENCHMARK(BM_StdAnyCopyString);
BENCHMARK(BM_CopyAndWriteString);
BENCHMARK(BM_CompareInt);
BENCHMARK(BM_ComparePointer);
BENCHMARK(BM_CompareString);
BENCHMARK(BM_CompareMatrix);
BENCHMARK(BM_CompareDifferentTypes);
BENCHMARK(BM_HashInt);
BENCHMARK(BM_HashPointer);
BENCHMARK(BM_HashString);
BENCHMARK(BM_HashVector3);
BENCHMARK(BM_ReadExactInt);
BENCHMARK(BM_ReadPointer);
BENCHMARK(BM_ReadConvertedIntToDouble);
BENCHMARK(BM_ReadConvertedDoubleToInt);
BENCHMARK(BM_ReadConvertedInt64ToUint8);
BENCHMARK(BM_ReadConvertedStringToInt);
BENCHMARK(BM_ReadConvertedIntToString);
BENCHMARK(BM_ReadConvertedPointerToAddress);
BENCHMARK(BM_CastPtrString);
