#pragma once
// The annotation that checks, and may adjust, every value written to a
// property before it reaches the setter.

#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <string>
#include <utility>

namespace orv {
class BoundProperty;
}

namespace Meta {

struct Validator {
    // (property, value to write, setter flags, error text): true accepts the
    // possibly adjusted value, false refuses the write.
    using Function =
        orv::FuzzyFunction<bool(const orv::BoundProperty&, tavi::Variant&, orv::SetterFlags, std::string&),
                           orv::BoundPropertyArgumentConvertor>;

    Validator() = default;
    explicit Validator(Function function) : function(std::move(function)) {}

    Function function;
};

} // namespace Meta

namespace orv {
using Validator = Meta::Validator::Function;
}
