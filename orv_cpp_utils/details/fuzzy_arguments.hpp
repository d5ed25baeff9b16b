#pragma once
// Calling a callable through a longer, differently typed signature.
//
// User code hands the library getters, setters, annotation callbacks and slots
// whose parameter lists are shorter than (or typed differently from) the
// signature the library calls them with. `orv::FuzzyArgumentsAdaptor` bridges
// the two: given the full signature `R (Args...)` and the callable's own
// signature `Rf (Ps...)`, it is a function object callable as `R (Args...)`.
//
// Parameter matching, decided at compile time, parameter by parameter in order:
// each parameter P takes the first not yet passed full argument A (after the
// one the previous parameter took) for which
//   1. A has the same type as P apart from references and const, and an A
//      expression can initialise a P (so `const X&` never feeds an `X&`), or
//   2. the Convertor converts A into P.
// Full arguments that no parameter takes are dropped. No implicit conversions
// are tried: `tavi::Variant` accepts anything, so they would take the wrong
// argument. A parameter that no remaining argument fits is a compile error.
//
// The result of the callable becomes R: discarded when R is void; otherwise
// converted by the Convertor when it offers a conversion (also from a void
// result), else by implicit conversion (a single flag into a flag set).
//
// Convertor policy - a class (never instantiated) with two member templates,
// each optional; a missing one means "no conversions of that kind":
//
//   template <class Param, class Arg> struct Converter {
//       static constexpr bool enabled = ...;     // whether Arg converts to Param
//       static auto convert(Arg arg);            // returns what initialises a Param
//   };
//   template <class R, class From> struct ResultConverter {
//       static constexpr bool enabled = ...;     // whether a From result converts to R
//       static R convert(From result);           // From != void
//       static R convert();                      // From == void
//   };
//
// Param, Arg, R and From are the types exactly as declared in the signatures
// (`const BoundProperty&`, `const T*`, `const tavi::Variant&`...). `convert`
// is called with the full argument forwarded as an expression of type Arg; a
// temporary it returns lives until the callable returns, so returning a value
// for a `const X&` parameter is fine. `convert` may throw (the library throws
// `orv::FuzzyArgumentException`); the callable is then not called.
//
// A convertor that adds conversions declares the member templates with a
// disabled primary and partial specialisations for what it converts; to build
// on another convertor, derive the primary from the other's:
//
//   struct MyConvertor {
//       template <class P, class A> struct Converter : orv::DefaultArgumentsConvertor::Converter<P, A> {};
//       template <class A> requires std::same_as<std::remove_cvref_t<A>, Handle>
//       struct Converter<const Object&, A> {
//           static constexpr bool enabled = true;
//           static Object convert(const Handle& h) { return h.object(); }
//       };
//   };

#include <array>
#include <concepts>
#include <cstddef>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

namespace orv {

// Adds no conversions: parameters only take full arguments of their own type.
struct DefaultArgumentsConvertor {
    template <class Param, class Arg>
    struct Converter {
        static constexpr bool enabled = false;
    };
    template <class R, class From>
    struct ResultConverter {
        static constexpr bool enabled = false;
    };
};

// The call signature `R (Args...)` of a function, function pointer or class
// with one non-template call operator; no `type` member otherwise.
template <class F, class = void>
struct CallableSignature {};

template <class R, class... A>
struct CallableSignature<R(A...)> {
    using type = R(A...);
};
template <class R, class... A>
struct CallableSignature<R(A...) noexcept> : CallableSignature<R(A...)> {};
template <class R, class... A>
struct CallableSignature<R (*)(A...)> : CallableSignature<R(A...)> {};
template <class R, class... A>
struct CallableSignature<R (*)(A...) noexcept> : CallableSignature<R(A...)> {};

namespace fuzzy_details {

template <class M>
struct MemberCallSignature {};
template <class R, class C, class... A>
struct MemberCallSignature<R (C::*)(A...)> {
    using type = R(A...);
};
template <class R, class C, class... A>
struct MemberCallSignature<R (C::*)(A...) noexcept> {
    using type = R(A...);
};
template <class R, class C, class... A>
struct MemberCallSignature<R (C::*)(A...) const> {
    using type = R(A...);
};
template <class R, class C, class... A>
struct MemberCallSignature<R (C::*)(A...) const noexcept> {
    using type = R(A...);
};
template <class R, class C, class... A>
struct MemberCallSignature<R (C::*)(A...)&> {
    using type = R(A...);
};
template <class R, class C, class... A>
struct MemberCallSignature<R (C::*)(A...)& noexcept> {
    using type = R(A...);
};
template <class R, class C, class... A>
struct MemberCallSignature<R (C::*)(A...) const&> {
    using type = R(A...);
};
template <class R, class C, class... A>
struct MemberCallSignature<R (C::*)(A...) const& noexcept> {
    using type = R(A...);
};

} // namespace fuzzy_details

template <class F>
struct CallableSignature<F, std::void_t<decltype(&F::operator())>>
    : fuzzy_details::MemberCallSignature<decltype(&F::operator())> {};

template <class F>
using CallableSignatureOf = typename CallableSignature<std::remove_cvref_t<F>>::type;

namespace fuzzy_details {

template <class... T>
struct TypeList {};

template <class Convertor, class Param, class Arg>
constexpr bool converterEnabled() {
    if constexpr (requires { Convertor::template Converter<Param, Arg>::enabled; })
        return bool(Convertor::template Converter<Param, Arg>::enabled);
    else
        return false;
}

template <class Convertor, class R, class From>
constexpr bool resultConverterEnabled() {
    if constexpr (requires { Convertor::template ResultConverter<R, From>::enabled; })
        return bool(Convertor::template ResultConverter<R, From>::enabled);
    else
        return false;
}

template <class Param, class Arg>
inline constexpr bool sameArgument =
    std::is_same_v<std::remove_cvref_t<Param>, std::remove_cvref_t<Arg>>&& std::is_convertible_v<Arg, Param>;

enum class Match { None, Same, Converted };

template <class Convertor, class Param, class Arg>
constexpr Match matchOf() {
    if constexpr (sameArgument<Param, Arg>)
        return Match::Same;
    else if constexpr (converterEnabled<Convertor, Param, Arg>())
        return Match::Converted;
    else
        return Match::None;
}

// Which full argument feeds each parameter, and how.
template <size_t M>
struct Plan {
    bool complete = true;
    size_t firstUnmatched = M; // the parameter that found no argument
    std::array<size_t, M> source{};
    std::array<Match, M> match{};
};

template <class Convertor, class ParamList, class ArgList>
struct Planner;

template <class Convertor, class... Ps, class... As>
struct Planner<Convertor, TypeList<Ps...>, TypeList<As...>> {
    static constexpr size_t M = sizeof...(Ps);
    static constexpr size_t N = sizeof...(As);

