// Object trackers over one flat object with many properties: building the
// tree once, and following properties inserted one by one at the front
// (the worst place: every later child moves). Each runs at 1,000 and 10,000
// properties so that the growth with the object's size shows; the insertion
// also runs without a tracker, for the share of the object's own
// bookkeeping. Times per property ("ops" per iteration).

#include "shared_libs/reflection/object_tracker.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include "bench/support/allocation_counter.hpp"
#include "bench/support/transform.hpp"
#include "tests/support/object_fixtures.hpp"

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using orv::test::NodeMetaObject;
using Properties = NodeMetaObject::Properties;

constexpr size_t INSERTED = 1000;

// One node whose meta object (registered while it lives) has a list of
// plain int properties that can grow and shrink.
struct FlatObject {
    explicit FlatObject(size_t count) { meta.setProperties(make(count, "p")); }

    Properties make(size_t count, const std::string& prefix) {
        Properties properties;
        properties.reserve(count);
        for (size_t i = 0; i < count; ++i)
            properties.push_back(
                orv::test::dataProperty(&meta, prefix + std::to_string(i), typeid(int),
                                        [i](const orv::BoundProperty&) { return tavi::Variant(int(i)); }));
        return properties;
    }
    orv::ReflectedObject object() { return orv::ReflectedObject(tavi::Variant(&node)); }

    NodeMetaObject meta;
    orv::test::Registration registration{meta};
    orv::test::Node node;
};

void setOps(benchmark::State& state, size_t ops) {
    state.counters[bench::OPS_COUNTER] = double(ops);
    state.SetItemsProcessed(int64_t(state.iterations() * ops));
}

void trackerBuild(benchmark::State& state) {
    const size_t count = size_t(state.range(0));
    FlatObject flat(count);
    const orv::ReflectedObject object = flat.object();
    std::optional<orv::BaseObjectTrackerItem> tracker;
    {
        bench::AllocationCounter counter(state);
        for (auto _ : state) {
            tracker.emplace();
            tracker->setObject(object);
            state.PauseTiming();
            if (tracker->children().size() != count)
                state.SkipWithError("not one child per property");
            tracker.reset();
            state.ResumeTiming();
        }
    }
    setOps(state, count);
}

// `tracked`: with a tracker following the object, else the object alone.
void insertAtFront(benchmark::State& state, bool tracked) {
    const size_t count = size_t(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto flat = std::make_unique<FlatObject>(count);
        const orv::ReflectedObject object = flat->object();
        const Properties added = flat->make(INSERTED, "new");
        std::optional<orv::BaseObjectTrackerItem> tracker;
        if (tracked) {
            tracker.emplace();
            tracker->setObject(object);
        }
        state.ResumeTiming();
        for (const auto& property : added)
            flat->meta.insertProperties(0, {property});
        state.PauseTiming();
        if (tracker && (tracker->children().size() != count + INSERTED ||
                        tracker->children().front()->property().name() != "new999"))
            state.SkipWithError("the tracker did not follow");
        tracker.reset();
        flat.reset();
        state.ResumeTiming();
    }
    setOps(state, INSERTED);
}

void trackerInsertAtFront(benchmark::State& state) { insertAtFront(state, true); }
void untrackedInsertAtFront(benchmark::State& state) { insertAtFront(state, false); }

} // namespace

BENCHMARK(trackerBuild)->Name("object_tracker/build")->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(trackerInsertAtFront)
    ->Name("object_tracker/insert_at_front")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(untrackedInsertAtFront)
    ->Name("object_tracker/insert_at_front_untracked")
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond);
