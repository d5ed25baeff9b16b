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

// Picks the part of a composite value that validators and revert commands
// work on (the scale of a transform, say), and puts an adjusted part back
// into a whole value.
struct ValueExtractor {
    // whole value -> part
    using Extract = orv::FuzzyFunction<tavi::Variant(const tavi::Variant&), orv::ValueArgumentsConvertor>;
    // (whole value, part) -> whole value with that part
    using Recompose = orv::FuzzyFunction<tavi::Variant(const tavi::Variant&, const tavi::Variant&),
                                         orv::ValueArgumentsConvertor>;

    ValueExtractor() = default;
    ValueExtractor(Extract extract, Recompose recompose)
        : extract(std::move(extract)), recompose(std::move(recompose)) {}

    Extract extract;
    Recompose recompose;
};

} // namespace Meta

namespace orv {
using Validator = Meta::Validator::Function;
}