    template <class P>
    static constexpr std::array<Match, N> row() {
        return {matchOf<Convertor, P, As>()...};
    }

    static constexpr Plan<M> make() {
        const std::array<std::array<Match, N>, M> table{row<Ps>()...};
        Plan<M> plan;
        size_t next = 0;
        for (size_t p = 0; p < M; ++p) {
            size_t a = next;
            while (a < N && table[p][a] == Match::None)
                ++a;
            if (a == N) {
                plan.complete = false;
                plan.firstUnmatched = p;
                return plan;
            }
            plan.source[p] = a;
            plan.match[p] = table[p][a];
            next = a + 1;
        }
        return plan;
    }

    static constexpr Plan<M> plan = make();
};

// Instantiated only for a parameter that nothing feeds, so that the compiler
// names its type in the error.
template <class Param, class FullSignature>
struct ReportUnmatchedParameter {
    static_assert(
        sizeof(Param) == 0,
        "orv::FuzzyArgumentsAdaptor: a parameter of the callable matches no remaining argument of the full "
        "signature (neither the same type nor a conversion offered by the Convertor)");
};

template <class Convertor, class Param, class Arg, Match How>
struct Feed;

template <class Convertor, class Param, class Arg>
struct Feed<Convertor, Param, Arg, Match::Same> {
    static decltype(auto) get(Arg&& arg) { return std::forward<Arg>(arg); }
};

template <class Convertor, class Param, class Arg>
struct Feed<Convertor, Param, Arg, Match::Converted> {
    static decltype(auto) get(Arg&& arg) {
        return Convertor::template Converter<Param, Arg>::convert(std::forward<Arg>(arg));
    }
};

} // namespace fuzzy_details

template <class Functor, class FullSignature, class FunctorSignature,
          class Convertor = DefaultArgumentsConvertor>
class FuzzyArgumentsAdaptor;

template <class Functor, class R, class... Args, class Rf, class... Ps, class Convertor>
class FuzzyArgumentsAdaptor<Functor, R(Args...), Rf(Ps...), Convertor> {
    using Planner =
        fuzzy_details::Planner<Convertor, fuzzy_details::TypeList<Ps...>, fuzzy_details::TypeList<Args...>>;
    static constexpr fuzzy_details::Plan<sizeof...(Ps)> s_plan = Planner::plan;

public:
    // Whether every parameter found its argument and the result converts.
    static constexpr bool resultConverts = std::is_void_v<R> ||
                                           fuzzy_details::resultConverterEnabled<Convertor, R, Rf>() ||
                                           (!std::is_void_v<Rf> && std::is_convertible_v<Rf, R>);
    static constexpr bool viable = s_plan.complete && resultConverts;

