#include "shared_libs/reflection/meta_validator.hpp"

#include "platform/corekit/stack_tracker.hpp"
#include "platform/kor/math/matrix.hpp"
#include "platform/kor/math/vector.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/variant/variant_converter.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/generic_object.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/multi_selection/multi_selection.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <typeinfo>
#include <vector>

namespace Meta {
namespace {

using orv::BoundProperty;
using orv::SetterFlag;
using orv::SetterFlags;
using Range = Validator::Range;
using Limits = std::pair<tavi::Variant, tavi::Variant>;

// A value up to this far past a soft end that is a power of two away keeps
// that end (and is clamped onto it) instead of doubling the range once more.
constexpr long double WIDENING_SNAP = 0.0004L;
// How far past an end a value may lie before the range widens.
constexpr long double FLOAT_TOLERANCE = 0.0004L;
constexpr long double DOUBLE_TOLERANCE = 4e-8L;
// Uniform scalings: component ratios this close count as one factor, and
// scales this close as equal.
constexpr long double SCALE_TOLERANCE = 0.0004L;

// --- numbers -----------------------------------------------------------------

template <class... T>
struct TypeList {};
// Read and written exactly: 64-bit integers stay exact in a long double.
using Arithmetic = TypeList<double, float, int64_t, uint64_t, int32_t, uint32_t, int16_t, uint16_t, int8_t,
                            uint8_t, long long, unsigned long long, char, bool>;

template <class T>
T saturate(long double x) {
    if constexpr (std::is_same_v<T, bool>) {
        return x != 0;
    } else {
        const long double lowest = static_cast<long double>(std::numeric_limits<T>::lowest());
        const long double highest = static_cast<long double>(std::numeric_limits<T>::max());
        return static_cast<T>(std::clamp(x, lowest, highest));
    }
}

template <class... T>
bool readArithmetic(const tavi::Variant& value, long double& out, TypeList<T...>) {
    return (
        (value.isType<T>() && (out = static_cast<long double>(*static_cast<const T*>(value.data())), true)) ||
        ...);
}

// An arithmetic value as it is, anything else converted to a double.
bool readNumber(const tavi::Variant& value, long double& out) {
    if (readArithmetic(value, out, Arithmetic{}))
        return true;
    double converted = 0;
    if (!value.tryCast(converted))
        return false;
    out = converted;
    return true;
}

// `x` as a value of the arithmetic type `like` holds (a double otherwise).
template <class... T>
tavi::Variant numberLike(const tavi::Variant& like, long double x, TypeList<T...>) {
    tavi::Variant result;
    ((like.isType<T>() && (result = saturate<T>(x), true)) || ...);
    return result.isVoid() ? tavi::Variant(saturate<double>(x)) : result;
}

// `result` in the type of `like` where the converter allows it.
tavi::Variant convertedLike(const tavi::Variant& like, tavi::Variant result) {
    if (like.isVoid() || like.type() == result.type())
        return result;
    tavi::Variant converted = like;
    return tavi::VariantConverter::convert(converted, result) ? converted : result;
}

// --- one component -------------------------------------------------------------

using End = std::optional<long double>;

// One component's range; an empty end sets no limit.
struct Bounds {
    End lo, hi;
};

enum class Clamped { No, ToLower, ToUpper };

// base × 2^k for the smallest k ≥ 0 that reaches `target` (less the snap);
// base > 0.
long double reach(long double target, long double base) {
    const long double ratio = (target - WIDENING_SNAP) / base;
    if (!(ratio > 1))
        return base;
    return base * std::exp2(std::ceil(std::log2(ratio)));
}

// A positive upper end (a negative lower end) is multiplied by a power of
// two; otherwise the span is, from the other end. Either way the new end
// lies at or past `x`.
long double widenedUpper(long double x, End lo, long double hi) {
    if (lo && *lo == hi)
        return x;
    if (hi > 0)
        return reach(x, hi);
    return lo ? *lo + reach(x - *lo, hi - *lo) : x;
}

long double widenedLower(long double x, long double lo, End hi) {
    if (hi && *hi == lo)
        return x;
    if (lo < 0)
        return -reach(-x, -lo);
    return hi ? *hi - reach(*hi - x, *hi - lo) : x;
}

// An end inside the hard bounds; a missing one takes the hard end. Capping
// both ends into [h.lo, h.hi] (rather than only the near side) keeps a soft
// range that lies wholly outside the hard one from pushing values out.
End capped(End end, End hardEnd, const Bounds& hard) {
    if (!end)
        return hardEnd;
    if (hard.lo)
        end = std::max(*end, *hard.lo);
    if (hard.hi)
        end = std::min(*end, *hard.hi);
    return end;
}

void order(Bounds& bounds) {
    if (bounds.lo && bounds.hi && *bounds.lo > *bounds.hi)
        std::swap(bounds.lo, bounds.hi);
}

// Widens `range` to take `x`, caps it into `hard` and, unless probing,
// clamps `x` into it. False for a component that is not a number (NaN).
bool clampComponent(long double& x, Bounds& range, Bounds hard, long double tolerance, bool probing,
                    Clamped& clamped) {
    if (std::isnan(x))
        return false;
    order(range);
    order(hard);
    if (range.hi && x > *range.hi + tolerance)
        range.hi = widenedUpper(x, range.lo, *range.hi);
    else if (range.lo && x < *range.lo - tolerance)
        range.lo = widenedLower(x, *range.lo, range.hi);
    range.lo = capped(range.lo, hard.lo, hard);
    range.hi = capped(range.hi, hard.hi, hard);
    clamped = Clamped::No;
    if (probing)
        return true;
    if (range.lo && x < *range.lo) {
        x = *range.lo;
        clamped = Clamped::ToLower;
    } else if (range.hi && x > *range.hi) {
        x = *range.hi;
        clamped = Clamped::ToUpper;
    }
    return true;
}

// --- typed clamps ------------------------------------------------------------------

template <size_t N>
using Components = std::array<long double, N>;

// Numbers that convert to double: arithmetic values keep their own type.
struct DoubleClamp {
    static constexpr size_t N = 1;
    static constexpr long double tolerance = DOUBLE_TOLERANCE;

