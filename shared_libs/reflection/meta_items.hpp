#pragma once
// Annotation types that the type model itself reads: where a property shows,
// whether it can be written, and annotations handed down to the properties
// of the objects a property holds.

#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/property_flags.hpp"
#include "shared_libs/reflection/stateless.hpp"

#include <cstdint>
#include <string>
#include <utility>

namespace orv {
class BoundProperty;
}

namespace Meta {

// Restricts where a property shows: the property's visibility is the
// intersection of what all its Visible annotations allow.
struct Visible {
    using Function = orv::FuzzyFunction<orv::meta_property::VisibilityFlags(const orv::BoundProperty&),
                                        orv::meta_property::MetaVisibleArgumentConvertor>;

    Visible() = default;
    explicit Visible(Function function) : function(std::move(function)) {}
    // A constant visibility.
    explicit Visible(orv::meta_property::VisibilityFlags flags)
        : function([flags](const orv::BoundProperty&) { return flags; }) {}

    Function function;
};

// Makes a property read-only while the predicate holds. Placed on a type, it
// applies to every property of that type; on a property that holds an
// object, to everything below it.
struct ReadOnly {
    using Function = orv::FuzzyFunction<bool(const orv::BoundProperty&), orv::BoundPropertyArgumentConvertor>;

    // Always read-only.
    ReadOnly() : function([](const orv::BoundProperty&) { return true; }) {}
    explicit ReadOnly(Function function) : function(std::move(function)) {}

    Function function;
};

// Hands `annotations` to the child properties whose names match `pattern`
// (case-insensitive wildcards): on a type, to that type's own properties; on
// a property, to the properties of the object it holds. With `recursive` set
// the Children annotation itself travels down as well, reaching grandchildren
// of the same names.
struct Children {
    Children() = default;
    Children(std::string pattern, orv::Annotations annotations, bool recursive = false)
        : pattern(std::move(pattern)), annotations(std::move(annotations)), recursive(recursive ? 1 : 0) {}

    std::string pattern;
    orv::Annotations annotations;
    int32_t recursive = 0;
};

// Changes of the annotated property are minor undo steps: they never give
// their undo entry its name.
struct Minor {};

} // namespace Meta
