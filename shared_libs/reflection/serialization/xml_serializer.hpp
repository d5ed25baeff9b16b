#pragma once
// Reflected values as XML text, and back.
//
// An XMLSerializer sits on a data stream (memory, a file, anything that is an
// IDataStream) and writes one value or one bound property per call as one XML
// document, or reads one document back into a value or a property. Objects
// are written property by property, collections item by item, everything
// else as the text form of the value:
//
//     <root type="Light">
//         <property name="name" type="string"> "lamp" </property>
//         <property name="transform">
//             <property name="scale" type="float"> 1.5 </property>
//         </property>
//     </root>
//
// (by default indented with tabs, and a tab on either side of each value).
//
// Files take one call each:
//
//     orv::writeXmlFile("scene.xml", tavi::Variant(&scene));
//     orv::readXmlFile("scene.xml", target);   // into &scene, or a void Variant
//
// A read happens inside one notify scope: listeners hear of every change when
// the document is done. A read that fails part-way leaves what it has
// changed so far; opened inside an undo transaction (Kor::CommitChangesScope)
// the whole read, failed or not, is taken back by one undo.

#include "platform/variant/serializer.hpp"
#include "platform/variant/text_stream.hpp"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tavi {
class IDataStream;
class Variant;
} // namespace tavi

namespace orv {

class BoundProperty;
class ReflectedObject;

class XMLSerializer : public tavi::ISerializer {
public:
    // The layout of the text: pretty-printing whitespace, and the names of
    // the elements and attributes.
    struct Format {
        // Selects the single-line layout: no indentation, newlines or padding.
        struct Unformatted {};

        Format() = default;
        explicit Format(Unformatted) : indent(), newline(), valuePadding() {}

        std::string indent = "\t";       // once per nesting level before a tag on its own line
        std::string newline = "\n";      // after closing tags and opening tags with children
        std::string valuePadding = "\t"; // around the text of every primitive value
        int32_t initialDepth = 0;        // nesting level of the document element
        std::string rootTag = "root";
        std::string propertyTag = "property";
        std::string typeAttribute = "type";
        std::string nameAttribute = "name";
        std::string keyTypeAttribute = "keyType"; // read, never written
        std::string keyAttribute = "key";
        std::string itemTag = "item";
    };

    // `stream` must outlive the serializer.
    explicit XMLSerializer(tavi::IDataStream& stream);

    // One document for `value`; false when the output failed.
    bool serialize(const tavi::Variant& value) override;
    bool serialize(const BoundProperty& property);
    // The object's value as serialize(object.get()) writes it, through the
    // caller's handle: an editor's long-lived handle keeps the per-property
    // contexts the walk needs, which makes repeated saves cheaper.
    bool serialize(const ReflectedObject& object);
    // One document into `value` (filled in place when it points to an object;
    // a void value becomes what the document's type names) or into
    // `property`; false when the document is damaged or does not fit. Then
    // lastError() tells why and where.
    bool deserialize(tavi::Variant& value) override;
    bool deserialize(const BoundProperty& property);
    bool deserialize(const ReflectedObject& object);

    // Flushes the text stream.
    bool sync();

    void setFormat(const Format& format) { m_format = format; }
    const Format& format() const noexcept { return m_format; }
    // Why the last deserialize failed, with the line and column of the
    // document where reading stopped; empty after a successful one.
    const std::string& lastError() const noexcept { return m_lastError; }

private:
    template <class Target>
    bool read(Target& target);

    tavi::TextStream m_stream;
    Format m_format;
    std::string m_lastError;
};

// Writes `value` as one document into the file at `path`. The text goes to a
// temporary file beside it first, which then replaces `path`: a failed save
// leaves the previous file as it was. Failures are reported as diagnostics.
bool writeXmlFile(const std::filesystem::path& path, const tavi::Variant& value,
                  const XMLSerializer::Format& format = {});
bool writeXmlFile(const std::filesystem::path& path, const BoundProperty& property,
                  const XMLSerializer::Format& format = {});
// Reads the document in the file at `path` into `value` or `property`, as
// XMLSerializer::deserialize does. Failures are reported as diagnostics.
bool readXmlFile(const std::filesystem::path& path, tavi::Variant& value,
                 const XMLSerializer::Format& format = {});
bool readXmlFile(const std::filesystem::path& path, const BoundProperty& property,
                 const XMLSerializer::Format& format = {});

} // namespace orv
