#pragma once
// The argument convertors through which user getters, setters, annotation
// callbacks and slots receive what they ask for instead of the library's
// full argument lists. See orv_cpp_utils/details/fuzzy_arguments.hpp for the policy.

#include "orv_cpp_utils/details/fuzzy_arguments.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/variant/variant.hpp"
#include "platform/variant/variant_converter.hpp"
#include "shared_libs/reflection/details/bound_property_convertor.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <concepts>
#include <type_traits>

namespace orv {

class BoundProperty;
class ReflectedObject;

namespace convertor_details {

template <class A>
concept VariantArgument = std::same_as<std::remove_cvref_t<A>, tavi::Variant>;

// The instance behind `object` as a `T*` (`const T*` when `ConstAccess`), or
// null: held directly, cast from the held pointer's static type through the
// object's meta object, or converted by the value converter.
template <class T, bool ConstAccess, class O>
auto findInstance(const O& object) {
    using Result = std::conditional_t<ConstAccess, const T*, T*>;
    const tavi::Variant& value = object.get();
    if (T* const* direct = value.template castPtr<T*>())
        return Result(*direct);
    const tavi::MetaType* type = value.type();
    const MetaObject* meta = object.metaObject();
    if (meta && type && value.isPointer() && type->pointeeType()) {
        const unsigned requested = ConstAccess ? (tavi::MetaType::POINTER | tavi::MetaType::CONST_POINTEE)
                                               : unsigned(tavi::MetaType::POINTER);
        if (tavi::MetaType::qualifiersMatch(type->pointerQualifiers(), requested))
            if (void* cast = meta->cast(const_cast<void*>(value.pointerAddress()),
                                        type->pointeeType()->typeId(), typeid(T)))
                return static_cast<Result>(cast);
    }
    Result converted = nullptr;
    return type && value.tryCast(converted) ? converted : nullptr;
}

// The instance behind `property`'s object as a `T*` (`const T*` when
// `ConstAccess`), as findInstance finds it. Throws FuzzyArgumentException.
// Kept out of line: the getters and setters inline only the common case.
template <class T, bool ConstAccess, class P>
[[gnu::noinline]] auto findInstanceOf(const P& property) {
    const auto& object = property.object();
    const MetaObject* meta = object.metaObject();
    if (!meta)
        meta_property_details::throwCastError(static_cast<const MetaObject*>(nullptr),
                                              tavi::MetaType::prettyName(typeid(T)).c_str());
    if (auto* instance = findInstance<T, ConstAccess>(object))
        return instance;
    meta_property_details::throwCastError(meta, tavi::MetaType::prettyName(typeid(T)).c_str());
}

// The same, with the common case first and small enough to inline into
// every getter and setter: a valid object held as a T*.
template <class T, bool ConstAccess, class P>
[[gnu::always_inline]] inline auto instanceOf(const P& property) {
    using Result = std::conditional_t<ConstAccess, const T*, T*>;
    const auto& object = property.object();
    const tavi::Variant& value = object.get();
    if (value.type() == tavi::MetaType::of<T*>() && object.isValid())
        if (T* direct = *static_cast<T* const*>(value.data()))
            return Result(direct);
    return findInstanceOf<T, ConstAccess>(property);
}

// `value` as a V: held directly, or converted by the value converter.
template <class V>
V valueOf(const tavi::Variant& value) {
    if (const V* held = value.isType<V>() ? value.castPtr<V>() : nullptr)
        return *held;
    tavi::Variant converted = value;
    if (converted.setType(tavi::MetaType::of<V>()))
        if (const V* result = converted.isType<V>() ? converted.castPtr<V>() : nullptr)
            return *result;
    meta_property_details::throwCastError(value.type(), tavi::MetaType::prettyName(typeid(V)).c_str());
}

// A parameter that takes a value of its own type, by value or const
// reference: what a Variant argument converts to.
template <class Param>
concept ValueParameter = !VariantArgument<Param> && !std::is_pointer_v<std::remove_cvref_t<Param>> &&
                         (!std::is_reference_v<Param> || std::is_const_v<std::remove_reference_t<Param>>);

template <class Param>
struct ValueFromVariant {
    static constexpr bool enabled = true;
    static std::remove_cvref_t<Param> convert(const tavi::Variant& value) {
        return valueOf<std::remove_cvref_t<Param>>(value);
    }
};

// Any result but a Variant or nothing, wrapped in a Variant.
template <class R, class From>
struct VariantResult {
    static constexpr bool enabled = false;
};
template <class From>
requires(!std::is_void_v<From> && !VariantArgument<From>) struct VariantResult<tavi::Variant, From> {
    static constexpr bool enabled = true;
    static tavi::Variant convert(From result) { return tavi::Variant(std::forward<From>(result)); }
};

} // namespace convertor_details

// For getters of a compiled type T: the instance as `const T*`, the owning
// object, and the result wrapped in a Variant.
template <class T>
struct MetaPropertyArgumentsConvertor {
    template <class Param, class Arg>
    struct Converter : BoundPropertyArgumentConvertor::Converter<Param, Arg> {};

    template <convertor_details::BoundPropertyArgument Arg>
    struct Converter<const T*, Arg> {
        static constexpr bool enabled = true;
        template <class A>
        static const T* convert(A&& property) {
            return convertor_details::instanceOf<T, true>(property);
        }
    };

    template <class R, class From>
    struct ResultConverter : convertor_details::VariantResult<R, From> {};
};

// For setters of a compiled type T: the instance as `T*` (or `const T*`),
// the new value as the setter's own value type, and optional setter flags.
template <class T>
struct MetaPropertySetterArgumentsConvertor {
    template <class Param, class Arg>
    struct Converter : BoundPropertyArgumentConvertor::Converter<Param, Arg> {};

    template <convertor_details::BoundPropertyArgument Arg>
    struct Converter<T*, Arg> {
        static constexpr bool enabled = true;
        template <class A>
        static T* convert(A&& property) {
            return convertor_details::instanceOf<T, false>(property);
        }
    };
    template <convertor_details::BoundPropertyArgument Arg>
    struct Converter<const T*, Arg> {
        static constexpr bool enabled = true;
        template <class A>
        static const T* convert(A&& property) {
            return convertor_details::instanceOf<T, true>(property);
        }
    };
    // Any other value type V (by value or const reference) from the Variant.
    template <convertor_details::ValueParameter Param, convertor_details::VariantArgument Arg>
    struct Converter<Param, Arg> : convertor_details::ValueFromVariant<Param> {};
};

// For callables on values alone (value extractors): each Variant argument
// as the parameter's own value type, and the result wrapped in a Variant.
struct ValueArgumentsConvertor {
    template <class Param, class Arg>
    struct Converter : DefaultArgumentsConvertor::Converter<Param, Arg> {};

    template <convertor_details::ValueParameter Param, convertor_details::VariantArgument Arg>
    struct Converter<Param, Arg> : convertor_details::ValueFromVariant<Param> {};

    template <class R, class From>
    struct ResultConverter : convertor_details::VariantResult<R, From> {};
};

namespace meta_property {

// Lets `Meta::Visible` take a constant: `VisibilityFlag ()` becomes
// `Flags<VisibilityFlag> (const BoundProperty&)`.
struct MetaVisibleArgumentConvertor : BoundPropertyArgumentConvertor {};

} // namespace meta_property
} // namespace orv
