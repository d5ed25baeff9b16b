// Property sheets built at run time, as they grow: the cost per operation of
// adding properties to a generic object, finding them by key, reading them
// and removing them from the middle, at 100, 1,000 and 10,000 properties;
// and inserting at the front of a 10,000-element collection through the
// library ("ours") and as a plain std::vector insert ("direct").
//
// Finding must not grow with the object (the key index is hashed), and a
// removal must move only the properties' pointers, never their values: the
// values here count their copies, and a benchmark that made one fails.

#include "platform/variant/meta_type.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/collection_meta_object.hpp"
#include "shared_libs/reflection/generic_object.hpp"

#include "bench/support/allocation_counter.hpp"
#include "bench/support/transform.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace bench {

// A property value that counts its copies. Too big to live inside a
// Variant, so Variants share one copy of it.
struct Payload {
    Payload() = default;
    explicit Payload(size_t i) : text("value of property " + std::to_string(i)) {}
    Payload(const Payload& other) : text(other.text) { ++copies; }
    Payload& operator=(const Payload& other) {
        text = other.text;
        ++copies;
        return *this;
    }
    bool operator==(const Payload& other) const { return text == other.text; }

    std::string text;
    static inline size_t copies = 0;
};

} // namespace bench

namespace {

using bench::AllocationCounter;
using bench::Payload;
constexpr size_t END = orv::MetaObject::INVALID_INDEX;

const tavi::MetaType* const s_payloadType = tavi::MetaType::registerType<Payload>("Payload");

struct Sheet {
    std::vector<tavi::Variant> keys;
    std::vector<tavi::Variant> values;

    explicit Sheet(size_t size) {
        for (size_t i = 0; i < size; ++i) {
            keys.emplace_back(std::string("property") + std::to_string(i));
            values.emplace_back(Payload(i));
        }
    }

