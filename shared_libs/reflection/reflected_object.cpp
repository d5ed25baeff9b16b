#include "shared_libs/reflection/reflected_object.hpp"

#include "orv_cpp_utils/wildcard.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/variant_converter.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/collection_meta_object.hpp"
#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"
#include "shared_libs/reflection/details/variant_text.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <algorithm>
#include <optional>

namespace orv {

using object_signals_details::connectProfiled;

namespace {

const std::shared_ptr<PropertyData> s_noPropertyData;

// Splits "head.rest" at the first '.'.
std::pair<std::string_view, std::string_view> splitFirst(std::string_view path) {
    const size_t dot = path.find('.');
    if (dot == std::string_view::npos)
        return {path, {}};
    return {path.substr(0, dot), path.substr(dot + 1)};
}

// The value of a "_typeName" property as text; nothing when the object has
// no such property or its value has no text form.
std::optional<std::string> typeNameProperty(const ReflectedObject& object) {
    const BoundProperty property = object.findPropertyByKey(tavi::Variant(std::string("_typeName")));
    if (!property.isValid())
        return std::nullopt;
    return variant_text_details::textOf(property.get());
}

} // namespace

// --- construction -----------------------------------------------------------

ReflectedObject::ReflectedObject() noexcept = default;
ReflectedObject& ReflectedObject::operator=(const ReflectedObject&) = default;
ReflectedObject& ReflectedObject::operator=(ReflectedObject&&) noexcept = default;

ReflectedObject::ReflectedObject(tavi::Variant object) {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::ReflectedObject");
    if (object.isNonNullPointer()) {
        const TypeInfo info(object);
        init(std::move(object), info, nullptr);
    }
}

ReflectedObject::ReflectedObject(tavi::Variant object, const BoundProperty& reference) {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::ReflectedObject");
    if (object.isNonNullPointer()) {
        const TypeInfo info(object);
        init(std::move(object), info, &reference);
    }
}

ReflectedObject::ReflectedObject(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::ReflectedObject");
    tavi::Variant value = property.get();
    if (value.isNonNullPointer()) {
        const TypeInfo info(value, property.propertyType(), property.storageType());
        init(std::move(value), info, &property);
    }
}

ReflectedObject::ReflectedObject(tavi::Variant object, const std::shared_ptr<ObjectData>& data) {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::ReflectedObject");
    init(std::move(object), data, nullptr);
}

void ReflectedObject::init(tavi::Variant object, const TypeInfo& typeInfo, const BoundProperty* reference) {
    if (!KOR_VERIFY(object.isNonNullPointer()))
        return;
    MetaObject* meta = MetaObjectManager::instance().findType(object, typeInfo);
    if (!meta)
        return;
    if (std::shared_ptr<ObjectData> data = meta->objectData(object))
        init(std::move(object), data, reference);
    else
        init(std::move(object), meta, reference);
}

void ReflectedObject::init(tavi::Variant object, const std::shared_ptr<ObjectData>& objectData,
                           const BoundProperty* reference) {
    const bool pointer = KOR_VERIFY(object.isNonNullPointer()); // both are reported
    if (!KOR_VERIFY(objectData) || !pointer)
        return;
    m_object = std::move(object);
    m_meta = WeakPtrVariant<ObjectData, MetaObject>(objectData);
    initContextData(reference);
}

void ReflectedObject::init(tavi::Variant object, MetaObject* metaObject, const BoundProperty* reference) {
    const bool pointer = KOR_VERIFY(object.isNonNullPointer()); // both are reported
    if (!KOR_VERIFY(metaObject) || !pointer)
        return;
    m_object = std::move(object);
    m_meta = WeakPtrVariant<ObjectData, MetaObject>(metaObject);
    initContextData(reference);
}

void ReflectedObject::initContextData(const BoundProperty* reference) {
    if (!reference || !reference->isValid()) {
        ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData");
        m_context = ReflectedObjectContextData::create(*this);
    } else {
        ZEL::Profiler::Scope scope("Reflection|ContextData|Reference");
        m_context = std::make_shared<ReflectedObjectReference>(*this, *reference);
    }
}

// --- queries ----------------------------------------------------------------

MetaObject* ReflectedObject::metaObject() const noexcept {
    // No reference is taken: the data lives while the instance does, and a
    // handle is not used while its instance is being destroyed.
    if (m_meta.expired())
        return nullptr;
    if (MetaObject* meta = m_meta.unchecked<MetaObject>())
        return meta;
    const ObjectData* data = m_meta.unchecked<ObjectData>();
    return data ? data->metaObject() : nullptr;
}

ObjectData* ReflectedObject::objectData() const noexcept { return m_meta.get<ObjectData>(); }

const std::type_info& ReflectedObject::type() const noexcept {
    const MetaObject* meta = metaObject();
    return meta ? meta->type() : typeid(void);
}

zel::Flags<tavi::MetaType::Qualifier> ReflectedObject::qualifiers() const noexcept {
    const tavi::MetaType* type = m_object.type();
    return zel::Flags<tavi::MetaType::Qualifier>(type ? type->pointerQualifiers() : 0u);
}

bool ReflectedObject::isConst() const noexcept { return qualifiers().test(tavi::MetaType::CONST_POINTEE); }

Annotations ReflectedObject::annotations() const {
    MetaObject* meta = metaObject();
    return meta ? meta->annotations(m_object) : Annotations();
}

ReflectedObjectContextData* ReflectedObject::contextData() const noexcept {
    if (ReflectedObjectContextData* own = m_context.get<ReflectedObjectContextData>())
        return own;
    if (const ReflectedObjectReference* reference = m_context.get<ReflectedObjectReference>())
        return reference->objectContextData();
    return nullptr;
}

Meta::Stateless::Mode ReflectedObject::statelessMode() const {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::statelessMode");
    using Mode = Meta::Stateless::Mode;
    ReflectedObjectContextData* context = isValid() ? contextData() : nullptr;
    // Read once: another thread may drop the cached mode meanwhile.
    if (const std::optional<Mode> cached = context ? context->statelessMode() : std::nullopt)
        return *cached;
    Mode mode = Mode::None;
    const Annotations own = annotations();
    const auto rules = annotationsOf<Meta::Stateless>(own);
    if (!rules.empty())
        mode = rules.front().function(*this);
    if (mode != Mode::Deep) {
        const BoundProperty holder = reference();
        if (holder.isValid() && holder.statelessMode() == Mode::Deep)
            mode = Mode::Deep;
    }
    if (context)
        context->setStatelessMode(mode);
    return mode;
}

size_t ReflectedObject::propertyCount() const {
    const MetaObject* meta = metaObject();
    return meta ? meta->propertyCount(*this) : 0;
}

size_t ReflectedObject::firstSelfProperty() const {
    const MetaObject* meta = metaObject();
    return meta ? meta->firstSelfProperty(*this) : 0;
}

size_t ReflectedObject::indexOfProperty(const tavi::Variant& key) const {
    const MetaObject* meta = metaObject();
    return meta ? meta->indexOfProperty(*this, key) : MetaObject::INVALID_INDEX;
}

std::shared_ptr<MetaProperty> ReflectedObject::metaPropertyAt(size_t index) const {
    const MetaObject* meta = metaObject();
    return meta ? meta->property(*this, index, nullptr) : nullptr;
}

BoundProperty ReflectedObject::propertyAt(size_t index) const { return BoundProperty(*this, index); }

std::shared_ptr<MetaProperty> ReflectedObject::findMetaProperty(const tavi::Variant& key) const {
    const MetaObject* meta = metaObject();
    return meta ? meta->property(*this, indexOfProperty(key), nullptr) : nullptr;
}

BoundProperty ReflectedObject::findPropertyByKey(const tavi::Variant& key) const {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::findPropertyByKey");
    if (const std::string* path = key.isType<std::string>() ? key.castPtr<std::string>() : nullptr)
        return findPropertyByName(*path);
    const MetaObject* meta = metaObject();
    if (!meta)
        return {};
    const size_t index = meta->indexOfProperty(*this, key);
    // Not found is not an error: no message, an invalid handle.
    return index == MetaObject::INVALID_INDEX ? BoundProperty() : BoundProperty(*this, index);
}

BoundProperty ReflectedObject::findPropertyByName(Kor::BasicStringRef<char> path) const {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::findPropertyByName");
    // The first segment is looked up on this handle itself: a plain name,
    // the common case, copies the handle only into the result.
    const ReflectedObject* at = this;
    ReflectedObject held; // the object the last segment's property holds
    std::string_view rest = path.view();
    while (at->isValid()) {
        const auto [head, remainder] = splitFirst(rest);
        const size_t index = at->metaObject()->indexOfPropertyByName(*at, head);
        if (index == MetaObject::INVALID_INDEX)
            break;
        if (head.size() == rest.size()) // no '.' left
            return BoundProperty(*at, index);
        held = ReflectedObject(BoundProperty(*at, index));
        at = &held;
        rest = remainder;
    }
    return {};
}

ReflectedObject::PropertyRange ReflectedObject::properties() const {
    return {PropertyIterator(*this, 0), PropertyIterator(*this, propertyCount())};
}

zel::Generator<BoundProperty> ReflectedObject::properties(Kor::BasicStringRef<char> pattern) const {
    // The pattern is copied: the generator outlives the caller's string.
    return [](ReflectedObject self, std::string pattern) -> zel::Generator<BoundProperty> {
        if (pattern.empty())
            co_return;
        auto [head, rest] = splitFirst(pattern);
        enum { Plain, Leaves, Everything } mode = Plain;
        if (head == "**") {
            rest = "**";
            mode = Leaves;
        } else if (head == "***") {
            rest = "***";
            mode = Everything;
        }
        const std::string restText(rest);
        if (head == "~reference") {
            BoundProperty holder = self.reference();
            if (!holder.isValid())
                co_return;
            if (restText.empty())
                co_yield std::move(holder);
            else
                co_yield zel::yieldAll(holder.object().properties(restText));
            co_return;
        }
        const std::string headText(head);
        const size_t count = self.propertyCount();
        for (size_t i = 0; i < count; ++i) {
            const std::shared_ptr<MetaProperty> prop = self.metaPropertyAt(i);
            if (!KOR_VERIFY(prop) || !zel::wildcardMatch(headText, prop->name(), zel::PROPERTY_NAME_MATCH))
                continue;
            BoundProperty property(self, i);
            if (restText.empty()) {
                co_yield std::move(property);
                continue;
            }
            const ReflectedObject child(property);
            if (child.isValid()) {
                co_yield zel::yieldAll(child.properties(restText));
                if (mode == Everything)
                    co_yield std::move(property);
            } else if (mode != Plain) {
                co_yield std::move(property);
            }
        }
    }(*this, pattern.str());
}

size_t ReflectedObject::enumerateProperties(const PropertyEnumerator& fn) const {
    return enumerateProperties("*", fn);
}

size_t ReflectedObject::enumerateProperties(Kor::BasicStringRef<char> pattern,
                                            const PropertyEnumerator& fn) const {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::enumerateProperties");
    size_t count = 0;
    for (const BoundProperty& property : properties(pattern)) {
        ++count;
        if (fn && !fn(property))
            break;
    }
    return count;
}

BoundProperty ReflectedObject::reference() const {
    const ReflectedObjectReference* reference = m_context.get<ReflectedObjectReference>();
    return reference ? reference->reference() : BoundProperty();
}

ReflectedObject ReflectedObject::parent(int level) const { return parent("", level); }

ReflectedObject ReflectedObject::parent(Kor::BasicStringRef<char> typeName, int level) const {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::parent");
    if (!isValid())
        return {};
    ReflectedObject current = *this;
    for (;;) {
        const BoundProperty holder = current.reference();
        if (!holder.isValid() || !holder.object().isValid())
            return {};
        const ReflectedObject& ancestor = holder.object();
        bool matches = typeName.empty();
        if (!matches) {
            std::string name = typeNameProperty(ancestor).value_or(std::string());
            if (name.empty() && ancestor.metaObject())
                name = ancestor.metaObject()->name();
            matches = Kor::BasicStringRef<char>(name) == typeName;
        }
        if (matches && --level < 1)
            return ancestor;
        current = ancestor;
    }
}

ReflectedObject ReflectedObject::root() const {
    ReflectedObject current = *this;
    for (;;) {
        const BoundProperty holder = current.reference();
        if (!holder.isValid() || !holder.object().isValid())
            return current;
        current = holder.object();
    }
}

// fullName() is defined with PersistentObject, whose path it is.

std::string ReflectedObject::getTypeIdentificator() const {
    std::string name = typeNameProperty(*this).value_or(tavi::Utils::getTypePrettyName(type()));
    return name.empty() ? "empty" : name;
}

// --- structure changes --------------------------------------------------------

// The property that holds a collection may make its elements
// (Meta::ElementFactory) and take over their insertion and removal
// (Meta::CollectionInsert, Meta::CollectionRemove); otherwise the meta
// object adds and removes.
BoundProperty ReflectedObject::addProperty(const tavi::Variant& key, const tavi::Variant& value) const {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::addProperty");
    MetaObject* meta = metaObject();
    if (!meta)
        return {};
    tavi::Variant element = value;
    if (const BoundProperty holder = reference(); holder.isValid()) {
        const Annotations annotations = holder.annotations();
        if (element.isVoid())
            element = collection_meta_object_details::makeElement(holder, annotations);
        if (const auto inserts = annotationsOf<Meta::CollectionInsert>(annotations); !inserts.empty())
            return collection_meta_object_details::insertElement(*this, inserts.front(), key);
    }
    const size_t index = meta->addProperty(*this, key, element);
    return index == MetaObject::INVALID_INDEX ? BoundProperty() : BoundProperty(*this, index);
}

bool ReflectedObject::removeProperty(const tavi::Variant& key) const {
    return removePropertyAt(indexOfProperty(key));
}

bool ReflectedObject::removePropertyAt(size_t index) const {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::removePropertyAt");
    MetaObject* meta = metaObject();
    if (!meta)
        return false;
    if (const BoundProperty holder = reference(); holder.isValid()) {
        const Annotations annotations = holder.annotations();
        if (const auto removes = annotationsOf<Meta::CollectionRemove>(annotations); !removes.empty())
            return collection_meta_object_details::removeElement(*this, removes.front(), index);
    }
    return meta->removeProperty(*this, index);
}

// Stops at the first removal the meta object refuses, instead of spinning.
void ReflectedObject::clearProperties() const {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::clearProperties");
    MetaObject* meta = metaObject();
    if (!meta)
        return;
    while (propertyCount() != 0)
        if (!meta->removeProperty(*this, 0))
            break;
}

// --- signals ------------------------------------------------------------------

template <class Slot>
zel::Connection ReflectedObject::connect(Connector<Slot> connector, zel::InlineConnection* storage,
                                         const Slot& slot, int priority) const {
    MetaObject* meta = metaObject();
    return meta ? (meta->*connector)(*this, storage, slot, priority) : zel::Connection();
}

zel::Connection ReflectedObject::connectObjectDeleted(const ObjectDeletedSlot& slot) const {
    return connect(&MetaObject::connectObjectDeleted, nullptr, slot, 0);
}
zel::Connection ReflectedObject::connectStructureAboutToBeChanged(const ObjectSlot& slot) const {
    return connect(&MetaObject::connectStructureAboutToBeChanged, nullptr, slot, 0);
}
zel::Connection ReflectedObject::connectStructureChanged(const ObjectSlot& slot) const {
    return connect(&MetaObject::connectStructureChanged, nullptr, slot, 0);
}
zel::Connection ReflectedObject::connectPropertiesAboutToBeReset(const ObjectSlot& slot) const {
    return connect(&MetaObject::connectPropertiesAboutToBeReset, nullptr, slot, 0);
}
zel::Connection ReflectedObject::connectPropertiesReset(const ObjectSlot& slot) const {
    return connect(&MetaObject::connectPropertiesReset, nullptr, slot, 0);
}
zel::Connection ReflectedObject::connectPropertyAboutToBeAdded(const PropertyRangeSlot& slot) const {
    return connect(&MetaObject::connectPropertyAboutToBeAdded, nullptr, slot, 0);
}
zel::Connection ReflectedObject::connectPropertyAdded(const PropertyRangeSlot& slot) const {
    return connect(&MetaObject::connectPropertyAdded, nullptr, slot, 0);
}
zel::Connection ReflectedObject::connectPropertyAboutToBeRemoved(const PropertyRangeSlot& slot) const {
    return connect(&MetaObject::connectPropertyAboutToBeRemoved, nullptr, slot, 0);
}
zel::Connection ReflectedObject::connectPropertyRemoved(const PropertyRangeSlot& slot) const {
    return connect(&MetaObject::connectPropertyRemoved, nullptr, slot, 0);
}

zel::Connection ReflectedObject::connectPropertiesReset(zel::InlineConnection* storage,
                                                        const ObjectSlot& slot, int priority) const {
    return connect(&MetaObject::connectPropertiesReset, storage, slot, priority);
}
zel::Connection ReflectedObject::connectPropertyAdded(zel::InlineConnection* storage,
                                                      const PropertyRangeSlot& slot, int priority) const {
    return connect(&MetaObject::connectPropertyAdded, storage, slot, priority);
}
zel::Connection ReflectedObject::connectPropertyAboutToBeRemoved(zel::InlineConnection* storage,
                                                                 const PropertyRangeSlot& slot,
                                                                 int priority) const {
    return connect(&MetaObject::connectPropertyAboutToBeRemoved, storage, slot, priority);
}

const void* objectIdentity(const ReflectedObject& object) {
    const tavi::Variant& value = object.get();
    if (value.isPointer())
        return value.pointerAddress();
    tavi::Variant address{static_cast<const void*>(nullptr)};
    if (tavi::VariantConverter::convert(address, value))
        if (const void* const* converted = address.castPtr<const void*>())
            return *converted;
    return nullptr;
}

// --- property iterator ----------------------------------------------------------

BoundProperty ReflectedObject::PropertyIterator::operator*() const {
    return BoundProperty(m_object, m_index);
}

BoundProperty ReflectedObject::PropertyIterator::operator[](difference_type n) const {
    return BoundProperty(m_object, m_index + size_t(n));
}

// --- object data ------------------------------------------------------------------

ObjectData::ObjectData(PrivateTag, MetaObject* metaObject) : m_metaObject(metaObject) {}

ObjectData::~ObjectData() {
    if (m_objectDeleted.slotCount() != 0)
        m_objectDeleted.emit();
}

std::shared_ptr<ObjectData> ObjectData::create(const tavi::Variant& object, MetaObject* metaObject) {
    ZEL::Profiler::Scope scope("Reflection|ObjectData");
    auto data = std::make_shared<ObjectData>(PrivateTag{}, metaObject);
    data->m_self = data;
    const ReflectedObject handle(object, data);
    data->addProperties(handle, 0, handle.propertyCount());
    return data;
}

size_t ObjectData::propertySlotCount() const {
    std::lock_guard lock(m_mutex);
    return m_properties.size();
}

const std::shared_ptr<PropertyData>& ObjectData::propertyData(const ReflectedObject& object, size_t index) {
    ObjectData* data = object.objectData();
    if (!data)
        return s_noPropertyData;
    std::unique_lock lock(data->m_mutex);
    if (index >= data->m_properties.size()) {
        const size_t size = data->m_properties.size();
        lock.unlock();
        Kor::warningMessage("orv::ObjectData::propertyData: property index %zi out of bounds [0, %zi)", index,
                            size);
        return s_noPropertyData;
    }
    std::shared_ptr<PropertyData>& slot = data->m_properties[index];
    if (!slot) {
        lock.unlock();
        ZEL::Profiler::Scope scope("Reflection|ObjectData|PropertyData");
        auto created = std::make_shared<PropertyData>(*data, object.metaPropertyAt(index));
        created->setSelf(created);
        lock.lock();
        // A concurrent creator's record wins; the slot may have moved meanwhile.
        if (index < data->m_properties.size() && !data->m_properties[index])
            data->m_properties[index] = std::move(created);
        if (index >= data->m_properties.size())
            return s_noPropertyData;
        return data->m_properties[index];
    }
    return slot;
}

void ObjectData::addProperties(const ReflectedObject& object, size_t index, size_t count) {
    ZEL::Profiler::Scope scope("Reflection|ObjectData");
    std::lock_guard lock(m_mutex);
    // The meta object has already added the properties.
    KOR_ASSERT(m_properties.size() + count == object.propertyCount());
    const size_t oldSize = m_properties.size();
    const size_t newSize = oldSize + count;
    KOR_ASSERT(newSize >= oldSize);
    KOR_ASSERT(index <= oldSize);
    m_properties.insert(m_properties.begin() + std::ptrdiff_t(std::min(index, oldSize)), count, nullptr);
}

void ObjectData::removeProperties(const ReflectedObject& object, size_t index, size_t count) {
    // The meta object still has the properties.
    KOR_ASSERT(index + count <= object.propertyCount());
    std::vector<std::shared_ptr<PropertyData>> removed;
    {
        std::lock_guard lock(m_mutex);
        const size_t first = std::min(index, m_properties.size());
        const size_t last = std::min(index + count, m_properties.size());
        removed.assign(std::make_move_iterator(m_properties.begin() + std::ptrdiff_t(first)),
                       std::make_move_iterator(m_properties.begin() + std::ptrdiff_t(last)));
        m_properties.erase(m_properties.begin() + std::ptrdiff_t(first),
                           m_properties.begin() + std::ptrdiff_t(last));
    }
    // Records die outside the lock: their signals may call back.
}

void ObjectData::structureAboutToBeChanged(const ReflectedObject& object) {
    m_structureAboutToBeChanged.emit(object);
}
void ObjectData::structureChanged(const ReflectedObject& object) { m_structureChanged.emit(object); }

void ObjectData::propertiesAboutToBeReset(const ReflectedObject& object) {
    m_propertiesAboutToBeReset.emit(object);
    std::vector<std::shared_ptr<PropertyData>> removed;
    std::lock_guard lock(m_mutex);
    removed.swap(m_properties);
}

void ObjectData::propertiesReset(const ReflectedObject& object) {
    std::vector<std::shared_ptr<PropertyData>> removed;
    {
        std::lock_guard lock(m_mutex);
        removed.swap(m_properties);
    }
    if (!removed.empty())
        Kor::warningMessage(
            "There are properties added during properties reset! These properties (and their data, "
            "e.g. signals) are re-added");
    removed.clear();
    addProperties(object, 0, object.propertyCount());
    m_propertiesReset.emit(object);
}

void ObjectData::propertyAboutToBeAdded(const ReflectedObject& object, size_t index, size_t count) {
    m_propertyAboutToBeAdded.emit(object, index, count);
}

void ObjectData::propertyAdded(const ReflectedObject& object, size_t index, size_t count) {
    addProperties(object, index, count);
    m_propertyAdded.emit(object, index, count);
}

void ObjectData::propertyAboutToBeRemoved(const ReflectedObject& object, size_t index, size_t count) {
    m_propertyAboutToBeRemoved.emit(object, index, count);
    removeProperties(object, index, count);
}

void ObjectData::propertyRemoved(const ReflectedObject& object, size_t index, size_t count) {
    m_propertyRemoved.emit(object, index, count);
}

zel::Connection ObjectData::connectObjectDeleted(zel::InlineConnection* storage,
                                                 const ObjectDeletedSlot& slot, int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|ObjectDeleted", m_objectDeleted, storage, slot,
                           priority);
}
zel::Connection ObjectData::connectStructureAboutToBeChanged(zel::InlineConnection* storage,
                                                             const ObjectSlot& slot, int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|StructureAboutToBeChanged",
                           m_structureAboutToBeChanged, storage, slot, priority);
}
zel::Connection ObjectData::connectStructureChanged(zel::InlineConnection* storage, const ObjectSlot& slot,
                                                    int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|StructureChanged", m_structureChanged, storage,
                           slot, priority);
}
zel::Connection ObjectData::connectPropertiesAboutToBeReset(zel::InlineConnection* storage,
                                                            const ObjectSlot& slot, int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|PropertiesAboutToBeReset",
                           m_propertiesAboutToBeReset, storage, slot, priority);
}
zel::Connection ObjectData::connectPropertiesReset(zel::InlineConnection* storage, const ObjectSlot& slot,
                                                   int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|PropertiesReset", m_propertiesReset, storage, slot,
                           priority);
}
zel::Connection ObjectData::connectPropertyAboutToBeAdded(zel::InlineConnection* storage,
                                                          const PropertyRangeSlot& slot, int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|PropertyAboutToBeAdded", m_propertyAboutToBeAdded,
                           storage, slot, priority);
}
zel::Connection ObjectData::connectPropertyAdded(zel::InlineConnection* storage,
                                                 const PropertyRangeSlot& slot, int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|PropertyAdded", m_propertyAdded, storage, slot,
                           priority);
}
zel::Connection ObjectData::connectPropertyAboutToBeRemoved(zel::InlineConnection* storage,
                                                            const PropertyRangeSlot& slot,
                                                            int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|PropertyAboutToBeRemoved",
                           m_propertyAboutToBeRemoved, storage, slot, priority);
}
zel::Connection ObjectData::connectPropertyRemoved(zel::InlineConnection* storage,
                                                   const PropertyRangeSlot& slot, int priority) const {
    return connectProfiled("Reflection|Signals|ObjectData|PropertyRemoved", m_propertyRemoved, storage, slot,
                           priority);
}

// --- self-describing objects -----------------------------------------------------

const std::shared_ptr<ObjectData>& MetaObject::objectDataOf(const Object& object, const tavi::Variant& value,
                                                            MetaObject* metaObject) {
    static const std::shared_ptr<ObjectData> s_none;
    if (std::atomic_load(&object.m_data))
        return object.m_data;
    if (!metaObject)
        metaObject = MetaObjectManager::instance().findType(value, TypeInfo(value));
    if (!metaObject)
        return s_none;
    std::shared_ptr<ObjectData> expected;
    std::shared_ptr<ObjectData> created = ObjectData::create(value, metaObject);
    std::atomic_compare_exchange_strong(&object.m_data, &expected, created);
    return object.m_data;
}

} // namespace orv
