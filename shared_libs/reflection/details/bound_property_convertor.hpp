#pragma once
// The convertor of every signal slot and annotation callback that takes a
// bound property: such callables may ask for the owning object instead.

#include "orv_cpp_utils/details/fuzzy_arguments.hpp"

#include <concepts>
#include <type_traits>

namespace orv {

class BoundProperty;
class ReflectedObject;

namespace convertor_details {
template <class A>
concept BoundPropertyArgument = std::same_as<std::remove_cvref_t<A>, BoundProperty>;
} // namespace convertor_details

// Adds `const BoundProperty&` → `const ReflectedObject&` (the owning object).
struct BoundPropertyArgumentConvertor {
    template <class Param, class Arg>
    struct Converter : DefaultArgumentsConvertor::Converter<Param, Arg> {};

    template <convertor_details::BoundPropertyArgument Arg>
    struct Converter<const ReflectedObject&, Arg> {
        static constexpr bool enabled = true;
        template <class A>
        static decltype(auto) convert(A&& property) {
            return property.object();
        }
    };
};

} // namespace orv
