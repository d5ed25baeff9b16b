#pragma once
// Helpers of the declaration builder (static_meta_object.hpp): base-class
// displacements, annotation lists, and the adaptation of members and
// callables into the getters, setters and methods of meta properties.

#include "orv_cpp_utils/details/fuzzy_arguments.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/details/generic_function.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

namespace orv {

namespace meta_property_details {

// Calls a method declared on `Owner` for the object of a bound property.
// `Member` is a member function of Owner (or of one of its bases), a
// function-valued data member (std::function<R (Args...)> Owner::*), or a
// callable taking the object first (`const Owner*`, or `Owner*` when it has
// to change the object). The object is reached through its meta object, so
// a bound property of a derived type finds its Owner sub-object; a failed
// conversion throws FuzzyArgumentException.
template <class Owner, class Member, class Signature>
class MethodWrapper;

template <class Owner, class Member, class R, class... Args>
class MethodWrapper<Owner, Member, R(Args...)> {
public:
    explicit MethodWrapper(Member member) : m_member(std::move(member)) {}

    R operator()(const BoundProperty& property, SetterFlags, Args... args) const {
        if constexpr (std::is_member_object_pointer_v<Member>) {
            const auto& function = convertor_details::instanceOf<Owner, true>(property)->*m_member;
            return std::invoke(function, std::forward<Args>(args)...);
        } else if constexpr (std::is_invocable_v<const Member&, const Owner*, Args...>) {
            return std::invoke(m_member, convertor_details::instanceOf<Owner, true>(property),
                               std::forward<Args>(args)...);
        } else {
            return std::invoke(m_member, convertor_details::instanceOf<Owner, false>(property),
                               std::forward<Args>(args)...);
        }
    }

private:
    Member m_member;
};

} // namespace meta_property_details

namespace static_meta_object_details {

using GetterSignature = tavi::Variant(const BoundProperty&);
using SetterSignature = void(const BoundProperty&, const tavi::Variant&, SetterFlags);
using MethodFunction = BasicGenericFunction<const BoundProperty&, SetterFlags>;

// --- registration ---

// Taking the address of a type's registration flag as an argument of this
// template is what makes the flag, and so the registration, exist.
template <const bool*>
struct Anchor {};

// Registers a static meta object just built and returns true. A second one
// for the same type (a module that built the type's meta object again
// instead of sharing it) is reported and not registered: the registry keeps
// answering with the first, and unloading the second leaves it alone.
bool registerDeclared(MetaObject& metaObject);

// --- base classes ---

// Derived address minus the address of its Base sub-object, read off a cast
// of a made-up, suitably aligned address: no object is needed. The sanitizer
// would take the made-up address for a wrong dynamic type.
template <class Derived, class Base>
__attribute__((no_sanitize("vptr"))) long long baseOffset() {
    static_assert(std::is_base_of_v<Base, Derived>,
                  "orv::Bases lists a class that is not a base of the type");
    static_assert(
        requires(Base * base) { static_cast<Derived*>(base); },
        "orv::Bases: a virtual base has no fixed displacement");
    constexpr std::uintptr_t address = std::uintptr_t(1) << 16;
    static_assert(alignof(Derived) <= address);
    Derived* derived = reinterpret_cast<Derived*>(address);
    Base* base = derived;
    return static_cast<long long>(address) - static_cast<long long>(reinterpret_cast<std::uintptr_t>(base));
}

// --- annotations ---

template <class A>
concept AnnotationValue =
    std::is_same_v<std::remove_cvref_t<A>, Annotations> || std::is_constructible_v<tavi::Variant, A>;

// Callables are setters, getters or methods, unless marked as annotations.
template <class A>
concept CallableValue = !callableAnnotation<A> &&
                        (std::is_member_pointer_v<A> || requires { typename CallableSignature<A>::type; });

// Annotations given with a member: each value in order, containers merged.
template <class... A>
Annotations annotationsOf(A&&... values) {
    Annotations result;
    [[maybe_unused]] const auto add = [&result]<class V>(V&& value) {
        using Plain = std::remove_cvref_t<V>;
        static_assert(!CallableValue<Plain>,
                      "this callable is neither a setter nor an annotation. A setter takes the value: a "
                      "member function with one parameter, or a callable such as [](T* object, V value) "
                      "{...}. A callable annotation type is marked with orv::callableAnnotation, or passed "
                      "inside orv::Annotations{...}");
        if constexpr (std::is_same_v<Plain, Annotations>)
            result += std::forward<V>(value);
        else
            result += tavi::Variant(std::forward<V>(value));
    };
    (add(std::forward<A>(values)), ...);
    return result;
}

// --- properties ---

template <class Signature>
struct ResultOf;
template <class R, class... A>
struct ResultOf<R(A...)> {
    using type = R;
};

template <class T, class G>
auto getterResult() {
    if constexpr (std::is_member_object_pointer_v<G>)
        return std::type_identity<decltype(std::declval<const T*>()->*std::declval<G>())>{};
    else if constexpr (std::is_member_function_pointer_v<G>)
        return std::type_identity<std::invoke_result_t<G, T*>>{};
    else
        return std::type_identity<typename ResultOf<CallableSignatureOf<G>>::type>{};
}

// The value type of a property read by G: the data member's type or what
// the getter returns, without references and cv-qualifiers.
template <class T, class G>
using GetterValue = std::decay_t<typename decltype(getterResult<T, G>())::type>;

// A data member that cannot be written: the property is read-only.
template <class T, class G>
concept ConstDataMember = std::is_member_object_pointer_v<G> &&
    std::is_const_v<std::remove_reference_t<decltype(std::declval<T*>()->*std::declval<G>())>>;

template <class Signature>
struct SignatureTraits;
template <class R, class... A>
struct SignatureTraits<R(A...)> {
    static constexpr size_t arity = sizeof...(A);
    using Parameters = std::tuple<A...>;
};

template <class M>
using MemberSignature = typename fuzzy_details::MemberCallSignature<M>::type;

template <class M>
inline constexpr size_t memberArity = 0;
template <class M>
requires std::is_member_function_pointer_v<M>
inline constexpr size_t memberArity<M> = SignatureTraits<MemberSignature<M>>::arity;

// A parameter of a setter of T that receives the value: anything but the
// object, the bound property, the owning object and the setter flags.
template <class T, class P>
inline constexpr bool valueParameter =
    !std::is_same_v<std::decay_t<P>, T*> && !std::is_same_v<std::decay_t<P>, const T*> &&
    !std::is_same_v<std::remove_cvref_t<P>, BoundProperty> &&
    !std::is_same_v<std::remove_cvref_t<P>, ReflectedObject> &&
    !std::is_same_v<std::remove_cvref_t<P>, SetterFlags> &&
    !std::is_same_v<std::remove_cvref_t<P>, SetterFlag>;

template <class T, class Signature>
inline constexpr bool takesValue = false;
template <class T, class R, class... P>
inline constexpr bool takesValue<T, R(P...)> = (valueParameter<T, P> || ...);

// What the builder takes for a setter: a member function with one
// parameter, or a callable that takes the value and fits a setter of T (see
// MetaPropertySetterArgumentsConvertor). A callable that takes no value
// writes nothing: it is not a setter (it may be a callable annotation).
template <class S, class T>
concept SetterFor = !callableAnnotation<std::remove_cvref_t<S>> &&
                    ((std::is_member_function_pointer_v<std::remove_cvref_t<S>> &&
                      memberArity<std::remove_cvref_t<S>> == 1) ||
                     (!std::is_member_pointer_v<std::remove_cvref_t<S>> &&
                      requires { typename CallableSignature<std::remove_cvref_t<S>>::type; } &&
                      takesValue<T, CallableSignatureOf<S>> &&
                      FuzzyCallable<S, SetterSignature, MetaPropertySetterArgumentsConvertor<T>>));

// Whether the argument after a getter is a setter (else: an annotation).
template <class T, class... A>
inline constexpr bool setterFirst = false;
template <class T, class S, class... A>
inline constexpr bool setterFirst<T, S, A...> = SetterFor<S, T>;

// Data members and member functions are read directly (the hot path: no
// adaptor, nothing but the value copied into the Variant); other callables
// are adapted through MetaPropertyArgumentsConvertor<T>.
template <class T, class G>
MetaProperty::Getter makeGetter(G getter) {
    if constexpr (std::is_member_object_pointer_v<G>) {
        return [getter](const BoundProperty& property) {
            return tavi::Variant(convertor_details::instanceOf<T, true>(property)->*getter);
        };
    } else if constexpr (std::is_member_function_pointer_v<G>) {
        static_assert(memberArity<G> == 0, "a member function getter takes no parameters");
        if constexpr (std::is_invocable_v<G, const T*>)
            return [getter](const BoundProperty& property) {
                return tavi::Variant((convertor_details::instanceOf<T, true>(property)->*getter)());
            };
        else
            return [getter](const BoundProperty& property) {
                return tavi::Variant((convertor_details::instanceOf<T, false>(property)->*getter)());
            };
    } else {
        return makeFuzzyCallable<GetterSignature, MetaPropertyArgumentsConvertor<T>>(std::move(getter));
    }
}

// A pointer to a member object, as const as the owner is held.
template <class T, class G>
MetaProperty::Getter makeMemberObjectGetter(G member) {
    return [member](const BoundProperty& property) {
        if (property.object().isConst())
            return tavi::Variant(&(convertor_details::instanceOf<T, true>(property)->*member));
        return tavi::Variant(&(convertor_details::instanceOf<T, false>(property)->*member));
    };
}

// Assigns `value` to a data member: from the value the Variant holds, or
// from its conversion (FuzzyArgumentException when there is none).
template <class T, class G>
MetaProperty::Setter memberSetter(G member) {
    using V = GetterValue<T, G>;
    return [member](const BoundProperty& property, const tavi::Variant& value, SetterFlags) {
        T* object = convertor_details::instanceOf<T, false>(property);
        if constexpr (std::is_same_v<V, tavi::Variant>)
            object->*member = value;
        else if (value.isType<V>())
            object->*member = *static_cast<const V*>(value.data());
        else
            object->*member = convertor_details::valueOf<V>(value);
    };
}

// Calls `call` with `value` as a P: the value the Variant holds (by
// reference where P allows it), or its conversion (FuzzyArgumentException
// when there is none).
template <class P, class F>
void withValue(const tavi::Variant& value, F&& call) {
    using V = std::remove_cvref_t<P>;
    constexpr bool readOnly = !std::is_reference_v<P> || std::is_const_v<std::remove_reference_t<P>>;
    if constexpr (std::is_same_v<V, tavi::Variant>) {
        if constexpr (readOnly) {
            call(value);
        } else {
            V copy(value);
            call(static_cast<P>(copy));
        }
    } else if (value.isType<V>()) {
        const V& held = *static_cast<const V*>(value.data());
        if constexpr (readOnly) {
            call(held);
        } else {
            V copy(held);
            call(static_cast<P>(copy));
        }
    } else {
        V converted = convertor_details::valueOf<V>(value);
        if constexpr (std::is_lvalue_reference_v<P>)
            call(static_cast<P>(converted));
        else
            call(std::move(converted));
    }
}

// Member function setters; callables go through the setter convertor.
template <class T, class S>
MetaProperty::Setter makeSetter(S setter) {
    if constexpr (std::is_member_function_pointer_v<S>) {
        using P = std::tuple_element_t<0, typename SignatureTraits<MemberSignature<S>>::Parameters>;
        return [setter](const BoundProperty& property, const tavi::Variant& value, SetterFlags) {
            T* object = convertor_details::instanceOf<T, false>(property);
            withValue<P>(value, [object, setter](auto&& argument) {
                (object->*setter)(std::forward<decltype(argument)>(argument));
            });
        };
    } else {
        return makeFuzzyCallable<SetterSignature, MetaPropertySetterArgumentsConvertor<T>>(std::move(setter));
    }
}

// --- methods ---

template <class Signature>
struct WithoutObject;
template <class R, class P, class... A>
struct WithoutObject<R(P, A...)> {
    using type = R(A...);
    using Object = P;
};

template <class M>
struct MemberValue;
template <class V, class C>
struct MemberValue<V C::*> {
    using type = V;
};

template <class T, class M>
auto methodSignature() {
    if constexpr (std::is_member_function_pointer_v<M>) {
        return std::type_identity<typename fuzzy_details::MemberCallSignature<M>::type>{};
    } else if constexpr (std::is_member_object_pointer_v<M>) {
        return std::type_identity<CallableSignatureOf<typename MemberValue<M>::type>>{};
    } else {
        using Split = WithoutObject<CallableSignatureOf<M>>;
        static_assert(std::is_convertible_v<T*, typename Split::Object>,
                      "a method callable takes the object first, as const T* (or T* to change it)");
        return std::type_identity<typename Split::type>{};
    }
}

// The parameters a method expects (after the object) and its result.
template <class T, class M>
using MethodSignature = typename decltype(methodSignature<T, M>())::type;

template <class T, class M>
MetaProperty::Method makeMethod(M member) {
    using Signature = MethodSignature<T, M>;
    using Call = meta_property_details::MethodWrapper<T, M, Signature>;
    return MetaProperty::Method(MethodFunction::wrap<Signature>(Call(std::move(member))));
}

} // namespace static_meta_object_details
} // namespace orv