    explicit FuzzyArgumentsAdaptor(Functor functor) : m_functor(std::move(functor)) {
        if constexpr (!s_plan.complete)
            (void)fuzzy_details::ReportUnmatchedParameter<
                std::tuple_element_t<s_plan.firstUnmatched, std::tuple<Ps...>>, R(Args...)>{};
        static_assert(resultConverts,
                      "orv::FuzzyArgumentsAdaptor: the callable's result does not convert to the "
                      "full signature's result (no implicit conversion and none from the Convertor)");
    }

    R operator()(Args... args) { return call(m_functor, std::forward<Args>(args)...); }
    R operator()(Args... args) const requires std::is_invocable_v<const Functor&, Ps...> {
        return call(m_functor, std::forward<Args>(args)...);
    }

    const Functor& functor() const noexcept { return m_functor; }

private:
    template <class F>
    static R call(F& functor, Args&&... args) {
        if constexpr (std::is_pointer_v<Functor>) {
            if (!functor)
                throw std::bad_function_call(); // as std::function built from a null pointer
        }
        auto all = std::forward_as_tuple(std::forward<Args>(args)...);
        using Result = decltype(invokeMapped(functor, all, std::index_sequence_for<Ps...>{}));
        if constexpr (std::is_void_v<R>) {
            invokeMapped(functor, all, std::index_sequence_for<Ps...>{});
        } else if constexpr (std::is_void_v<Result>) {
            invokeMapped(functor, all, std::index_sequence_for<Ps...>{});
            return Convertor::template ResultConverter<R, void>::convert();
        } else if constexpr (fuzzy_details::resultConverterEnabled<Convertor, R, Rf>()) {
            return Convertor::template ResultConverter<R, Rf>::convert(
                invokeMapped(functor, all, std::index_sequence_for<Ps...>{}));
        } else {
            return invokeMapped(functor, all, std::index_sequence_for<Ps...>{});
        }
    }

    template <class F, class Tuple, size_t... I>
    static Rf invokeMapped(F& functor, Tuple& all, std::index_sequence<I...>) {
        if constexpr (s_plan.complete)
            return std::invoke(functor, feed<I>(all)...);
        else
            throw std::bad_function_call(); // unreachable: the constructor failed to compile
    }

    template <size_t I, class Tuple>
    static decltype(auto) feed(Tuple& all) {
        constexpr size_t source = s_plan.source[I];
        using Param = std::tuple_element_t<I, std::tuple<Ps...>>;
        using Arg = std::tuple_element_t<source, std::tuple<Args...>>;
        return fuzzy_details::Feed<Convertor, Param, Arg, s_plan.match[I]>::get(
            std::forward<Arg>(std::get<source>(all)));
    }

    Functor m_functor;
};

// Whether `F` can stand for `FullSignature` (directly or through an adaptor).
template <class F, class FullSignature, class Convertor = DefaultArgumentsConvertor>
struct IsFuzzyCallable : std::false_type {};

namespace fuzzy_details {

// F is used as it is when it is callable with the full arguments and its
// result needs no conversion by the Convertor.
template <class F, class R, class... Args>
constexpr bool directlyCallable() {
    if constexpr (!std::is_invocable_v<F&, Args...>)
        return false;
    else if constexpr (std::is_void_v<R>)
        return true;
    else
        return std::is_same_v<std::invoke_result_t<F&, Args...>, R>;
}

template <class F, class FullSignature, class Convertor, class = void>
struct AdaptorFor {
    static constexpr bool viable = false;
};

template <class F, class FullSignature, class Convertor>
struct AdaptorFor<F, FullSignature, Convertor, std::void_t<CallableSignatureOf<F>>> {
    using type = FuzzyArgumentsAdaptor<std::decay_t<F>, FullSignature, CallableSignatureOf<F>, Convertor>;
    static constexpr bool viable = type::viable;
};

} // namespace fuzzy_details

template <class F, class R, class... Args, class Convertor>
struct IsFuzzyCallable<F, R(Args...), Convertor>
    : std::bool_constant<fuzzy_details::directlyCallable<std::decay_t<F>, R, Args...>() ||
                         fuzzy_details::AdaptorFor<F, R(Args...), Convertor>::viable> {};

template <class F, class FullSignature, class Convertor = DefaultArgumentsConvertor>
concept FuzzyCallable = IsFuzzyCallable<F, FullSignature, Convertor>::value;

// A function object callable as `FullSignature`: `f` itself when it already
// fits, otherwise `f` wrapped in a FuzzyArgumentsAdaptor. This is what a
// fuzzy std::function-like wrapper stores.
template <class FullSignature, class Convertor = DefaultArgumentsConvertor, class F>
auto makeFuzzyCallable(F&& f) {
    return [&]<class R, class... Args>(std::type_identity<R(Args...)>) {
        if constexpr (fuzzy_details::directlyCallable<std::decay_t<F>, R, Args...>())
            return std::decay_t<F>(std::forward<F>(f));
        else
            return typename fuzzy_details::AdaptorFor<F, FullSignature, Convertor>::type(std::forward<F>(f));
    }(std::type_identity<FullSignature>{});
}

} // namespace orv
