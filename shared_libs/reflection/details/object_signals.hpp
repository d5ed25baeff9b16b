#pragma once
// The structure signals of a reflected object and their slot types.

#include "orv_cpp_utils/signal.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/details/bound_property_convertor.hpp"
#include "shared_libs/reflection/details/notify_stack.hpp"

#include <cstddef>

namespace orv {

class ReflectedObject;

using ObjectDeletedSignal = zel::FuzzySignal<void(), BoundPropertyArgumentConvertor>;
// Structure about to change / changed, properties about to be reset / reset.
using ObjectSignal = zel::FuzzySignal<void(const ReflectedObject&), BoundPropertyArgumentConvertor>;
// Properties about to be added / added / about to be removed / removed: first index, count.
using PropertyRangeSignal =
    zel::FuzzySignal<void(const ReflectedObject&, size_t, size_t), BoundPropertyArgumentConvertor>;

using ObjectDeletedSlot = ObjectDeletedSignal::slot_type;
using ObjectSlot = ObjectSignal::slot_type;
using PropertyRangeSlot = PropertyRangeSignal::slot_type;

// The events of each signal kind, in the order their signals are kept.
enum class ObjectEvent : size_t {
    StructureAboutToBeChanged,
    StructureChanged,
    PropertiesAboutToBeReset,
    PropertiesReset
};
enum class PropertyRangeEvent : size_t {
    PropertyAboutToBeAdded,
    PropertyAdded,
    PropertyAboutToBeRemoved,
    PropertyRemoved
};

namespace object_signals_details {

// What tells one change event from another: which per-object map keeps its
// slots (`key`, where the maps are indexed) with the label and profiler
// scope of those slots; the members of the per-instance data that keep and
// raise its signal, and the operations named when an instance has no data.
template <class Key, size_t L, class Connect, class Raise>
struct Event {
    Key key;
    const char (&label)[L];
    const char* connectScope;
    Connect connectData;
    Raise raiseData;
    const char* connectOperation;
    const char* raiseOperation;
};
// Spelled out for compilers without deduction for aggregates (clang 14, which
// builds the fuzz targets).
template <class Key, size_t L, class Connect, class Raise>
Event(Key, const char (&)[L], const char*, Connect, Raise, const char*, const char*)
    -> Event<Key, L, Connect, Raise>;

// Connects `slot` to `signal` inside the profiler scope `scope`: what every
// connector does whose signal is kept where it is called. A change let
// through quietly on this thread is queued first: the new slot may hear it.
template <class Signal>
zel::Connection connectProfiled(const char* scope, const Signal& signal, zel::InlineConnection* storage,
                                const typename Signal::slot_type& slot, int priority) {
    const ZEL::Profiler::Scope profile(scope);
    notify_scope_details::listenerAppears();
    return signal.connect(storage, slot, priority);
}

} // namespace object_signals_details
} // namespace orv
