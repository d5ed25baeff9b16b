#pragma once
// The structure signals of a reflected object and their slot types.

#include "orv_cpp_utils/signal.hpp"
#include "shared_libs/reflection/details/bound_property_convertor.hpp"

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

} // namespace orv
