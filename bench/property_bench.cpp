// Side-by-side cases, our half: the everyday operations of an editor on one
// reflected instance, each measured through this library ("ours") and as
// plain C++ ("direct", where a plain equivalent exists). rttr_property_bench
// and qt_property_bench run the same cases through the peers, under the same
// names "<case>/<implementation>", so that make_results.py can line them up.
// The counter "allocs" is heap allocations per iteration, "ops" the number of
// operations one iteration makes (when it is not one).

#include "orv_cpp_utils/signal.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include "bench/support/allocation_counter.hpp"
#include "bench/support/transform.hpp"

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <vector>

template <>
struct orv::TypeDeclaration<bench::Transform> {
    static constexpr const char* name = "Transform";
    static void declare(orv::Builder<bench::Transform>& type) {
        type.property("x", &bench::Transform::x)
            .property("y", &bench::Transform::y)
            .property("z", &bench::Transform::z)
            .property("name", &bench::Transform::name)
            .property("count", &bench::Transform::getCount, &bench::Transform::setCount)
            .method("length", &bench::Transform::length);
    }
};

namespace {

using bench::AllocationCounter;
using bench::alternating;
using bench::Transform;

// One instance and a handle to it. Connections made through it end with it:
// the per-object slots are keyed by address, and the next fixture may well
// get the same address.
struct Reflected {
    Transform transform;
    orv::ReflectedObject object = orv::reflect(transform);
    std::vector<zel::ScopedConnection> connections;

    orv::BoundProperty property(const char* name, benchmark::State& state) const {
        orv::BoundProperty p = object.findPropertyByName(name);
        if (!p.isValid())
            state.SkipWithError("property not found");
        return p;
    }
};

void requireEqual(benchmark::State& state, bool equal, const char* what) {
    if (!equal)
        state.SkipWithError(what);
}

// For the plain C++ cases: the compiler must assume the object was read and
// changed here, so it neither keeps its fields in registers across
// iterations nor drops stores to them. (Passing its address once is not
// enough: GCC then still folds the reads of a local object away.)
void touch(Transform& t) { benchmark::DoNotOptimize(t); }

// --- reads ---

void directReadFloat(benchmark::State& state) {
    Transform t;
    AllocationCounter counter(state);
    for (auto _ : state) {
        // GCC hands the field's own memory to DoNotOptimize and emits no
        // load at all; a volatile read is one real load per iteration.
        float value = static_cast<volatile const float&>(t.x);
        benchmark::DoNotOptimize(value);
    }
}

void oursReadFloat(benchmark::State& state) {
    Reflected r;
    const orv::BoundProperty x = r.property("x", state);
    requireEqual(state, x.get() == tavi::Variant(1.0f), "read a wrong value");
    AllocationCounter counter(state);
    for (auto _ : state) {
        tavi::Variant value = x.get();
        benchmark::DoNotOptimize(value);
    }
}

void directReadString(benchmark::State& state) {
    Transform t;
    AllocationCounter counter(state);
    for (auto _ : state) {
        touch(t);
        std::string value = t.name;
        benchmark::DoNotOptimize(value);
    }
}

void oursReadString(benchmark::State& state) {
    Reflected r;
    const orv::BoundProperty name = r.property("name", state);
    requireEqual(state, name.get() == tavi::Variant(std::string("Camera")), "read a wrong value");
    AllocationCounter counter(state);
    for (auto _ : state) {
        tavi::Variant value = name.get();
        benchmark::DoNotOptimize(value);
    }
}

// --- writes through a handle made once ---

void directWriteFloat(benchmark::State& state) {
    Transform t;
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state) {
        t.x = alternating(i++);
        touch(t);
    }
}

void oursWriteFloat(benchmark::State& state) {
    Reflected r;
    const orv::BoundProperty x = r.property("x", state);
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(x.set(tavi::Variant(alternating(i++))));
    requireEqual(state, r.transform.x == alternating(i - 1), "the write did not arrive");
}

// The plain equivalent of a property with a listener: a setter that calls
// one callback.
void directWriteFloatSlot(benchmark::State& state) {
    Transform t;
    int calls = 0;
    const std::function<void(const Transform&)> changed = [&calls](const Transform&) { ++calls; };
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state) {
        t.x = alternating(i++);
        touch(t);
        changed(t);
        benchmark::DoNotOptimize(calls);
    }
}

