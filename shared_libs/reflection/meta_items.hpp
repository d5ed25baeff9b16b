#pragma once
// Annotation types that the type model itself reads.

#include "shared_libs/reflection/argument_convertors.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/property_flags.hpp"
#include "shared_libs/reflection/stateless.hpp"

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

} // namespace Meta
