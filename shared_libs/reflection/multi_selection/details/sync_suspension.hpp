#pragma once
// While one lives on a thread, no multi-selection on that thread brings its
// combined properties up to date: the multi-selection's own rebuilding (and
// the building of its nested selections) looks properties up without
// triggering a merge half-way.

#include <cstddef>

namespace orv::multi_selection_details {

class SyncSuspension {
public:
    SyncSuspension() noexcept;
    ~SyncSuspension();
    SyncSuspension(const SyncSuspension&) = delete;
    SyncSuspension& operator=(const SyncSuspension&) = delete;

    [[nodiscard]] static bool active() noexcept;
};

} // namespace orv::multi_selection_details
