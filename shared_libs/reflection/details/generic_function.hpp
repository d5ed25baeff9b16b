#pragma once
// A callable invoked with a list of Variant arguments: the form in which the
// methods of reflected types are called. The caller passes some fixed
// context first (for methods: the bound property and the setter flags).
//
//   Wrapper<F, R (Args...)>  a typed callable F taking (Context..., Args...);
//                            checks the argument count, converts every
//                            argument to its parameter type and wraps the
//                            result in the result Variant;
//   IdentityWrapper<F>       a callable that already takes the generic form.
//
// Wrappers are immutable and shared through std::shared_ptr<const WrapperBase>.

#include "platform/variant/meta_type.hpp"
#include "platform/variant/variant.hpp"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace orv {

// A generic call that cannot be made with the values given: wrong number of
// arguments, or an argument that does not convert to its parameter type.
class GenericFunctionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace generic_function_details {

// "function accepts %u args, but %u were passed".
[[noreturn]] void throwArityError(size_t expected, size_t passed);
// "failed to cast argument %u of '%s' to '%s'".
[[noreturn]] void throwArgumentError(size_t index, const tavi::Variant& argument,
                                     const std::type_info& parameter);

// One argument made ready for a parameter of type P. A value the Variant
// holds as exactly P's value type is passed without a copy; anything else is
// converted into a local value. A non-const lvalue reference parameter
// writes through a non-const pointer the Variant holds (an out-parameter),
// or else gets a local copy.
template <class P>
class Argument {
    using V = std::remove_cvref_t<P>;
    static constexpr bool writable = std::is_reference_v<P> && !std::is_const_v<std::remove_reference_t<P>>;
    // Abstract or non-copyable values can only be passed where they are.
    static constexpr bool storable = std::is_copy_constructible_v<V> && !std::is_abstract_v<V>;
    using Pointer = std::conditional_t<writable, V*, const V*>;
    using Local = std::conditional_t<storable, std::optional<V>, std::nullopt_t>;

public:
    Argument(const tavi::Variant& argument, size_t index) {
        if constexpr (std::is_lvalue_reference_v<P> && writable) {
            if (V* target = pointee(argument)) {
                m_pointer = target;
                return;
            }
        }
        if constexpr (storable) {
            if (const V* held = direct(argument)) {
                if constexpr (writable)
                    m_pointer = &m_local.emplace(*held);
                else
                    m_pointer = held;
                return;
            }
            if constexpr (std::is_default_constructible_v<V>) {
                if (argument.tryCast(m_local.emplace())) {
                    m_pointer = &*m_local;
                    return;
                }
            }
        } else if constexpr (!writable) {
            if (const V* held = direct(argument)) {
                m_pointer = held;
                return;
            }
        }
        throwArgumentError(index, argument, typeid(V));
    }
    Argument(const Argument&) = delete;
    Argument& operator=(const Argument&) = delete;

    P get() {
        if constexpr (std::is_rvalue_reference_v<P>)
            return std::move(*m_pointer);
        else
            return *m_pointer;
    }

private:
    // The argument itself when it is a V, or the V a held pointer points at.
    static const V* direct(const tavi::Variant& argument) {
        if constexpr (std::is_same_v<V, tavi::Variant>)
            return &argument;
        else
            return argument.castPtr<V>();
    }
    // The object a non-const pointer held by the argument points at.
    static V* pointee(const tavi::Variant& argument) {
        const tavi::MetaType* type = argument.type();
        if (type && type->isPointer() && type->pointeeType() == tavi::MetaType::of<V>() &&
            tavi::MetaType::qualifiersMatch(type->pointerQualifiers(), tavi::MetaType::POINTER))
            return static_cast<V*>(const_cast<void*>(argument.pointerAddress()));
        return nullptr;
    }

