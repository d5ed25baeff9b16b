#pragma once
// Writes one reflected value as one XML document (the format is described
// in xml_serializer.hpp).

#include "platform/variant/memory_stream.hpp"
#include "platform/variant/text_stream.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace tavi {
class Variant;
} // namespace tavi

namespace orv {

class BoundProperty;
class MetaProperty;
class ReflectedObject;

// A short-lived writer for one document. It never throws: the text goes to
// the stream, which ignores writes once it has failed, and an object stops
// writing properties as soon as the stream has failed (the text is handed
// over in pieces, so a full sink is noticed when the next piece meets it).
class XMLWriter {
public:
    XMLWriter(tavi::TextStream& stream, const XMLSerializer::Format& format);
    XMLWriter(const XMLWriter&) = delete;
    XMLWriter& operator=(const XMLWriter&) = delete;

    // False when the stream has failed by the end of the document.
    bool write(const tavi::Variant& value);
    bool write(const BoundProperty& property);
    // The object's value, as write(object.get()) would write it, through the
    // caller's handle: its cached property contexts are reused.
    bool write(const ReflectedObject& object);

private:
    template <class Content>
    bool document(Content&& content);
    void flush();
    // Fails the output stream.
    void setFail();

    void beginOpenTag(std::string_view name);
    void endOpenTag();
    void closeTag(std::string_view name);
    void writeIndent();
    void writeNewline();
    // Only while an opening tag is open; otherwise the stream fails.
    void writeAttribute(std::string_view name, std::string_view text);

    void writeValue(const tavi::Variant& value);
    void writeProperty(const BoundProperty& property, bool typeWritten);
    // The same with the property's meta property and value already read.
    void writeProperty(const BoundProperty& property, const MetaProperty* meta, const tavi::Variant& value,
                       bool typeWritten);
    void writeObject(const ReflectedObject& object, const TypeInfo& typeInfo);
    void writeCommonObject(const ReflectedObject& object);
    void writeCollection(const ReflectedObject& object);
    void writeCommonValue(const tavi::Variant& value, const TypeInfo& typeInfo);
    bool fail() const;
    static TypeInfo typeInfoOf(const MetaProperty& meta, const tavi::Variant& value);
    std::string_view typeName(const TypeInfo& typeInfo);

    tavi::TextStream& m_stream;
    const XMLSerializer::Format& m_format;
    int32_t m_depth;
    bool m_tagOpen = false;
    bool m_afterChild = false;
    // The text not yet handed to the stream; values and escaped text reach
    // it through a stream of its own.
    std::string m_buffer;
    tavi::FixedMemoryStream m_bufferStream;
    tavi::TextStream m_bufferText;

    // The names of the types met so far in this document.
    struct NamedType {
        std::array<const std::type_info*, TypeInfo::MAX_TYPES> types;
        bool isPointer;
        std::string_view name;
    };
    static constexpr size_t MAX_NAMED_TYPES = 32;
    std::vector<NamedType> m_typeNames;
};

} // namespace orv