    static bool read(const tavi::Variant& value, Components<1>& out) { return readNumber(value, out[0]); }
    static bool readEnd(const tavi::Variant& end, Components<1>& out) { return read(end, out); }
    static tavi::Variant make(Components<1> x, const std::array<Clamped, 1>& clamped,
                              const tavi::Variant& like) {
        // An integer clamped onto a fractional end stays inside the range.
        if (like.type() && like.type()->kind() != tavi::MetaType::Kind::FLOATING_POINT) {
            if (clamped[0] == Clamped::ToLower)
                x[0] = std::ceil(x[0]);
            else if (clamped[0] == Clamped::ToUpper)
                x[0] = std::floor(x[0]);
        }
        return convertedLike(like, numberLike(like, x[0], Arithmetic{}));
    }
};

// What converts to a 64-bit integer but not to double: enumerations.
template <class I>
struct IntegerClamp {
    static constexpr size_t N = 1;
    static constexpr long double tolerance = 0;

    static bool read(const tavi::Variant& value, Components<1>& out) {
        I integer{};
        if (!value.tryCast(integer))
            return false;
        out[0] = static_cast<long double>(integer);
        return true;
    }
    static bool readEnd(const tavi::Variant& end, Components<1>& out) { return read(end, out); }
    static tavi::Variant make(const Components<1>& x, const std::array<Clamped, 1>&,
                              const tavi::Variant& like) {
        return convertedLike(like, tavi::Variant(saturate<I>(x[0])));
    }
};

template <class V>
struct VectorClamp {
    static constexpr size_t N = sizeof(V) / sizeof(float);
    static constexpr long double tolerance = FLOAT_TOLERANCE;

