#pragma once
// Text form of a Variant: the text form of the value it holds.
//
// Writing a void Variant writes nothing. Writing a value whose type has no
// text form sets FAIL. Reading needs a Variant that already holds a value: the
// text is read as that type (a void Variant or a type without text form sets
// FAIL); on failure the Variant keeps its value. Every built-in type reads
// back what it wrote (builtin_types.cpp lists the forms).

#include "platform/variant/text_stream.hpp"
#include "platform/variant/variant.hpp"

#include <concepts>

namespace tavi {

TextStream& writeVariant(TextStream& stream, const Variant& value);
TextStream& readVariant(TextStream& stream, Variant& value);

// Templates, so that no other type reaches them through Variant's converting
// constructor: a type without text form must stay one.
template <std::same_as<Variant> V>
TextStream& operator<<(TextStream& stream, const V& value) {
    return writeVariant(stream, value);
}
template <std::same_as<Variant> V>
TextStream& operator>>(TextStream& stream, V& value) {
    return readVariant(stream, value);
}

} // namespace tavi
