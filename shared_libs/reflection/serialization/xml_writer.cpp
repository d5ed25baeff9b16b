#include "shared_libs/reflection/serialization/xml_writer.hpp"

#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/text_stream.hpp"
#include "platform/variant/variant.hpp"
#include "platform/variant/variant_converter.hpp"
#include "platform/variant/variant_stream.hpp"
#include "platform/variant/xml_escape.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/serialization/details/xml_types.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <cstdint>
#include <string>

namespace orv {

namespace {
// The writer gathers the document in memory and hands it to the stream in
// pieces of about this size: one stream write per piece instead of one per
// tag, name and quote.
constexpr size_t FLUSH_SIZE = size_t(64) * 1024;
} // namespace

XMLWriter::XMLWriter(tavi::TextStream& stream, const XMLSerializer::Format& format)
    : m_stream(stream),
      m_format(format),
      m_depth(format.initialDepth),
      m_bufferStream(m_buffer, tavi::FixedMemoryStream::Mode::APPEND),
      m_bufferText(m_bufferStream) {
    m_buffer.reserve(FLUSH_SIZE + FLUSH_SIZE / 4);
}

bool XMLWriter::write(const tavi::Variant& value) {
    Kor::StackTracker::Frame frame("orv::XMLWriter::write");
    return document([&] { writeValue(value); });
}

bool XMLWriter::write(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::XMLWriter::write");
    return document([&] { writeProperty(property, false); });
}

bool XMLWriter::write(const ReflectedObject& object) {
    Kor::StackTracker::Frame frame("orv::XMLWriter::write");
    return document([&] {
        if (!object.isValid())
            return;
        TypeInfo typeInfo(object.get());
        typeInfo.addType(typeid(tavi::Variant));
        writeObject(object, typeInfo);
    });
}

template <class Content>
bool XMLWriter::document(Content&& content) {
    beginOpenTag(m_format.rootTag);
    content();
    closeTag(m_format.rootTag);
    flush();
    return !fail();
}

// --- output -------------------------------------------------------------------

void XMLWriter::flush() {
    if (m_buffer.empty())
        return;
    m_stream.writeText(m_buffer);
    m_buffer.clear();
}

bool XMLWriter::fail() const { return m_stream.fail(); }

void XMLWriter::setFail() {
    // What came before the failure still reaches the stream, as it would
    // have without the buffer.
    flush();
    m_stream.setState(tavi::BasicStream::FAIL);
}

// --- tags ---------------------------------------------------------------------

void XMLWriter::beginOpenTag(std::string_view name) {
    if (m_tagOpen) {
        m_buffer += '>';
        writeNewline();
    }
    writeIndent();
    m_buffer += '<';
    m_buffer += name;
    ++m_depth;
    m_tagOpen = true;
    m_afterChild = false;
}

void XMLWriter::endOpenTag() {
    if (m_tagOpen) {
        m_buffer += '>';
        m_tagOpen = false;
    }
}

void XMLWriter::closeTag(std::string_view name) {
    --m_depth;
    if (m_tagOpen) {
        m_buffer += "/>";
        m_tagOpen = false;
    } else {
        if (m_afterChild)
            writeIndent();
        m_buffer += "</";
        m_buffer += name;
        m_buffer += '>';
    }
    writeNewline();
    m_afterChild = true;
    if (m_buffer.size() >= FLUSH_SIZE)
        flush();
}

void XMLWriter::writeIndent() {
    if (m_format.indent.empty())
        return;
    for (int32_t i = 0; i < m_depth; ++i)
        m_buffer += m_format.indent;
}

void XMLWriter::writeNewline() { m_buffer += m_format.newline; }

void XMLWriter::writeAttribute(std::string_view name, std::string_view text) {
    if (!m_tagOpen) {
        setFail();
        return;
    }
    m_buffer += ' ';
    m_buffer += name;
    m_buffer += "=\"";
    tavi::XmlEscapeDataStream escaped(m_bufferText, tavi::XML_ATTRIBUTE_VALUE);
    escaped.write(text.data(), text.size());
    if (escaped.failed())
        setFail();
    m_buffer += '"';
}

// --- values -------------------------------------------------------------------

// What BoundProperty::typeInfo() gives, from a meta property and a value
// already at hand.
TypeInfo XMLWriter::typeInfoOf(const MetaProperty& meta, const tavi::Variant& value) {
    return TypeInfo(value, meta.propertyType(), meta.storageType());
}

std::string_view XMLWriter::typeName(const TypeInfo& typeInfo) {
    // A document names few types many times: the registries are asked once per type.
    const auto same = [&](const NamedType& known) {
        if (known.isPointer != typeInfo.isPointer())
            return false;
        for (size_t slot = 0; slot < TypeInfo::MAX_TYPES; ++slot)
            if (known.types[slot] != typeInfo.type(slot))
                return false;
        return true;
    };
    for (const NamedType& known : m_typeNames)
        if (same(known))
            return known.name;
    NamedType named{{typeInfo.type(0), typeInfo.type(1), typeInfo.type(2)},
                    typeInfo.isPointer(),
                    xml_details::typeName(typeInfo)};
    if (m_typeNames.size() < MAX_NAMED_TYPES)
        m_typeNames.push_back(named);
    return named.name;
}

void XMLWriter::writeValue(const tavi::Variant& value) {
    // The value came as a Variant: its dynamic type is what a reader needs.
    TypeInfo typeInfo(value);
    typeInfo.addType(typeid(tavi::Variant));
    const ReflectedObject object(value);
    if (object.isValid())
        writeObject(object, typeInfo);
    else
        writeCommonValue(value, typeInfo);
}

void XMLWriter::writeProperty(const BoundProperty& property, bool typeWritten) {
    const std::shared_ptr<MetaProperty> meta = property.metaProperty();
    writeProperty(property, meta.get(), property.get(), typeWritten);
}

void XMLWriter::writeProperty(const BoundProperty& property, const MetaProperty* meta,
                              const tavi::Variant& value, bool typeWritten) {
    const TypeInfo typeInfo = typeWritten || !meta ? TypeInfo() : typeInfoOf(*meta, value);
    // Only a pointer can hold an object.
    if (value.isNonNullPointer()) {
        const ReflectedObject object(property);
        if (object.isValid()) {
            writeObject(object, typeInfo);
            return;
        }
    }
    writeCommonValue(value, typeInfo);
}

void XMLWriter::writeObject(const ReflectedObject& object, const TypeInfo& typeInfo) {
    if (typeInfo.containsType(typeid(tavi::Variant))) {
        const std::string_view name = typeName(typeInfo);
        if (!name.empty())
            writeAttribute(m_format.typeAttribute, name);
    }
    if (xml_details::isCollection(object))
        writeCollection(object);
    else
        writeCommonObject(object);
}

void XMLWriter::writeCommonObject(const ReflectedObject& object) {
    const size_t count = object.propertyCount();
    for (size_t i = 0; i < count; ++i) {
        // The meta property and the value are each read once per property.
        const BoundProperty property = object.propertyAt(i);
        const std::shared_ptr<MetaProperty> meta = property.metaProperty();
        if (meta && meta->method())
            continue;
        beginOpenTag(m_format.propertyTag);
        writeAttribute(m_format.nameAttribute, meta ? std::string_view(meta->name()) : std::string_view());
        writeProperty(property, meta.get(), property.get(), false);
        closeTag(m_format.propertyTag);
        if (fail())
            return;
    }
}

void XMLWriter::writeCollection(const ReflectedObject& object) {
    // Items numbered 0, 1, 2 ... carry no key; a jump in the numbering writes
    // the key once, where it happens; a key that is not a number is always
    // written. An item repeats its type only when it changes, or when the
    // element is a Variant that may hold anything.
    int64_t expectedIndex = 0;
    std::string_view previousType;
    tavi::Variant index{int32_t(0)};
    const size_t count = object.propertyCount();
    for (size_t i = 0; i < count; ++i) {
        const BoundProperty property = object.propertyAt(i);
        const std::shared_ptr<MetaProperty> meta = property.metaProperty();
        if (!property.isValid() || !meta || meta->method())
            continue;
        beginOpenTag(m_format.itemTag);

        const std::string& key = meta->name();
        if (!tavi::VariantConverter::convert(index, tavi::Variant(key))) {
            writeAttribute(m_format.keyAttribute, key);
        } else if (const int64_t number = *index.castPtr<int32_t>(); number != expectedIndex) {
            expectedIndex = number;
            writeAttribute(m_format.keyAttribute, key);
        }
        ++expectedIndex;

        const tavi::Variant value = property.get();
        const TypeInfo typeInfo = typeInfoOf(*meta, value);
        const std::string_view type = typeName(typeInfo);
        bool typeWritten = false;
        if (!type.empty() && (type != previousType || typeInfo.containsType(typeid(tavi::Variant)))) {
            writeAttribute(m_format.typeAttribute, type);
            typeWritten = true;
        }
        previousType = type;

        writeProperty(property, meta.get(), value, typeWritten);
        closeTag(m_format.itemTag);
        if (fail())
            return;
    }
}

void XMLWriter::writeCommonValue(const tavi::Variant& value, const TypeInfo& typeInfo) {
    if (value.isVoid() || value.isNullPointer())
        return; // closed as an empty element by the caller
    const std::string_view type = typeName(typeInfo);
    if (!type.empty())
        writeAttribute(m_format.typeAttribute, type);
    endOpenTag();
    m_buffer += m_format.valuePadding;
    tavi::XmlEscapeDataStream escaped(m_bufferText, tavi::XML_ELEMENT_TEXT);
    tavi::TextStream text(escaped);
    text << value;
    if (escaped.failed() || text.fail())
        setFail();
    m_buffer += m_format.valuePadding;
}

} // namespace orv
