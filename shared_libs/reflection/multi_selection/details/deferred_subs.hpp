#pragma once
// Sub-properties of a combined property kept without handles until one is
// asked for: property `index` of a run of consecutive objects of a batch.
// A selection rebuilt from a thousand objects of one class extends one run
// per combined property, instead of keeping a thousand object handles in
// each.

#include "shared_libs/reflection/reflected_object.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace orv::multi_selection_details {

// The objects one rebuild of a selection merged, in merge order; shared by
// the combined properties that keep sub-properties of them.
using ObjectBatch = std::vector<ReflectedObject>;

class DeferredSubs {
public:
    [[nodiscard]] bool empty() const noexcept { return m_runs.empty(); }
    [[nodiscard]] size_t size() const noexcept { return size(m_runs); }

    // Property `index` of the object at `position` of `batch`, after all
    // the others.
    // (The batch is taken as its filler holds it: a conversion would cost a
    // reference count per sub-property.)
    void append(const std::shared_ptr<ObjectBatch>& batch, size_t position, size_t index) {
        if (!m_runs.empty()) {
            Run& last = m_runs.back();
            if (last.batch.get() == batch.get() && last.index == index && last.end == position) {
                ++last.end;
                return;
            }
        }
        m_runs.push_back(Run{batch, position, position + 1, index});
    }

    // Hands each (object, index) to `f` in order, having forgotten them all
    // first (so `f` may append more).
    template <class F>
    void drain(F&& f) {
        const std::vector<Run> runs = std::exchange(m_runs, {});
        for (const Run& run : runs)
            for (size_t i = run.begin; i < run.end; ++i)
                f((*run.batch)[i], run.index);
    }

    // Forgets those whose object `drop` picks; true when it picked any.
    template <class Drop>
    bool removeIf(Drop&& drop) {
        const std::vector<Run> runs = std::exchange(m_runs, {});
        std::vector<Run> kept;
        for (const Run& run : runs) {
            size_t begin = run.begin;
            for (size_t i = run.begin; i < run.end; ++i) {
                if (!drop((*run.batch)[i]))
                    continue;
                if (begin < i)
                    kept.push_back(Run{run.batch, begin, i, run.index});
                begin = i + 1;
            }
            if (begin < run.end)
                kept.push_back(Run{run.batch, begin, run.end, run.index});
        }
        const bool removed = kept.size() != runs.size() || size(kept) != size(runs);
        m_runs = std::move(kept);
        return removed;
    }

private:
    struct Run {
        std::shared_ptr<const ObjectBatch> batch;
        size_t begin = 0;
        size_t end = 0;
        size_t index = 0;
    };

    static size_t size(const std::vector<Run>& runs) noexcept {
        size_t count = 0;
        for (const Run& run : runs)
            count += run.end - run.begin;
        return count;
    }

    std::vector<Run> m_runs;
};

} // namespace orv::multi_selection_details
