#pragma once
// The annotation that checks, and may adjust, every value written to a
// property before it reaches the setter, and the range validators built on
// it.
//
// A range validator keeps a number, a vector, or one part of a composite
// value (through Meta::ValueExtractor) inside a range given per property:
//
//     .property("intensity", &Light::intensity,
//               Meta::MinMax(Meta::Validator::between(0.0f, 10.0f),     // the slider's range
//                            Meta::Validator::between(0.0f, 100.0f)))   // never left
//
// A value past the soft (slider) range widens that range by powers of two
// (soft [0, 10], 35 gives [0, 40]); the hard range, and the limits of the
// property's own type, are never left: values beyond are clamped onto them.
// Front-ends ask for the range in force with Meta::Validator::RangeProbe.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <cstdint>
#include <optional>
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
    // (lower, upper). A void end sets no limit at that end; no range at all
    // sets none.
    using Range = std::optional<std::pair<tavi::Variant, tavi::Variant>>;
    // Asked with no flags for the soft range and with SetterFlag::SecondRange
    // for the hard range.
    using RangeFunction = orv::FuzzyFunction<Range(const orv::BoundProperty&, orv::SetterFlags),
                                             orv::BoundPropertyArgumentConvertor>;
    struct RangeProbe;

    Validator() = default;
    explicit Validator(Function function) : function(std::move(function)) {}

    // A range from two values (or void ends).
    static Range between(tavi::Variant lower, tavi::Variant upper) {
        return std::pair(std::move(lower), std::move(upper));
    }

    Function function;
};

// Handed to a validator in place of a value: not a value to write but a
// question. A range validator fills in the range in force (the hard one when
// the flags carry SecondRange) and accepts; other validators leave it as it
// is. Never pass one to BoundProperty::set: ask through query().
struct Validator::RangeProbe {
    RangeProbe() = default;
    explicit RangeProbe(bool widenToCurrent) : widenToCurrent(widenToCurrent) {}

    // The range `property`'s validator has in force for `flags`; with
    // `widenToCurrent` widened, as a write would widen it, to take the
    // property's current value. Nothing when the property has no validator
    // or its validator answers no probes. Writes nothing, notifies nothing.
    static Range query(const orv::BoundProperty& property, orv::SetterFlags flags = {},
                       bool widenToCurrent = false);

    // false: the range as it is; true: widened to take the current value.
    bool widenToCurrent = false;
    // The answer.
    Range range;
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

// Keeps numbers (double, 64-bit integers, or anything that converts to them:
// every arithmetic type, enumerations) and Vector2/3/4 inside the ranges of
// `range`, component by component; a scalar end applies to every component.
// With a Meta::ValueExtractor on the property it checks the extracted part.
Validator MinMax(Validator::RangeFunction range);
// The soft range for plain writes, the hard range for writes with SecondRange.
Validator MinMax(Validator::Range soft, Validator::Range hard);
// Keeps the scale a Meta::ValueExtractor extracts (a Vector3) inside the
// ranges, keeping a uniform scaling uniform where the limits allow; refuses
// the write when the limits leave nothing of the change, and every write to a
// property without an extractor.
Validator MinMaxScale(Validator::RangeFunction range);

namespace View {

// Edits the property with a colour picker. Its mode also sets the property's
// hard limits (0 below): 255 for every component in Bytes mode; 255 for red,
// green and blue and 10 (Intensity) or 100 (Percent) for the fourth component.
struct ColorPicker {
    enum Mode : uint32_t { Bytes = 0, Intensity = 1, Percent = 2 };

    ColorPicker() = default;
    explicit ColorPicker(Mode mode, uint32_t components = 4) : components(components), mode(mode) {}

    // The components the picker shows: 3 (red, green, blue) or 4.
    uint32_t components = 4;
    uint32_t mode = Bytes;
};

} // namespace View
} // namespace Meta

namespace orv {
using Validator = Meta::Validator::Function;
}
