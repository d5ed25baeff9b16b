#pragma once
// Conversion of a Variant's value into another type.
//
// Built-in rules, tried in this order (`to` keeps its type in every case):
// - same type: a copy;
// - numbers (bool, char, the integer types, float, double, enumerations and
//   zel::Flags) to numbers: exact range checks, out of range gives false.
//   Floating point to integer truncates toward zero and then checks the
//   range (2.9 -> 2, -2.9 -> -2, 1e20 -> false); NaN and infinities never
//   become integers. bool takes only 0 and 1. double to float rounds and only
//   fails for finite values beyond the float range. Enumerations convert to
//   and from integers and bool, never to another enumeration or to floating
//   point;
// - numbers to text and text to numbers (std::string and std::wstring): the
//   shortest decimal form that reads back exactly, "true"/"false" for bool;
//   parsing takes the whole text, surrounding whitespace allowed, trailing
//   garbage gives false; bool reads "true", "false", "1" or "0";
// - narrow and wide text: UTF-8 <-> UTF-32 (invalid sequences become U+FFFD);
// - pointers (T*, const T*, std::shared_ptr<T>) to const void* (and void*
//   when not const), and to a raw pointer of the same pointee when the
//   qualifiers allow (T* -> const T*, shared_ptr<T> -> T*);
// - conversions registered with registerConversion();
// - any other value with a text form to text and back (the form of the
//   Variant text operators, without the quotes of strings);
// - a non-null pointer to T into whatever T converts to (dereferencing).
// The rules above a registered conversion come first: one registered between
// two number, text or pointer types is never reached.

#include "platform/variant/meta_type.hpp"

#include <functional>
#include <memory>

namespace tavi {

class Variant;

struct VariantConverter {
    using Function = std::function<bool(const void* from, void* to)>;

    // Converts `from` into the type `to` already holds. False (and `to`
    // unchanged) when `to` or `from` is void or no conversion exists.
    static bool convert(Variant& to, const Variant& from);
    // The same on raw values: `to` is a constructed value of `toType`.
    static bool convert(const MetaType* toType, void* to, const MetaType* fromType, const void* from);

    // Adds (or replaces) the conversion from `From` to `To`. The function gets
    // the source and a constructed target, and returns whether it converted.
    template <class From, class To>
    static void registerConversion(std::function<bool(const From&, To&)> function) {
        registerConversion(MetaType::of<From>(), MetaType::of<To>(),
                           [f = std::move(function)](const void* from, void* to) {
                               return f(*static_cast<const From*>(from), *static_cast<To*>(to));
                           });
    }
    static void registerConversion(const MetaType* from, const MetaType* to, Function function);
    // Whether a conversion was registered for exactly this pair.
    static bool hasRegisteredConversion(const MetaType* from, const MetaType* to);
};

} // namespace tavi

#include "platform/variant/variant.hpp"