    static bool read(const tavi::Variant& value, Components<N>& out) {
        V vector;
        if (!value.tryCast(vector))
            return false;
        for (size_t i = 0; i < N; ++i)
            out[i] = vector[int(i)];
        return true;
    }
    // A scalar end applies to every component.
    static bool readEnd(const tavi::Variant& end, Components<N>& out) {
        if (read(end, out))
            return true;
        long double scalar = 0;
        if (!readNumber(end, scalar))
            return false;
        out.fill(scalar);
        return true;
    }
    static tavi::Variant make(const Components<N>& x, const std::array<Clamped, N>&,
                              const tavi::Variant& like) {
        V vector;
        for (size_t i = 0; i < N; ++i)
            vector[int(i)] = saturate<float>(x[i]);
        return convertedLike(like, tavi::Variant(vector));
    }
};

// Reads both ends of `limits`; a void end sets no limit on any component.
template <class K>
bool readBounds(const Limits& limits, std::array<Bounds, K::N>& out) {
    const auto readEnd = [&out](const tavi::Variant& end, End Bounds::*side) {
        if (end.isVoid())
            return true;
        Components<K::N> values;
        if (!K::readEnd(end, values))
            return false;
        for (size_t i = 0; i < K::N; ++i)
            out[i].*side = values[i];
        return true;
    };
    return readEnd(limits.first, &Bounds::lo) && readEnd(limits.second, &Bounds::hi);
}

// One end back into a Variant: void while no component has a limit, else a
// value of the previous end's type where possible.
template <class K>
tavi::Variant writeEnd(const std::array<Bounds, K::N>& bounds, End Bounds::*side,
                       const tavi::Variant& previous, const tavi::Variant& fallback) {
    Components<K::N> values;
    bool limited = false;
    for (size_t i = 0; i < K::N; ++i) {
        const End& end = bounds[i].*side;
        limited = limited || end.has_value();
        values[i] = end.value_or(side == &Bounds::lo ? -std::numeric_limits<long double>::max()
                                                     : std::numeric_limits<long double>::max());
    }
    if (!limited)
        return {};
    return K::make(values, {}, previous.isVoid() ? fallback : previous);
}

enum class Outcome {
    Skipped,   // this clamp does not take the value or the ranges
    Refused,   // not a number
    Unchanged, // inside the range
    Adjusted,  // clamped
};

// The typed clamp of kind K: widens and caps `range` (written back) and,
// unless probing, clamps `value`.
template <class K>
Outcome clampAs(tavi::Variant& value, Limits& range, const Limits& hard, bool probing) {
    Components<K::N> x;
    std::array<Bounds, K::N> inForce{}, hardBounds{};
    if (!K::read(value, x) || !readBounds<K>(range, inForce) || !readBounds<K>(hard, hardBounds))
        return Outcome::Skipped;
    std::array<Clamped, K::N> clamped{};
    for (size_t i = 0; i < K::N; ++i)
        if (!clampComponent(x[i], inForce[i], hardBounds[i], K::tolerance, probing, clamped[i]))
            return Outcome::Refused;
    range = Limits(writeEnd<K>(inForce, &Bounds::lo, range.first, value),
                   writeEnd<K>(inForce, &Bounds::hi, range.second, value));
    if (std::all_of(clamped.begin(), clamped.end(), [](Clamped c) { return c == Clamped::No; }))
        return Outcome::Unchanged;
    value = K::make(x, clamped, value);
    return Outcome::Adjusted;
}

// The first typed clamp that takes the value and the ranges: double, the
// 64-bit integers, then the vectors. A vector goes to its own clamp only:
// the converter would also take a Vector4 as a Vector3 (dropping w).
Outcome clampAny(tavi::Variant& value, Limits& range, const Limits& hard, bool probing) {
    if (value.isType<Kor::Vector2>())
        return clampAs<VectorClamp<Kor::Vector2>>(value, range, hard, probing);
    if (value.isType<Kor::Vector3>())
        return clampAs<VectorClamp<Kor::Vector3>>(value, range, hard, probing);
    if (value.isType<Kor::Vector4>())
        return clampAs<VectorClamp<Kor::Vector4>>(value, range, hard, probing);
    using Clamp = Outcome (*)(tavi::Variant&, Limits&, const Limits&, bool);
    static constexpr Clamp clamps[] = {
        &clampAs<DoubleClamp>,
        &clampAs<IntegerClamp<int64_t>>,
        &clampAs<IntegerClamp<uint64_t>>,
        &clampAs<VectorClamp<Kor::Vector2>>,
        &clampAs<VectorClamp<Kor::Vector3>>,
        &clampAs<VectorClamp<Kor::Vector4>>,
    };
    for (const Clamp clamp : clamps)
        if (const Outcome outcome = clamp(value, range, hard, probing); outcome != Outcome::Skipped)
            return outcome;
    return Outcome::Skipped;
}

// --- hard limits of a property ----------------------------------------------------

struct TypeLimits {
    const std::type_info* type;
    Limits limits;
};

template <class T, class Limit = T>
TypeLimits limitsOf() {
    return {&typeid(T), Limits(tavi::Variant(std::numeric_limits<Limit>::lowest()),
                               tavi::Variant(std::numeric_limits<Limit>::max()))};
}

const std::vector<TypeLimits>& typeLimits() {
    static const std::vector<TypeLimits> table = {
        limitsOf<double>(),
        limitsOf<float>(),
        limitsOf<Kor::Vector2, float>(),
        limitsOf<Kor::Vector3, float>(),
        limitsOf<Kor::Vector4, float>(),
        limitsOf<Kor::Matrix, float>(),
        limitsOf<int64_t>(),
        limitsOf<long long>(),
        limitsOf<uint64_t>(),
        limitsOf<unsigned long long>(),
        limitsOf<int32_t>(),
        limitsOf<uint32_t>(),
        limitsOf<int16_t>(),
        limitsOf<uint16_t>(),
        limitsOf<int8_t>(),
        limitsOf<uint8_t>(),
    };
    return table;
}

// A colour picker's limits, else those of the first of the property's types
// that has any; void ends otherwise.
Limits hardLimitsOf(const BoundProperty& property, const orv::Annotations& annotations) {
    if (const auto* picker = orv::findAnnotation<View::ColorPicker>(annotations)) {
        switch (picker->mode) {
            case View::ColorPicker::Intensity:
                return Limits(tavi::Variant(0), tavi::Variant(Kor::Vector4(255, 255, 255, 10)));
            case View::ColorPicker::Percent:
                return Limits(tavi::Variant(0), tavi::Variant(Kor::Vector4(255, 255, 255, 100)));
            default:
                return Limits(tavi::Variant(0), tavi::Variant(255));
        }
    }
    const orv::TypeInfo types = property.typeInfo();
    for (size_t slot = 0; slot < orv::TypeInfo::MAX_TYPES; ++slot) {
        const std::type_info* type = types.type(slot);
        if (!type)
            continue;
        for (const TypeLimits& entry : typeLimits())
            if (*entry.type == *type)
                return entry.limits;
    }
    return {};
}

// --- validation --------------------------------------------------------------------

// The probe a value asks with: a RangeProbe, a pointer to one (the answer
// then lands in the caller's probe), or a value with a registered conversion.
Validator::RangeProbe* probeIn(tavi::Variant& value) {
    if (value.isVoid())
        return nullptr;
    if (Validator::RangeProbe* probe = value.mutablePtr<Validator::RangeProbe>())
        return probe;
    const tavi::MetaType* probeType = tavi::MetaType::of<Validator::RangeProbe>();
    Validator::RangeProbe converted;
    if (value.type()->isNumber() ||
        !tavi::VariantConverter::hasRegisteredConversion(value.type(), probeType) ||
        !value.tryCast(converted))
        return nullptr;
    value = std::move(converted);
    return value.mutablePtr<Validator::RangeProbe>();
}

// The properties of a multi-selection leave validation to the properties
// they write, each of which validates for itself.
bool inMultiSelection(const BoundProperty& property) {
    const orv::ReflectedObject& object = property.object();
    return object.metaObject() == orv::GenericMetaObject::instance() &&
           orv::genericObjectCast<orv::MultiSelection>(
               orv::convertor_details::findInstance<orv::GenericObject, true>(object)) != nullptr;
}

// (property, its annotations, range in force, effective hard range, value,
// probing, error).
using ClampFunction = bool (*)(const BoundProperty&, const orv::Annotations&, Limits&, const Limits&,
                               tavi::Variant&, bool, std::string&);

bool validateInRange(const Validator::RangeFunction& rangeOf, ClampFunction clamp,
                     const BoundProperty& property, tavi::Variant& value, SetterFlags flags,
                     std::string& error) {
    Kor::StackTracker::Frame frame("Meta::MinMax");
    Validator::RangeProbe* probe = probeIn(value);
    if (!probe && (flags.test(SetterFlag::NoValidation) || inMultiSelection(property)))
        return true;
    const Range soft = rangeOf ? rangeOf(property, {}) : Range();
    const Range hard = rangeOf ? rangeOf(property, SetterFlag::SecondRange) : Range();
    if (!probe && !soft && !hard)
        return true;
    const orv::Annotations annotations = property.annotations();
    const Limits typeLimits = hardLimitsOf(property, annotations);
    Limits effectiveHard = hard ? *hard : typeLimits;
    if (effectiveHard.first.isVoid())
        effectiveHard.first = typeLimits.first;
    if (effectiveHard.second.isVoid())
        effectiveHard.second = typeLimits.second;
    Limits inForce = flags.test(SetterFlag::SecondRange) || !soft ? effectiveHard : *soft;
    if (probe) {
        if (probe->widenToCurrent) {
            tavi::Variant question = value;
            std::string ignored;
            try {
                clamp(property, annotations, inForce, effectiveHard, question, true, ignored);
            } catch (const orv::FuzzyArgumentException&) {
                // An extractor that cannot take the current value: the range as it is.
            }
        }
        probe->range = std::move(inForce);
        return true;
    }
    tavi::Variant adjusted = value;
    try {
        if (!clamp(property, annotations, inForce, effectiveHard, adjusted, false, error))
            return false;
    } catch (const orv::FuzzyArgumentException& exception) {
        error = exception.what();
        return false;
    }
    value = std::move(adjusted);
    return true;
}

const ValueExtractor* extractorOf(const orv::Annotations& annotations, std::string& error) {
    const ValueExtractor* extractor = orv::findAnnotation<ValueExtractor>(annotations);
    if (extractor && (!extractor->extract || !extractor->recompose)) {
        error = "Meta::ValueExtractor without functions";
        return nullptr;
    }
    return extractor;
}

bool refuse(std::string& error, const char* why) {
    error = why;
    return false;
}

// The clamp behind MinMax. A probe widens around the current value.
bool clampMinMax(const BoundProperty& property, const orv::Annotations& annotations, Limits& range,
                 const Limits& hard, tavi::Variant& value, bool probing, std::string& error) {
    const ValueExtractor* extractor = extractorOf(annotations, error);
    if (!extractor && !error.empty())
        return false;
    tavi::Variant part = probing ? property.get() : value;
    if (extractor)
        part = extractor->extract(part);
    switch (clampAny(part, range, hard, probing)) {
        case Outcome::Skipped:
            return refuse(error, "the value is neither a number nor a vector within the range's types");
        case Outcome::Refused:
            return refuse(error, "the value is not a number");
        case Outcome::Unchanged:
            return true;
        case Outcome::Adjusted:
            value = extractor ? extractor->recompose(value, part) : part;
            return true;
    }
    return false;
}

bool almostEqual(const Kor::Vector3& a, const Kor::Vector3& b) {
    for (int i = 0; i < 3; ++i)
        if (std::fabs(a[i] - b[i]) > SCALE_TOLERANCE)
            return false;
    return true;
}

// The factor of a uniform scaling from `current` to `scaled`; nothing when
// the components do not scale alike.
std::optional<long double> uniformRatio(const Kor::Vector3& scaled, const Kor::Vector3& current) {
    long double low = std::numeric_limits<long double>::max(), high = -low, sum = 0;
    for (int i = 0; i < 3; ++i) {
        if (current[i] == 0)
            return std::nullopt;
        const long double ratio = static_cast<long double>(scaled[i]) / current[i];
        if (!std::isfinite(ratio))
            return std::nullopt;
        low = std::min(low, ratio);
        high = std::max(high, ratio);
        sum += ratio;
    }
    if (high - low > SCALE_TOLERANCE)
        return std::nullopt;
    return sum / 3;
}

// The factor between 1 and `ratio`, closest to `ratio`, for which
// current × factor stays inside `bounds` in every component: the smallest
// upper limit / current when growing, the largest lower limit / current when
// shrinking. Nothing when no factor fits (the current scale is outside).
std::optional<long double> uniformFactor(const Kor::Vector3& current, long double ratio,
                                         const std::array<Bounds, 3>& bounds) {
    long double low = std::min(1.0L, ratio), high = std::max(1.0L, ratio);
    for (int i = 0; i < 3; ++i) {
        const long double c = current[i];
        const End& below = c > 0 ? bounds[size_t(i)].lo : bounds[size_t(i)].hi;
        const End& above = c > 0 ? bounds[size_t(i)].hi : bounds[size_t(i)].lo;
        if (below)
            low = std::max(low, *below / c);
        if (above)
            high = std::min(high, *above / c);
    }
    if (low > high)
        return std::nullopt;
    return ratio > 1 ? high : low;
}

// The clamp behind MinMaxScale. A uniform scaling that a limit would make
// non-uniform stops uniformly at the first limit it meets; a write whose
// scale the limits undo entirely is refused (a write that leaves the scale
// as it is, say a move, passes).
bool clampScale(const BoundProperty& property, const orv::Annotations& annotations, Limits& range,
                const Limits& hard, tavi::Variant& value, bool probing, std::string& error) {
    const ValueExtractor* extractor = extractorOf(annotations, error);
    if (!extractor) {
        if (error.empty())
            error = "scale validation needs a Meta::ValueExtractor";
        return false;
    }
    Kor::Vector3 current, requested;
    if (!extractor->extract(property.get()).tryCast(current))
        return refuse(error, "the current value has no scale");
    if (probing) {
        tavi::Variant scale(current);
        return clampAs<VectorClamp<Kor::Vector3>>(scale, range, hard, true) == Outcome::Unchanged;
    }
    if (!extractor->extract(value).tryCast(requested))
        return refuse(error, "the value has no scale");
    tavi::Variant scale(requested);
    switch (clampAs<VectorClamp<Kor::Vector3>>(scale, range, hard, false)) {
        case Outcome::Skipped:
            return refuse(error, "the range is not a scale range");
        case Outcome::Refused:
            return refuse(error, "the scale is not a number");
        case Outcome::Unchanged:
            return true;
        case Outcome::Adjusted:
            break;
    }
    Kor::Vector3 clamped = *scale.castPtr<Kor::Vector3>();
    if (const auto ratio = uniformRatio(requested, current); ratio && !uniformRatio(clamped, current)) {
        std::array<Bounds, 3> bounds{};
        readBounds<VectorClamp<Kor::Vector3>>(range, bounds);
        if (const auto factor = uniformFactor(current, *ratio, bounds))
            for (int i = 0; i < 3; ++i) {
                const Bounds& b = bounds[size_t(i)];
                long double x = current[i] * *factor;
                x = b.lo ? std::max(x, *b.lo) : x;
                x = b.hi ? std::min(x, *b.hi) : x;
                clamped[i] = saturate<float>(x);
            }
    }
    if (almostEqual(clamped, current))
        return refuse(error, "the scale is at its limit");
    value = extractor->recompose(value, tavi::Variant(clamped));
    return true;
}

Validator rangeValidator(Validator::RangeFunction range, ClampFunction clamp) {
    // Shared: write paths copy the validator they call, and this keeps that
    // copy to one reference count instead of a copy of the range function.
    struct Ranges {
        Validator::RangeFunction range;
        ClampFunction clamp;
    };
    auto ranges = std::make_shared<const Ranges>(Ranges{std::move(range), clamp});
    return Validator([ranges = std::move(ranges)](const BoundProperty& property, tavi::Variant& value,
                                                  SetterFlags flags, std::string& error) {
        return validateInRange(ranges->range, ranges->clamp, property, value, flags, error);
    });
}

} // namespace

Range Validator::RangeProbe::query(const BoundProperty& property, SetterFlags flags, bool widenToCurrent) {
    Kor::StackTracker::Frame frame("Meta::Validator::RangeProbe::query");
    const orv::Validator validate = property.validator();
    if (!validate)
        return {};
    RangeProbe probe(widenToCurrent);
    tavi::Variant question(&probe);
    std::string error;
    try {
        validate(property, question, flags, error);
    } catch (const orv::FuzzyArgumentException&) {
        return {}; // a validator that takes no probes
    } catch (const tavi::CastError&) {
        return {};
    }
    return std::move(probe.range);
}

Validator MinMax(Validator::RangeFunction range) { return rangeValidator(std::move(range), &clampMinMax); }

Validator MinMax(Validator::Range soft, Validator::Range hard) {
    return MinMax(Validator::RangeFunction(
        [soft = std::move(soft), hard = std::move(hard)](const BoundProperty&, SetterFlags flags) {
            return flags.test(SetterFlag::SecondRange) ? hard : soft;
        }));
}

Validator MinMaxScale(Validator::RangeFunction range) {
    return rangeValidator(std::move(range), &clampScale);
}

} // namespace Meta