void oursWriteFloatSlot(benchmark::State& state) {
    Reflected r;
    const orv::BoundProperty x = r.property("x", state);
    size_t calls = 0;
    r.connections.emplace_back(x.connectPropertyChanged([&calls](const orv::BoundProperty&) { ++calls; }));
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(x.set(tavi::Variant(alternating(i++))));
    requireEqual(state, calls == i, "the slot was not called once per write");
}

// Every write inside one open transaction: the first records the old value,
// the others find it recorded (a gizmo drag).
void oursWriteFloatUndo(benchmark::State& state) {
    Reflected r;
    const orv::BoundProperty x = r.property("x", state);
    Kor::UndoHistory history;
    {
        Kor::CommitChangesScope transaction(history);
        AllocationCounter counter(state);
        size_t i = 0;
        for (auto _ : state)
            benchmark::DoNotOptimize(x.set(tavi::Variant(alternating(i++))));
    }
    requireEqual(state, history.undoCount() == 1, "the transaction recorded nothing");
}

// Every write its own transaction and undo entry. The history is emptied now
// and then inside the timing: destroying entries is part of their cost.
void oursWriteFloatCommit(benchmark::State& state) {
    Reflected r;
    const orv::BoundProperty x = r.property("x", state);
    Kor::UndoHistory history;
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state) {
        {
            Kor::CommitChangesScope transaction(history);
            x.set(tavi::Variant(alternating(i++)));
        }
        if ((i & 255) == 0)
            history.clear();
    }
    requireEqual(state, history.undoCount() == (i & 255), "not one undo entry per write");
}

// --- look up by name, then write ---

void oursWriteByName(benchmark::State& state) {
    Reflected r;
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(r.object.findPropertyByName("x").set(tavi::Variant(alternating(i++))));
    requireEqual(state, r.transform.x == alternating(i - 1), "the write did not arrive");
}

void oursWriteByNameSlot(benchmark::State& state) {
    Reflected r;
    size_t calls = 0;
    r.connections.emplace_back(
        r.property("x", state).connectPropertyChanged([&calls](const orv::BoundProperty&) { ++calls; }));
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(r.object.findPropertyByName("x").set(tavi::Variant(alternating(i++))));
    requireEqual(state, calls == i, "the slot was not called once per write");
}

// --- calls ---

void directInvoke(benchmark::State& state) {
    Transform t;
    float scale = 2.0f;
    AllocationCounter counter(state);
    for (auto _ : state) {
        touch(t);
        benchmark::DoNotOptimize(scale);
        float result = t.length(scale);
        benchmark::DoNotOptimize(result);
    }
}

void oursInvoke(benchmark::State& state) {
    Reflected r;
    const orv::BoundProperty length = r.property("length", state);
    const tavi::Variant arguments[] = {tavi::Variant(2.0f)};
    requireEqual(state, length.genericInvoke({}, 1, arguments) == tavi::Variant(r.transform.length(2.0f)),
                 "the call gave a wrong result");
    AllocationCounter counter(state);
    for (auto _ : state) {
        tavi::Variant result = length.genericInvoke({}, 1, arguments);
        benchmark::DoNotOptimize(result);
    }
}

// --- every property of an instance ---

void directEnumerate(benchmark::State& state) {
    Transform t;
    AllocationCounter counter(state);
    for (auto _ : state) {
        touch(t);
        float x = t.x, y = t.y, z = t.z;
        std::string name = t.name;
        int count = t.getCount();
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
        benchmark::DoNotOptimize(z);
        benchmark::DoNotOptimize(name);
        benchmark::DoNotOptimize(count);
    }
}

// What a property panel does: every data property, skipping methods.
void oursEnumerate(benchmark::State& state) {
    Reflected r;
    size_t read = 0;
    for (const orv::BoundProperty& p : r.object.properties())
        read += p.isMethod() ? 0 : !p.get().isVoid();
    requireEqual(state, read == 5, "not five readable properties");
    AllocationCounter counter(state);
    for (auto _ : state) {
        for (const orv::BoundProperty& p : r.object.properties()) {
            if (p.isMethod())
                continue;
            tavi::Variant value = p.get();
            benchmark::DoNotOptimize(value);
        }
    }
}

