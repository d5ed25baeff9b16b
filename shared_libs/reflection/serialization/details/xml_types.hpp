#pragma once
// What the XML writer and reader agree on: which objects are collections and
// how a type is named in a document.

#include <string_view>
#include <typeinfo>

namespace orv {

class ReflectedObject;
class TypeInfo;

namespace xml_details {

// Whether the object's annotations contain Meta::Collection.
bool isCollection(const ReflectedObject& object);

// The name a document gives the type described by `info`: that of the first
// candidate with a meta object or a meta type (the meta object's first for
// pointers, the meta type's first for values; empty for meta types that keep
// their name out of documents), else the readable name of the first
// candidate; empty for an empty TypeInfo. The text lives as long as the
// process.
std::string_view typeName(const TypeInfo& info);

// The readable C++ name of a type that neither registry knows; the text lives
// as long as the process.
std::string_view undecoratedName(const std::type_info& type);

} // namespace xml_details
} // namespace orv
