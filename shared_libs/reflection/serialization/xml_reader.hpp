#pragma once
// Reads one XML document (the format of xml_serializer.hpp) into a value or a
// bound property, driven by the value library's event parser: no tree of the
// document is built, and the reader's own memory follows the nesting depth,
// not the size of the document.

#include "platform/variant/sax.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {
class TextStream;
}

namespace orv {

// Tolerant of what it does not know (unknown elements and properties are
// skipped with their whole subtree), strict about types (a type that does not
// fit the target stops the read). The target changes as the document is
// read; a read that stops keeps the changes made so far.
class XMLReader : private tavi::SimpleApiForXml {
public:
    // Elements that hold values may nest this deep; a deeper document stops
    // with "Document nested too deeply" before the objects it would create
    // become too deep to write or even to destroy.
    static constexpr size_t MAX_DEPTH = 1024;

    XMLReader(tavi::TextStream& stream, const XMLSerializer::Format& format);
    ~XMLReader() override;

    // Reads into `value`: an object it points to is filled in place; any
    // other value is replaced by what was read, a void one by a value of the
    // type the document names. False when the document is damaged or does
    // not fit; errorText() then tells why.
    bool read(tavi::Variant& value);
    // Reads into `property`, writing it (and the objects it holds) as it goes.
    bool read(const BoundProperty& property);
    // Reads into the object, through the caller's handle (its cached
    // property contexts are reused).
    bool read(const ReflectedObject& object);

    // Why the last read failed; where in the document reading stopped (1-based, 0 when unknown).
    const std::string& errorText() const noexcept {
        return m_exceptionText.empty() ? SimpleApiForXml::errorText() : m_exceptionText;
    }
    using SimpleApiForXml::errorColumn;
    using SimpleApiForXml::errorLine;

private:
    // One element being filled.
    struct StackItem {
        explicit StackItem(tavi::Variant value);
        // `current`: the property's value when the caller has just read it.
        StackItem(BoundProperty property, tavi::Variant current);
        explicit StackItem(BoundProperty property);
        explicit StackItem(const ReflectedObject& object);
        // Finds the object held by the value or property; empties a collection.
        void initObject();
        // Notes whether the object is a collection, and empties it if so.
        void initCollection();

        tavi::Variant value;    // only for the document element of read(Variant&)
        BoundProperty property; // the property being read
        ReflectedObject object; // the object the value or property holds
        bool isCollection = false;
        std::string text;        // character data before the first child element
        bool textClosed = false; // a child element has started
        int64_t nextIndex = 0;   // running index of the next collection item
        std::string lastItemType;
        // The type the document names for this element; it decides what a
        // value that may hold anything (a void value, a Variant property) is
        // read as.
        std::string documentType;
        // The property's value as it was when the element started, for a
        // property that holds no object: nothing can change it before the
        // element ends (it has no children), so it is read once.
        tavi::Variant current;
        bool currentKnown = false;
    };

    void elementStart(const char* name, const char* const* attributes) override;
    void elementEnd(const char* name) override;
    void characterData(const char* data, size_t length) override;

    template <class Target>
    bool readDocument(Target&& target);
    void processRoot(const char* const* attributes);
    void processObject(const char* name, const char* const* attributes);
    void processCollection(const char* name, const char* const* attributes);
    // Finds the property called `name` on `object`, or adds it under `key`
    // (the name itself when void); creates the object `typeName` names where
    // the property holds none.
    // `current` receives the property's value (void when it was not read).
    BoundProperty resolveProperty(const ReflectedObject& object, std::string_view name,
                                  const tavi::Variant& key, std::string_view typeName,
                                  tavi::Variant& current);
    void push(BoundProperty property, tavi::Variant current, std::string_view typeName);
    // Parses the top item's text into its value; false when it does not parse completely.
    bool readText(StackItem& item);
    void stop(const char* message);

    const XMLSerializer::Format& m_format;
    std::vector<StackItem> stack_;
    bool m_expectRoot = false;
    bool m_finished = false;
    uint32_t m_skipDepth = 0;
    std::string m_exceptionText; // what a callback threw, when one did
};

} // namespace orv
