// A panel over many selected objects: 100 and 1,000 objects of a declared
// type with 20 float properties each.
//
//   build_read      build the combined object and read every combined value
//   read_one_by_one read the same properties one by one, each through a
//                   handle made for it (the panel of one object, for each)
//   write_combined  write one combined property (every object written)
//   write_single    the same writes as single writes inside one notify scope
//
// Times are per property read (the first two) and per object written (the
// last two), so that linear growth shows as equal times at both sizes. The
// targets: build_read within 2x of read_one_by_one, write_combined within
// 1.5x of write_single.

#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/multi_selection/multi_selection.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include "bench/support/allocation_counter.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

namespace bench {

struct Fixture {
    std::array<float, 20> values{};
};

} // namespace bench

template <>
struct orv::TypeDeclaration<bench::Fixture> {
    static void declare(orv::Builder<bench::Fixture>& type) {
        for (size_t i = 0; i < std::tuple_size_v<decltype(bench::Fixture::values)>; ++i)
            type.property(
                "value" + std::to_string(i), [i](const bench::Fixture* f) { return f->values[i]; },
                [i](bench::Fixture* f, float value) { f->values[i] = value; });
    }
};

namespace {

using bench::AllocationCounter;
using bench::Fixture;
constexpr size_t s_properties = std::tuple_size_v<decltype(Fixture::values)>;

// Equal values: a differing one would let the default reduce map stop
// reading early.
std::vector<Fixture> fixtures(benchmark::State& state) {
    std::vector<Fixture> objects(size_t(state.range(0)));
    for (Fixture& object : objects)
        object.values.fill(1.0f);
    return objects;
}

std::vector<orv::ReflectedObject> reflected(std::vector<Fixture>& objects) {
    std::vector<orv::ReflectedObject> result;
    for (Fixture& object : objects)
        result.push_back(orv::reflect(object));
    return result;
}

void buildRead(benchmark::State& state) {
    std::vector<Fixture> objects = fixtures(state);
    const std::vector<orv::ReflectedObject> handles = reflected(objects);
    const AllocationCounter allocations(state);
    for (auto _ : state) {
        orv::MultiSelection selection;
        for (const orv::ReflectedObject& object : handles)
            selection.merge(object);
        const orv::ReflectedObject combined = selection.object();
        for (size_t i = 0, n = combined.propertyCount(); i < n; ++i)
            benchmark::DoNotOptimize(combined.propertyAt(i).get());
    }
    state.counters["ops"] = double(objects.size() * s_properties);
}

void readOneByOne(benchmark::State& state) {
    std::vector<Fixture> objects = fixtures(state);
    const std::vector<orv::ReflectedObject> handles = reflected(objects);
    const AllocationCounter allocations(state);
    for (auto _ : state)
        for (const orv::ReflectedObject& object : handles)
            for (size_t i = 0; i < s_properties; ++i)
                benchmark::DoNotOptimize(object.propertyAt(i).get());
    state.counters["ops"] = double(objects.size() * s_properties);
}

void writeCombined(benchmark::State& state) {
    std::vector<Fixture> objects = fixtures(state);
    orv::MultiSelection selection;
    for (const orv::ReflectedObject& object : reflected(objects))
        selection.merge(object);
    const orv::BoundProperty first = selection.object().findPropertyByName("value0");
    float value = 0;
    const AllocationCounter allocations(state);
    for (auto _ : state)
        first.set(value += 1);
    if (objects.back().values[0] != value)
        state.SkipWithError("the combined write did not reach every object");
    state.counters["ops"] = double(objects.size());
}

void writeSingle(benchmark::State& state) {
    std::vector<Fixture> objects = fixtures(state);
    std::vector<orv::BoundProperty> properties;
    for (const orv::ReflectedObject& object : reflected(objects))
        properties.push_back(object.findPropertyByName("value0"));
    float value = 0;
    const AllocationCounter allocations(state);
    for (auto _ : state) {
        const orv::NotifyScope scope;
        value += 1;
        for (const orv::BoundProperty& property : properties)
            property.set(value);
    }
    state.counters["ops"] = double(objects.size());
}

} // namespace

BENCHMARK(buildRead)->Name("multi_selection/build_read")->Arg(100)->Arg(1000);
BENCHMARK(readOneByOne)->Name("multi_selection/read_one_by_one")->Arg(100)->Arg(1000);
BENCHMARK(writeCombined)->Name("multi_selection/write_combined")->Arg(100)->Arg(1000);
BENCHMARK(writeSingle)->Name("multi_selection/write_single")->Arg(100)->Arg(1000);
