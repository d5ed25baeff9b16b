#include "shared_libs/reflection/serialization/xml_reader.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/variant/text_stream.hpp"
#include "platform/variant/variant_stream.hpp"
#include "shared_libs/reflection/collection_meta_object.hpp"
#include "shared_libs/reflection/generic_object.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/serialization/details/xml_types.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <exception>
#include <utility>

namespace orv {
namespace {

// Whether the parser's text `text` is `name`, without measuring the text
// first: every element compares its name and attribute names this way.
bool named(std::string_view name, const char* text) {
    for (const char c : name) {
        if (c == '\0' || *text != c) // a name holding a null character names nothing
            return false;
        ++text;
    }
    return *text == '\0';
}

// The value of the last attribute called `name`, or null.
const char* lastAttribute(const char* const* attributes, std::string_view name) {
    const char* found = nullptr;
    for (; attributes && attributes[0] && attributes[1]; attributes += 2)
        if (named(name, attributes[0]))
            found = attributes[1];
    return found;
}

std::string_view orEmpty(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// Reads `text` into `value` as the type `value` holds; true only when the
// whole text, surrounding whitespace aside, was taken.
bool parseInto(tavi::Variant& value, std::string_view text) {
    tavi::FixedMemoryStream memory(text);
    tavi::TextStream stream(memory);
    stream >> value;
    stream.skipWhiteSpace();
    return !stream.fail() && stream.eof();
}

// The meta object that makes the objects a document names `typeName`. Every
// kind of std::vector is reflected by a collection of one name, which does
// not tell which kind was written: a new one is a vector of Variants, which
// holds whatever its items name.
MetaObject* objectTypeNamed(std::string_view typeName) {
    using AnyElements = SequentialCollectionMetaObject<std::vector<tavi::Variant>>;
    // The library's own object types are made on first use; a document may
    // name them before any instance exists.
    static const bool s_ownTypes = (GenericMetaObject::instance(), AnyElements::instance(), true);
    (void)s_ownTypes;
    if (typeName == AnyElements::instance().name())
        return &AnyElements::instance();
    return MetaObjectManager::instance().findType(Kor::BasicStringRef<char>(typeName));
}

bool holdsAnyType(const BoundProperty& property) { return property.propertyType() == typeid(tavi::Variant); }

// Sets a new instance of the meta object called `typeName` into a property
// that holds no object yet. Nothing changes when there is no such meta
// object or it cannot make instances. The instance comes owned by a
// shared pointer; a property that keeps only a raw pointer to it (a T*
// member, a vector of T*) would point at a dead object once the read moves
// on, so it gets its previous value back.
void createNamedObject(const BoundProperty& property, std::string_view typeName,
                       const tavi::Variant& previous) {
    MetaObject* meta = objectTypeNamed(typeName);
    if (!meta)
        return;
    const tavi::Variant created = meta->create();
    if (created.isVoid() || !property.set(created, {}))
        return;
    const tavi::Variant held = property.get();
    if (held.isPointer() && held.type()->kind() != tavi::MetaType::Kind::SHARED_POINTER &&
        held.pointerAddress() == created.pointerAddress())
        property.set(previous, {});
}

} // namespace

// --- stack items ----------------------------------------------------------------

XMLReader::StackItem::StackItem(tavi::Variant value) : value(std::move(value)) { initObject(); }

XMLReader::StackItem::StackItem(BoundProperty property) : property(std::move(property)) { initObject(); }

XMLReader::StackItem::StackItem(const ReflectedObject& object) : object(object) { initCollection(); }

XMLReader::StackItem::StackItem(BoundProperty property, tavi::Variant value)
    : property(std::move(property)), current(std::move(value)), currentKnown(!current.isVoid()) {
    initObject();
}

void XMLReader::StackItem::initObject() {
    if (property.isValid()) {
        // Only a pointer holds an object; a known value that is none spares
        // reading the property again.
        if (!currentKnown || current.isNonNullPointer()) {
            currentKnown = false;
            object = ReflectedObject(property);
        }
    } else {
        object = ReflectedObject(value);
        if (object.isValid())
            value.reset(); // the object stands for it now
    }
    initCollection();
}

void XMLReader::StackItem::initCollection() {
    isCollection = xml_details::isCollection(object);
    if (!isCollection)
        return;
    // Reading a collection replaces its content.
    for (size_t i = object.propertyCount(); i-- > 0;)
        object.removePropertyAt(i);
}

// --- reading --------------------------------------------------------------------

XMLReader::XMLReader(tavi::TextStream& stream, const XMLSerializer::Format& format)
    : SimpleApiForXml(stream), m_format(format) {}

XMLReader::~XMLReader() = default;

bool XMLReader::read(tavi::Variant& value) {
    Kor::StackTracker::Frame frame("orv::XMLReader::read");
    if (!readDocument(value))
        return false;
    // A pointer target was filled in place; anything else takes what was read.
    if (!value.isPointer()) {
        StackItem& item = stack_.front();
        if (item.object.isValid())
            value = item.object.get();
        else
            value = std::move(item.value);
    }
    stack_.clear();
    return true;
}

bool XMLReader::read(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::XMLReader::read");
    const bool read = readDocument(property);
    stack_.clear();
    return read;
}

bool XMLReader::read(const ReflectedObject& object) {
    Kor::StackTracker::Frame frame("orv::XMLReader::read");
    const bool read = readDocument(object);
    stack_.clear();
    return read;
}

template <class Target>
bool XMLReader::readDocument(Target&& target) {
    KOR_ASSERT(stack_.empty());
    stack_.clear();
    m_exceptionText.clear();
    stack_.emplace_back(target);
    m_expectRoot = true;
    m_finished = false;
    m_skipDepth = 0;
    bool parsed = false;
    try {
        parsed = parse();
    } catch (const std::exception& error) {
        // A setter or listener that throws ends this read, not the editor.
        m_exceptionText = std::string("reading stopped by an exception: ") + error.what();
        Kor::errorMessage("orv::XMLReader::read: %s", m_exceptionText.c_str());
        stack_.clear();
        return false;
    }
    if (!parsed && !m_finished) {
        stack_.clear();
        return false;
    }
    KOR_ASSERT(stack_.size() == 1);
    if (stack_.size() != 1) {
        stack_.clear();
        return false;
    }
    return true;
}

void XMLReader::stop(const char* message) { abortParsing(message); }

// --- parser events ------------------------------------------------------------

void XMLReader::elementStart(const char* name, const char* const* attributes) {
    if (m_skipDepth > 0) {
        ++m_skipDepth;
        return;
    }
    if (m_expectRoot) {
        // The document element's own name is not checked.
        m_expectRoot = false;
        processRoot(attributes);
        return;
    }
    KOR_ASSERT(!stack_.empty());
    if (stack_.empty())
        return;
    StackItem& top = stack_.back();
    top.textClosed = true;
    top.text.clear();
    top.text.shrink_to_fit();
    if (!top.object.isValid())
        stop("Unexpected nested elements for primitive type");
    else if (top.isCollection)
        processCollection(name, attributes);
    else
        processObject(name, attributes);
}

void XMLReader::characterData(const char* data, size_t length) {
    if (m_skipDepth > 0)
        return;
    KOR_ASSERT(!stack_.empty());
    if (stack_.empty())
        return;
    StackItem& top = stack_.back();
    if (!top.textClosed)
        top.text.append(data, length);
}

void XMLReader::elementEnd(const char*) {
    if (m_skipDepth > 0) {
        --m_skipDepth;
        return;
    }
    KOR_ASSERT(!stack_.empty());
    if (stack_.empty())
        return;
    StackItem& top = stack_.back();
    if (!top.text.empty() && !readText(top)) {
        stop("Failed to deserialize primitive value");
        return;
    }
    if (stack_.size() > 1) {
        stack_.pop_back();
        return;
    }
    // Whatever follows the document element is not read.
    m_finished = true;
    abortParsing();
}

// --- elements -----------------------------------------------------------------

void XMLReader::processRoot(const char* const* attributes) {
    const char* type = lastAttribute(attributes, m_format.typeAttribute);
    KOR_ASSERT(!stack_.empty());
    if (!type || stack_.empty())
        return;
    const std::string_view typeName(type);
    const MetaObjectManager& registry = MetaObjectManager::instance();
    StackItem& item = stack_.front();
    item.documentType = typeName;

    if (item.object.isValid() && item.object.metaObject()) {
        if (item.object.metaObject()->name() != typeName)
            stop("Object type mismatch");
        return;
    }

    if (item.property.isValid()) {
        const TypeInfo info = item.property.typeInfo();
        if (holdsAnyType(item.property)) {
            // A property of any type takes the type the document names.
            const tavi::Variant current = item.property.get();
            if (current.isVoid() || current.isNullPointer()) {
                createNamedObject(item.property, typeName, current);
                item.initObject();
            }
            return;
        }
        const MetaObject* meta = registry.findType(Kor::BasicStringRef<char>(typeName));
        const tavi::MetaType* metaType = tavi::MetaType::find(typeName);
        const bool fits =
            (meta && info.containsType(meta->type())) || (metaType && info.containsType(metaType->typeId()));
        if (!fits)
            stop("Property type mismatch");
        return;
    }

    if (item.value.isVoid()) {
        if (MetaObject* meta = objectTypeNamed(typeName)) {
            item.value = meta->create();
            if (item.value.isVoid()) {
                stop("Can't instantiate object");
                return;
            }
        } else if (const tavi::MetaType* metaType = tavi::MetaType::find(typeName)) {
            item.value = tavi::Variant(metaType);
        } else {
            stop("Unknown type");
            return;
        }
        item.initObject();
        return;
    }

    const tavi::MetaType* valueType = item.value.type();
    std::string_view valueTypeName;
    if (item.value.isPointer()) {
        valueType = valueType->pointeeType();
        if (!valueType)
            valueTypeName = xml_details::undecoratedName(item.value.typeId());
    }
    if (valueType) {
        if (valueType->testFlags(tavi::MetaType::NO_TYPE_NAME_IN_XML))
            return;
        valueTypeName = valueType->name();
    }
    if (valueTypeName != typeName)
        stop("Value type mismatch");
}

void XMLReader::processObject(const char* name, const char* const* attributes) {
    if (!named(m_format.propertyTag, name)) {
        m_skipDepth = 1;
        return;
    }
    const char* propertyName = lastAttribute(attributes, m_format.nameAttribute);
    const std::string_view type = orEmpty(lastAttribute(attributes, m_format.typeAttribute));
    if (!propertyName) {
        stop("Missing object property name");
        return;
    }
    tavi::Variant current;
    BoundProperty property = resolveProperty(stack_.back().object, propertyName, {}, type, current);
    if (!property.isValid() || property.isMethod()) {
        m_skipDepth = 1;
        return;
    }
    push(std::move(property), std::move(current), type);
}

void XMLReader::processCollection(const char* name, const char* const* attributes) {
    if (!named(m_format.itemTag, name)) {
        m_skipDepth = 1;
        return;
    }
    const char* keyType = lastAttribute(attributes, m_format.keyTypeAttribute);
    const char* keyText = lastAttribute(attributes, m_format.keyAttribute);
    const char* type = lastAttribute(attributes, m_format.typeAttribute);
    StackItem& parent = stack_.back();

    // Items without a key continue the running index; a key restarts it
    // there when it is a number.
    tavi::Variant key;
    if (!keyText) {
        key = static_cast<int32_t>(parent.nextIndex);
    } else {
        key = std::string(keyText);
        if (keyType) {
            const tavi::MetaType* keyMetaType = tavi::MetaType::find(keyType);
            if (!keyMetaType) {
                stop("Key type not found");
                return;
            }
            if (!key.setType(keyMetaType)) {
                stop("Failed to convert key");
                return;
            }
        }
        int32_t number = 0;
        if (key.tryCast(number))
            parent.nextIndex = number;
    }
    ++parent.nextIndex;

    // An item without a type has the type of the item before it.
    if (type)
        parent.lastItemType = type;
    const std::string itemType = parent.lastItemType;

    std::string keyName;
    if (!key.tryCast(keyName)) {
        stop("Failed to find/insert property");
        return;
    }
    tavi::Variant current;
    BoundProperty property = resolveProperty(parent.object, keyName, key, itemType, current);
    if (!property.isValid()) {
        stop("Failed to find/insert property");
        return;
    }
    push(std::move(property), std::move(current), itemType);
}

BoundProperty XMLReader::resolveProperty(const ReflectedObject& object, std::string_view name,
                                         const tavi::Variant& key, std::string_view typeName,
                                         tavi::Variant& current) {
    // The writer names each property by its own key. A key with dots is
    // looked up whole first, then as a path.
    BoundProperty property;
    if (name.find('.') != std::string_view::npos) {
        const size_t index = object.indexOfProperty(key.isVoid() ? tavi::Variant(name) : key);
        if (index != MetaObject::INVALID_INDEX)
            property = object.propertyAt(index);
    }
    if (!property.isValid())
        property = object.findPropertyByName(name);
    if (!property.isValid())
        property = object.addProperty(key.isVoid() ? tavi::Variant(name) : key, tavi::Variant());
    if (property.isValid() && !typeName.empty()) {
        // Where nothing is held yet (a null pointer, or, for properties of any
        // type, nothing at all) the document's type makes the object.
        current = property.get();
        if (current.isNullPointer() || current.isVoid()) {
            createNamedObject(property, typeName, current);
            current.reset();
        }
    }
    return property;
}

void XMLReader::push(BoundProperty property, tavi::Variant current, std::string_view typeName) {
    if (stack_.size() >= MAX_DEPTH) {
        stop("Document nested too deeply");
        return;
    }
    stack_.emplace_back(std::move(property), std::move(current));
    stack_.back().documentType = typeName;
}

bool XMLReader::readText(StackItem& item) {
    if (item.object.isValid()) {
        tavi::Variant copy = item.object.get();
        if (!parseInto(copy, item.text))
            return false;
        item.property.set(copy, {});
        return true;
    }
    if (item.property.isValid()) {
        tavi::Variant current = item.currentKnown ? std::move(item.current) : item.property.get();
        // A value that may hold anything is read as the type the document
        // names, so that what was written reads back.
        if (!item.documentType.empty() && (current.isVoid() || holdsAnyType(item.property))) {
            const tavi::MetaType* named = tavi::MetaType::find(item.documentType);
            if (named && named != current.type())
                current = tavi::Variant(named);
        }
        if (!parseInto(current, item.text))
            return false;
        item.property.set(current, {});
        return true;
    }
    return parseInto(item.value, item.text);
}

} // namespace orv
