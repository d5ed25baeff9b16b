#pragma once
// The annotation that marks changes as not undoable.

#include "orv_cpp_utils/details/fuzzy_arguments.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"

#include <cstdint>

namespace orv {
class ReflectedObject;
}

namespace Meta {

// The function gives the mode for an object (for a property annotation, the
// property's owning object). Stateless changes notify but record no undo.
struct Stateless {
    // Shallow applies to an object's own properties; Deep also to everything
    // held below them.
    enum class Mode : int32_t { None = 0, Shallow = 1, Deep = 2 };
    using Function = orv::FuzzyFunction<Mode(const orv::ReflectedObject&), orv::DefaultArgumentsConvertor>;

    Stateless() = default;
    explicit Stateless(Function function) : function(std::move(function)) {}
    explicit Stateless(Mode mode) : function([mode](const orv::ReflectedObject&) { return mode; }) {}

    Function function;
};

} // namespace Meta