    Pointer m_pointer = nullptr;
    Local m_local{std::nullopt};
};

template <size_t I, class P>
struct IndexedArgument : Argument<P> {
    explicit IndexedArgument(const tavi::Variant* arguments) : Argument<P>(arguments[I], I) {}
};

// All arguments of one call, converted in order and in place before the call.
template <class Indices, class... Ps>
class Arguments;

template <size_t... I, class... Ps>
class Arguments<std::index_sequence<I...>, Ps...> : private IndexedArgument<I, Ps>... {
public:
    explicit Arguments([[maybe_unused]] const tavi::Variant* arguments)
        : IndexedArgument<I, Ps>(arguments)... {}

    template <size_t J>
    decltype(auto) get() {
        using P = std::tuple_element_t<J, std::tuple<Ps...>>;
        return static_cast<IndexedArgument<J, P>&>(*this).get();
    }
};

} // namespace generic_function_details

template <class... Context>
class BasicGenericFunction {
public:
    class WrapperBase {
    public:
        virtual ~WrapperBase() = default;
        // Calls with `count` arguments at `arguments` and stores the return
        // value in `result` (void for a callable returning nothing).
        virtual void call(tavi::Variant& result, Context... context, size_t count,
                          const tavi::Variant* arguments) const = 0;
        // The number of arguments the callable expects.
        virtual size_t arity() const = 0;
    };

    template <class F, class Signature>
    class Wrapper;

    // `F` is called with the context followed by the converted arguments.
    template <class F, class R, class... Args>
    class Wrapper<F, R(Args...)> final : public WrapperBase {
    public:
        explicit Wrapper(F function) : m_function(std::move(function)) {}

        void call(tavi::Variant& result, Context... context, size_t count,
                  const tavi::Variant* arguments) const override {
            if (count != sizeof...(Args))
                generic_function_details::throwArityError(sizeof...(Args), count);
            invoke(result, std::index_sequence_for<Args...>{}, arguments, std::forward<Context>(context)...);
        }
        size_t arity() const override { return sizeof...(Args); }

    private:
        template <size_t... I>
        void invoke(tavi::Variant& result, std::index_sequence<I...>, const tavi::Variant* arguments,
                    Context... context) const {
            generic_function_details::Arguments<std::index_sequence<I...>, Args...> converted(arguments);
            if constexpr (std::is_void_v<R>) {
                std::invoke(m_function, std::forward<Context>(context)..., converted.template get<I>()...);
                result.reset();
            } else if constexpr (std::is_same_v<std::remove_cvref_t<R>, tavi::Variant>) {
                result = std::invoke(m_function, std::forward<Context>(context)...,
                                     converted.template get<I>()...);
            } else {
                result = tavi::Variant(std::invoke(m_function, std::forward<Context>(context)...,
                                                   converted.template get<I>()...));
            }
        }

        F m_function;
    };

    // `F` takes (tavi::Variant& result, Context..., size_t count, const
    // tavi::Variant* arguments), or returns the result instead of taking it.
    template <class F>
    class IdentityWrapper final : public WrapperBase {
    public:
        IdentityWrapper(F function, size_t arity) : m_function(std::move(function)), m_arity(arity) {}

        void call(tavi::Variant& result, Context... context, size_t count,
                  const tavi::Variant* arguments) const override {
            if constexpr (std::is_invocable_v<const F&, tavi::Variant&, Context..., size_t,
                                              const tavi::Variant*>)
                std::invoke(m_function, result, std::forward<Context>(context)..., count, arguments);
            else
                result = std::invoke(m_function, std::forward<Context>(context)..., count, arguments);
        }
        size_t arity() const override { return m_arity; }

    private:
        F m_function;
        size_t m_arity;
    };

    // Shorthands for making shared wrappers.
    template <class Signature, class F>
    static std::shared_ptr<const WrapperBase> wrap(F function) {
        return std::make_shared<Wrapper<std::decay_t<F>, Signature>>(std::move(function));
    }
    template <class F>
    static std::shared_ptr<const WrapperBase> identity(F function, size_t arity) {
        return std::make_shared<IdentityWrapper<std::decay_t<F>>>(std::move(function), arity);
    }
};

} // namespace orv