// --- signals ---

void directEmit(benchmark::State& state) {
    float sum = 0;
    const std::function<void(float)> slot = [&sum](float value) { sum += value; };
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state) {
        slot(alternating(i++));
        benchmark::DoNotOptimize(sum);
    }
}

void oursEmit(benchmark::State& state) {
    zel::FuzzySignal<void(float)> changed;
    float sum = 0;
    const zel::ScopedConnection connection = changed.connect([&sum](float value) { sum += value; });
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state) {
        changed(alternating(i++));
        benchmark::DoNotOptimize(sum);
    }
}

// The property's own changed notification, announced and delivered by one
// notify scope, as every write path does it.
void oursNotifyChanged(benchmark::State& state) {
    Reflected r;
    const orv::BoundProperty x = r.property("x", state);
    size_t calls = 0;
    r.connections.emplace_back(x.connectPropertyChanged([&calls](const orv::BoundProperty&) { ++calls; }));
    AllocationCounter counter(state);
    size_t i = 0;
    for (auto _ : state) {
        const orv::PropertyChangeNotifier notifier(x, {}, orv::NotifyFlag::Value);
        ++i;
    }
    requireEqual(state, calls == i, "the slot was not called once per notification");
}

// --- a multi-step edit: many writes, one notification ---

constexpr int EDIT_STEPS = 100;

void directMultiEdit(benchmark::State& state) {
    state.counters[bench::OPS_COUNTER] = EDIT_STEPS; // before counting: inserting allocates
    Transform t;
    int calls = 0;
    const std::function<void(const Transform&)> changed = [&calls](const Transform&) { ++calls; };
    AllocationCounter counter(state);
    for (auto _ : state) {
        for (int k = 0; k < EDIT_STEPS; ++k) {
            t.x = alternating(size_t(k));
            touch(t);
        }
        changed(t);
        benchmark::DoNotOptimize(calls);
    }
}

void oursMultiEdit(benchmark::State& state) {
    state.counters[bench::OPS_COUNTER] = EDIT_STEPS; // before counting: inserting allocates
    Reflected r;
    const orv::BoundProperty x = r.property("x", state);
    size_t calls = 0;
    r.connections.emplace_back(x.connectPropertyChanged([&calls](const orv::BoundProperty&) { ++calls; }));
    AllocationCounter counter(state);
    size_t iterations = 0;
    for (auto _ : state) {
        const orv::NotifyScope scope;
        for (int k = 0; k < EDIT_STEPS; ++k)
            benchmark::DoNotOptimize(x.set(tavi::Variant(alternating(size_t(k)))));
        ++iterations;
    }
    requireEqual(state, calls == iterations, "the slot was not called once per edit");
}

BENCHMARK(directReadFloat)->Name("read_float/direct");
BENCHMARK(oursReadFloat)->Name("read_float/ours");
BENCHMARK(directReadString)->Name("read_string/direct");
BENCHMARK(oursReadString)->Name("read_string/ours");
BENCHMARK(directWriteFloat)->Name("write_float/direct");
BENCHMARK(oursWriteFloat)->Name("write_float/ours");
BENCHMARK(directWriteFloatSlot)->Name("write_float_slot/direct");
BENCHMARK(oursWriteFloatSlot)->Name("write_float_slot/ours");
BENCHMARK(oursWriteFloatUndo)->Name("write_float_undo/ours");
BENCHMARK(oursWriteFloatCommit)->Name("write_float_commit/ours");
BENCHMARK(oursWriteByName)->Name("write_by_name/ours");
BENCHMARK(oursWriteByNameSlot)->Name("write_by_name_slot/ours");
BENCHMARK(directInvoke)->Name("invoke/direct");
BENCHMARK(oursInvoke)->Name("invoke/ours");
BENCHMARK(directEnumerate)->Name("enumerate_read/direct");
BENCHMARK(oursEnumerate)->Name("enumerate_read/ours");
BENCHMARK(directEmit)->Name("emit_signal/direct");
BENCHMARK(oursEmit)->Name("emit_signal/ours");
BENCHMARK(oursNotifyChanged)->Name("notify_changed/ours");
BENCHMARK(directMultiEdit)->Name("multi_edit/direct");
BENCHMARK(oursMultiEdit)->Name("multi_edit/ours");

} // namespace