    std::unique_ptr<orv::GenericObject> build() const {
        auto object = std::make_unique<orv::GenericObject>();
        for (size_t i = 0; i < keys.size(); ++i)
            object->addProperty(keys[i], END, values[i]);
        return object;
    }
};

// Allocations of the timed parts only, for cases that pause to rebuild.
class TimedAllocations {
public:
    explicit TimedAllocations(benchmark::State& state) : m_state(state) {}
    ~TimedAllocations() {
        const double iterations = double(m_state.iterations() ? m_state.iterations() : 1);
        m_state.counters["allocs"] = double(m_total) / iterations;
    }
    // Runs `work`, counting what it allocates.
    template <class F>
    decltype(auto) count(F&& work) {
        struct Stop {
            TimedAllocations& self;
            size_t start = bench::allocationCount();
            ~Stop() { self.m_total += bench::allocationCount() - start; }
        } stop{*this};
        return work();
    }

private:
    benchmark::State& m_state;
    size_t m_total = 0;
};

// Runs `work` with the clock stopped: the rebuilding and tearing down
// between timed parts.
template <class F>
decltype(auto) untimed(benchmark::State& state, F&& work) {
    state.PauseTiming();
    struct Resume {
        benchmark::State& state;
        ~Resume() { state.ResumeTiming(); }
    } resume{state};
    return work();
}

void checkNoCopies(benchmark::State& state, size_t before) {
    if (Payload::copies != before)
        state.SkipWithError("a property value was copied");
}

// --- generic objects -----------------------------------------------------------------

// Adding to an object that grows from empty to the size.
void genericAdd(benchmark::State& state) {
    const Sheet sheet(size_t(state.range(0)));
    state.counters[bench::OPS_COUNTER] = double(sheet.keys.size());
    const size_t copies = Payload::copies;
    TimedAllocations allocations(state);
    for (auto _ : state) {
        std::unique_ptr<orv::GenericObject> object = allocations.count([&] { return sheet.build(); });
        untimed(state, [&] { object.reset(); });
    }
    checkNoCopies(state, copies);
}

// The keys looked up: a fixed number spread evenly through the object, in
// random order. The same number of properties is touched at every size, so
// what grows with the object is the lookup itself, not the caches missed on
// ten thousand properties scattered through memory.
std::vector<tavi::Variant> lookups(const Sheet& sheet) {
    constexpr size_t COUNT = 64;
    std::vector<tavi::Variant> keys;
    for (size_t i = 0; i < COUNT; ++i)
        keys.push_back(sheet.keys[i * sheet.keys.size() / COUNT]);
    std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
    return keys;
}

// The handle of the property with a key.
void genericFind(benchmark::State& state) {
    const Sheet sheet(size_t(state.range(0)));
    const std::unique_ptr<orv::GenericObject> object = sheet.build();
    const std::vector<tavi::Variant> keys = lookups(sheet);
    size_t next = 0;
    AllocationCounter counter(state);
    for (auto _ : state) {
        orv::BoundProperty property = object->findProperty(keys[next]);
        benchmark::DoNotOptimize(property);
        next = next + 1 == keys.size() ? 0 : next + 1;
    }
}

// The position of a key alone: the hashed lookup.
void genericIndexOf(benchmark::State& state) {
    const Sheet sheet(size_t(state.range(0)));
    const std::unique_ptr<orv::GenericObject> object = sheet.build();
    const std::vector<tavi::Variant> keys = lookups(sheet);
    size_t next = 0;
    AllocationCounter counter(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(object->indexOfProperty(keys[next]));
        next = next + 1 == keys.size() ? 0 : next + 1;
    }
    counter.requireNone("looking a key up allocated");
}

// Reading every property in turn through handles made once.
void genericRead(benchmark::State& state) {
    const Sheet sheet(size_t(state.range(0)));
    const std::unique_ptr<orv::GenericObject> object = sheet.build();
    std::vector<orv::BoundProperty> handles;
    for (size_t i = 0; i < object->propertyCount(); ++i)
        handles.push_back(object->propertyAt(i));
    const size_t copies = Payload::copies;
    size_t next = 0;
    AllocationCounter counter(state);
    for (auto _ : state) {
        tavi::Variant value = handles[next].get();
        benchmark::DoNotOptimize(value);
        next = next + 1 == handles.size() ? 0 : next + 1;
    }
    checkNoCopies(state, copies);
}

// Removing the middle property, again and again, until half are gone.
void genericRemoveMiddle(benchmark::State& state) {
    const Sheet sheet(size_t(state.range(0)));
    const size_t removals = sheet.keys.size() / 2;
    state.counters[bench::OPS_COUNTER] = double(removals);
    const size_t copies = Payload::copies;
    TimedAllocations allocations(state);
    for (auto _ : state) {
        std::unique_ptr<orv::GenericObject> object = untimed(state, [&] { return sheet.build(); });
        allocations.count([&] {
            for (size_t i = 0; i < removals; ++i)
                object->removePropertyAt(object->propertyCount() / 2);
        });
        untimed(state, [&] { object.reset(); });
    }
    checkNoCopies(state, copies);
}

// --- collections -------------------------------------------------------------------------

constexpr size_t LIST_SIZE = 10000;
constexpr size_t INSERTS = 200;

void directInsertFront(benchmark::State& state) {
    state.counters[bench::OPS_COUNTER] = double(INSERTS);
    std::vector<tavi::Variant> list(LIST_SIZE, tavi::Variant(1.5f));
    const tavi::Variant element(2.5f);
    TimedAllocations allocations(state);
    for (auto _ : state) {
        allocations.count([&] {
            for (size_t i = 0; i < INSERTS; ++i)
                list.insert(list.begin(), element);
        });
        untimed(state, [&] { list.resize(LIST_SIZE); });
        benchmark::DoNotOptimize(list.data());
    }
}

// Through the handle of the list: announced, and its context kept in step.
void oursInsertFront(benchmark::State& state) {
    state.counters[bench::OPS_COUNTER] = double(INSERTS);
    std::vector<tavi::Variant> list(LIST_SIZE, tavi::Variant(1.5f));
    const orv::ReflectedObject object{tavi::Variant(&list)};
    if (!object.isValid())
        state.SkipWithError("the list is not reflected");
    const tavi::Variant front(size_t(0));
    const tavi::Variant element(2.5f);
    TimedAllocations allocations(state);
    for (auto _ : state) {
        allocations.count([&] {
            for (size_t i = 0; i < INSERTS; ++i)
                benchmark::DoNotOptimize(object.addProperty(front, element));
        });
        untimed(state, [&] {
            while (list.size() > LIST_SIZE)
                object.removePropertyAt(list.size() - 1);
        });
    }
}

} // namespace

BENCHMARK(genericAdd)->Name("generic_object/add")->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(genericFind)->Name("generic_object/find")->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(genericIndexOf)->Name("generic_object/index_of")->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(genericRead)->Name("generic_object/read")->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(genericRemoveMiddle)->Name("generic_object/remove_middle")->Arg(100)->Arg(1000)->Arg(10000);
BENCHMARK(directInsertFront)->Name("collection_insert_front/direct");
BENCHMARK(oursInsertFront)->Name("collection_insert_front/ours");
