// Side-by-side cases through RTTR: the same Transform and the same case
// names as property_bench, under the implementation name "rttr". RTTR has no
// change signals, no batching and no undo, so those cases are absent.

#include "bench/support/allocation_counter.hpp"
#include "bench/support/transform.hpp"

#include <benchmark/benchmark.h>
#include <rttr/registration>
#include <rttr/type>

#include <string>

RTTR_REGISTRATION {
    using bench::Transform;
    rttr::registration::class_<Transform>("Transform")
        .property("x", &Transform::x)
        .property("y", &Transform::y)
        .property("z", &Transform::z)
        .property("name", &Transform::name)
        .property("count", &Transform::getCount, &Transform::setCount)
        .method("length", &Transform::length);
}

namespace {

using bench::AllocationCounter;
using bench::alternating;
using bench::Transform;

void requireEqual(benchmark::State& state, bool equal, const char* what) {
    if (!equal)
        state.SkipWithError(what);
}

rttr::property propertyOf(const char* name, benchmark::State& state) {
    const rttr::property p = rttr::type::get<Transform>().get_property(name);
    if (!p.is_valid())
        state.SkipWithError("property not found");
    return p;
}

void readFloat(benchmark::State& state) {
    Transform t;
    const rttr::instance instance(t);
    const rttr::property x = propertyOf("x", state);
    requireEqual(state, x.get_value(instance).get_value<float>() == 1.0f, "read a wrong value");
    AllocationCounter counter(state);
    for (auto _ : state) {
        rttr::variant value = x.get_value(instance);
        benchmark::DoNotOptimize(value);
    }
}

void readString(benchmark::State& state) {
    Transform t;
    const rttr::instance instance(t);
    const rttr::property name = propertyOf("name", state);
    requireEqual(state, name.get_value(instance).get_value<std::string>() == "Camera", "read a wrong value");
    AllocationCounter counter(state);
    for (auto _ : state) {
        rttr::variant value = name.get_value(instance);
        benchmark::DoNotOptimize(value);
    }
}

void writeFloat(benchmark::State& state) {
    Transform t;
    const rttr::instance instance(t);
    const rttr::property x = propertyOf("x", state);
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(x.set_value(instance, alternating(i++)));
    requireEqual(state, t.x == alternating(i - 1), "the write did not arrive");
}

void writeByName(benchmark::State& state) {
    Transform t;
    const rttr::instance instance(t);
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            rttr::type::get<Transform>().get_property("x").set_value(instance, alternating(i++)));
    requireEqual(state, t.x == alternating(i - 1), "the write did not arrive");
}

void invoke(benchmark::State& state) {
    Transform t;
    const rttr::instance instance(t);
    const rttr::method length = rttr::type::get<Transform>().get_method("length");
    const float scale = 2.0f;
    requireEqual(state, length.invoke(instance, scale).get_value<float>() == t.length(2.0f),
                 "the call gave a wrong result");
    AllocationCounter counter(state);
    for (auto _ : state) {
        rttr::variant result = length.invoke(instance, scale);
        benchmark::DoNotOptimize(result);
    }
}

void enumerate(benchmark::State& state) {
    Transform t;
    const rttr::instance instance(t);
    const rttr::type type = rttr::type::get<Transform>();
    size_t read = 0;
    for (const rttr::property& p : type.get_properties())
        read += p.get_value(instance).is_valid();
    requireEqual(state, read == 5, "not five readable properties");
    AllocationCounter counter(state);
    for (auto _ : state) {
        for (const rttr::property& p : type.get_properties()) {
            rttr::variant value = p.get_value(instance);
            benchmark::DoNotOptimize(value);
        }
    }
}

constexpr int EDIT_STEPS = 100;

void multiEdit(benchmark::State& state) {
    state.counters[bench::OPS_COUNTER] = EDIT_STEPS; // before counting: inserting allocates
    Transform t;
    const rttr::instance instance(t);
    const rttr::property x = propertyOf("x", state);
    AllocationCounter counter(state);
    for (auto _ : state)
        for (int k = 0; k < EDIT_STEPS; ++k)
            benchmark::DoNotOptimize(x.set_value(instance, alternating(size_t(k))));
}

BENCHMARK(readFloat)->Name("read_float/rttr");
BENCHMARK(readString)->Name("read_string/rttr");
BENCHMARK(writeFloat)->Name("write_float/rttr");
BENCHMARK(writeByName)->Name("write_by_name/rttr");
BENCHMARK(invoke)->Name("invoke/rttr");
BENCHMARK(enumerate)->Name("enumerate_read/rttr");
BENCHMARK(multiEdit)->Name("multi_edit/rttr");

} // namespace
