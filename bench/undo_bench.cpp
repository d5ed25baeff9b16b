// Undo and redo of one recorded write, with the property at the end of a
// path of one key (a property of the root object) and of four keys (three
// held objects below the root). Each undo and each redo walks the path from
// the root again, writes through the ordinary write path inside the notify
// brackets, and records the opposite command (searching the property's path
// anew) into an entry of its own. One iteration is one undo plus one redo.

#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include "bench/support/allocation_counter.hpp"

#include <benchmark/benchmark.h>

#include <array>

namespace bench {

// One link of a chain of objects, each holding the next.
struct Link {
    float x = 1.0f;
    Link* next = nullptr;
};

} // namespace bench

template <>
struct orv::TypeDeclaration<bench::Link> {
    static constexpr const char* name = "Link";
    static void declare(orv::Builder<bench::Link>& type) {
        type.property("x", &bench::Link::x).property("next", [](const bench::Link* link) {
            return link->next;
        });
    }
};

namespace {

void oursUndoRedo(benchmark::State& state, const char* path, int linkOfProperty) {
    std::array<bench::Link, 4> links;
    for (size_t i = 0; i + 1 < links.size(); ++i)
        links[i].next = &links[i + 1];
    const orv::ReflectedObject root = orv::reflect(links[0]);
    const orv::BoundProperty x = root.findPropertyByName(path);
    Kor::UndoHistory history;
    {
        Kor::CommitChangesScope edit(history, "edit");
        if (!x.set(2.5f))
            state.SkipWithError("the write failed");
    }
    bench::AllocationCounter counter(state);
    for (auto _ : state) {
        history.undo();
        history.redo();
    }
    if (links[size_t(linkOfProperty)].x != 2.5f || history.undoCount() != 1 || history.canRedo())
        state.SkipWithError("undo and redo did not restore the write");
}

BENCHMARK_CAPTURE(oursUndoRedo, depth1, "x", 0)->Name("undo_redo_depth1/ours");
BENCHMARK_CAPTURE(oursUndoRedo, depth4, "next.next.next.x", 3)->Name("undo_redo_depth4/ours");

} // namespace
