#pragma once
// Annotation types read by the multi-selection machinery: how selected
// objects are sorted into groups, how much each selected property weighs
// when values are combined, which properties of a combined object always
// stay, and (in reduce_map.hpp) how values combine.

#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/multi_selection/reduce_map.hpp"

#include <cstdint>
#include <string>
#include <utility>

namespace orv {
class BoundProperty;
class ReflectedObject;
} // namespace orv

namespace Meta::MultiSelection {

// Marks a property of a combined object that stays when an intersection
// removes the properties a selected object lacks (the object's own fixed
// properties, such as "_volatility").
struct Persistent {};

// On a type: the group an object of that type joins in a classified
// selection. Objects of types without it join "<unclassified>". Calling an
// empty function raises std::bad_function_call.
struct ObjectType {
    using Function =
        orv::FuzzyFunction<std::string(const orv::ReflectedObject&), orv::DefaultArgumentsConvertor>;

    ObjectType() = default;
    explicit ObjectType(Function function) : function(std::move(function)) {}
    // A fixed group name.
    explicit ObjectType(std::string name)
        : function([name = std::move(name)](const orv::ReflectedObject&) { return name; }) {}

    Function function;
};

// On a property: the weight of its value when the values of a selection are
// combined (a reduce map may let higher priorities win). 0 without it, and
// with an empty function.
struct Priority {
    using Function =
        orv::FuzzyFunction<int32_t(const orv::BoundProperty&), orv::BoundPropertyArgumentConvertor>;

    Priority() = default;
    explicit Priority(Function function) : function(std::move(function)) {}
    explicit Priority(int32_t priority)
        : function([priority](const orv::BoundProperty&) { return priority; }) {}

    Function function;
};

} // namespace Meta::MultiSelection
