#pragma once
// std::function that also accepts callables with shorter or differently
// typed parameter lists, adapted through an argument convertor, and the
// exception raised when an argument cannot be converted.

#include "orv_cpp_utils/details/fuzzy_arguments.hpp"

#include <functional>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace tavi {
class MetaType;
}

namespace orv {

class MetaObject;

// A user callable could not be given the argument it asks for.
class FuzzyArgumentException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace meta_property_details {

// "failed to cast ReflectedObject of '%s' to '%s'" (or "failed to cast
// invalid ReflectedObject to '%s'" without a meta object).
[[noreturn]] void throwCastError(const MetaObject* metaObject, const char* targetType);
// "failed to cast Variant of '%s' to '%s'".
[[noreturn]] void throwCastError(const tavi::MetaType* type, const char* targetType);

} // namespace meta_property_details

template <class Signature, class Convertor = DefaultArgumentsConvertor>
class FuzzyFunction;

// Behaves exactly as std::function<R (Args...)>; in addition a callable
// whose parameters are an ordered subsequence of Args (or convertible from
// them through Convertor) is accepted and adapted.
template <class R, class... Args, class Convertor>
class FuzzyFunction<R(Args...), Convertor> : public std::function<R(Args...)> {
    using Base = std::function<R(Args...)>;

public:
    using convertor_type = Convertor;

    FuzzyFunction() noexcept = default;
    FuzzyFunction(std::nullptr_t) noexcept {}
    FuzzyFunction(const Base& function) : Base(function) {}
    FuzzyFunction(Base&& function) noexcept : Base(std::move(function)) {}

    template <class F>
    requires(!std::is_base_of_v<Base, std::remove_cvref_t<F>> &&
             !std::is_same_v<std::remove_cvref_t<F>, std::nullptr_t> &&
             FuzzyCallable<F, R(Args...), Convertor>) FuzzyFunction(F&& f)
        : Base(makeFuzzyCallable<R(Args...), Convertor>(std::forward<F>(f))) {}
};

} // namespace orv
