#pragma once
// Writes one reflected value as one XML document (the format is described
// in xml_serializer.hpp).

#include "shared_libs/reflection/serialization/xml_serializer.hpp"

#include <cstdint>
#include <string_view>

namespace tavi {
class TextStream;
class Variant;
} // namespace tavi

namespace orv {

class BoundProperty;
class ReflectedObject;
class TypeInfo;

// A short-lived writer for one document. It never throws: every write goes
// to the stream, which ignores writes once it has failed, and an object
// stops writing properties as soon as the stream has failed.
class XMLWriter {
public:
    XMLWriter(tavi::TextStream& stream, const XMLSerializer::Format& format);
    XMLWriter(const XMLWriter&) = delete;
    XMLWriter& operator=(const XMLWriter&) = delete;

    // False when the stream has failed by the end of the document.
    bool write(const tavi::Variant& value);
    bool write(const BoundProperty& property);

private:
    void beginOpenTag(std::string_view name);
    void endOpenTag();
    void closeTag(std::string_view name);
    void writeIndent();
    void writeNewline();
    // Only while an opening tag is open; otherwise the stream fails.
    void writeAttribute(std::string_view name, std::string_view text);

    void writeValue(const tavi::Variant& value);
    void writeProperty(const BoundProperty& property, bool typeWritten);
    void writeObject(const ReflectedObject& object, const TypeInfo& typeInfo);
    void writeCommonObject(const ReflectedObject& object);
    void writeCollection(const ReflectedObject& object);
    void writeCommonValue(const tavi::Variant& value, const TypeInfo& typeInfo);
    bool fail() const;

    tavi::TextStream& m_stream;
    const XMLSerializer::Format& m_format;
    int32_t m_depth;
    bool m_tagOpen = false;
    bool m_afterChild = false;
};

} // namespace orv
