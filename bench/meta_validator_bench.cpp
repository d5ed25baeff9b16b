// A validated write against an unvalidated one: the same float property
// type written through a handle made once, with and without a range
// validator, and the validator's three outcomes (inside the slider range,
// past it so that it widens, past the hard limit so that it clamps), and a
// range probe.

#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_validator.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include "bench/support/allocation_counter.hpp"
#include "bench/support/transform.hpp"

#include <benchmark/benchmark.h>

namespace bench_validator {

struct Lamp {
    float plain = 1;
    float ranged = 1;
};

} // namespace bench_validator

template <>
struct orv::TypeDeclaration<bench_validator::Lamp> {
    static constexpr const char* name = "Lamp";
    static void declare(orv::Builder<bench_validator::Lamp>& type) {
        using Meta::Validator;
        type.property("plain", &bench_validator::Lamp::plain)
            .property("ranged", &bench_validator::Lamp::ranged,
                      Meta::MinMax(Validator::between(0.0f, 10.0f), Validator::between(0.0f, 100.0f)));
    }
};

namespace {

using bench_validator::Lamp;

// Writes `first` and `second` in turn to `name`; `expected` is what the
// validator makes of `second`.
void write(benchmark::State& state, const char* name, float first, float second, float expected) {
    Lamp lamp;
    const orv::BoundProperty property = orv::reflect(lamp).findPropertyByName(name);
    bench::AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(property.set(tavi::Variant((i++ & 1) ? first : second)));
    property.set(tavi::Variant(second));
    if (*property.get().castPtr<float>() != expected)
        state.SkipWithError("unexpected value written");
}

void unvalidated(benchmark::State& state) { write(state, "plain", 1.5f, 2.5f, 2.5f); }
void validatedInside(benchmark::State& state) { write(state, "ranged", 1.5f, 2.5f, 2.5f); }
void validatedWidening(benchmark::State& state) { write(state, "ranged", 35.0f, 75.0f, 75.0f); }
void validatedClamped(benchmark::State& state) { write(state, "ranged", 500.0f, 600.0f, 100.0f); }

void probe(benchmark::State& state) {
    Lamp lamp;
    lamp.ranged = 35;
    const orv::BoundProperty property = orv::reflect(lamp).findPropertyByName("ranged");
    bench::AllocationCounter counter(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(Meta::Validator::RangeProbe::query(property, {}, true));
}

} // namespace

BENCHMARK(unvalidated)->Name("validator/write_float_unvalidated");
BENCHMARK(validatedInside)->Name("validator/write_float_inside_range");
BENCHMARK(validatedWidening)->Name("validator/write_float_widening");
BENCHMARK(validatedClamped)->Name("validator/write_float_clamped");
BENCHMARK(probe)->Name("validator/probe_widened_range");
