#include "shared_libs/reflection/generic_object.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/details/library_types.hpp"
#include "shared_libs/reflection/details/structure_change.hpp"
#include "shared_libs/reflection/details/variant_text.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/multi_selection/meta_items.hpp"
#include "shared_libs/reflection/notify_scope.hpp"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

namespace orv {
namespace {

using structure_change_details::AnnouncedChange;
using structure_change_details::Announcing;

const std::type_info& staticTypeOf(const tavi::Variant& value) {
    return value.type() ? value.type()->typeId() : typeid(void);
}

// "_volatility": read-only, kept by every multi-selection, and read through
// the object it is asked for, so that it never refers to an Impl that is gone.
std::shared_ptr<MetaProperty> makeVolatilityProperty() {
    MetaProperty::Getter getter = [](const BoundProperty& property) {
        const GenericObject* object = convertor_details::findInstance<GenericObject, true>(property.object());
        return object ? tavi::Variant(static_cast<int32_t>(object->getVolatility())) : tavi::Variant();
    };
    return std::make_shared<NotifyableMetaProperty<1>>(
        GenericMetaObject::instance(), typeid(int32_t), typeid(int32_t),
        tavi::Variant(std::string("_volatility")),
        Annotations{tavi::Variant(Meta::MultiSelection::Persistent())}, std::move(getter),
        MetaProperty::Setter());
}

} // namespace

// --- GenericObject ----------------------------------------------------------------

GenericObject::GenericObject() : m_impl(std::make_unique<Impl>()) {
    GenericMetaObject::instance();
    m_impl->m_owner = this;
}

GenericObject::GenericObject(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {
    GenericMetaObject::instance();
    KOR_ASSERT(m_impl);
    if (!m_impl)
        m_impl = std::make_unique<Impl>();
    m_impl->m_owner = this;
    m_impl->clear();
}

GenericObject::~GenericObject() = default;

size_t GenericObject::addProperty(tavi::Variant key, size_t index, tavi::Variant value,
                                  Annotations annotations) {
    ZEL::Profiler::Scope scope("Reflection|GenericObject");
    return addPropertyImpl(
        std::make_shared<GenericProperty>(std::move(key), std::move(annotations), std::move(value)), index);
}

BoundProperty GenericObject::setProperty(tavi::Variant key, size_t index, tavi::Variant value,
                                         Annotations annotations) {
    ZEL::Profiler::Scope scope("Reflection|GenericObject");
    return setPropertyImpl(
        std::make_shared<GenericProperty>(std::move(key), std::move(annotations), std::move(value)), index);
}

size_t GenericObject::addPropertyImpl(std::shared_ptr<MetaProperty> property, size_t index) {
    return m_impl->addProperty(std::move(property), index);
}

BoundProperty GenericObject::setPropertyImpl(std::shared_ptr<MetaProperty> property, size_t index) {
    return m_impl->setProperty(std::move(property), index);
}

BoundProperty GenericObject::getProperty(const tavi::Variant& key, size_t index) {
    return m_impl->getProperty(key, index);
}

BoundProperty GenericObject::findProperty(const tavi::Variant& key) const {
    return propertyAt(indexOfProperty(key));
}

std::shared_ptr<MetaProperty> GenericObject::findMetaProperty(const tavi::Variant& key) const {
    return metaPropertyAt(indexOfProperty(key));
}

BoundProperty GenericObject::propertyAt(size_t index) const {
    return m_impl->metaPropertyAt(index) ? BoundProperty(m_impl->object(), index) : BoundProperty();
}

std::shared_ptr<MetaProperty> GenericObject::metaPropertyAt(size_t index) const {
    return m_impl->metaPropertyAt(index);
}

size_t GenericObject::indexOfProperty(const tavi::Variant& key) const { return m_impl->indexOfProperty(key); }

size_t GenericObject::propertyCount() const { return m_impl->propertyCount(); }

bool GenericObject::removePropertyAt(size_t index) { return m_impl->removePropertyAt(index); }

bool GenericObject::removeProperty(const tavi::Variant& key) { return m_impl->removeProperty(key); }

void GenericObject::clear() { m_impl->clear(); }

VolatilityType GenericObject::getVolatility() const { return m_impl->volatility(); }

void GenericObject::setVolatility(VolatilityType volatility) { m_impl->setVolatility(volatility); }

const ReflectedObject& GenericObject::object() const { return m_impl->object(); }

bool GenericObject::typeCheck(const std::type_info& type) const { return m_impl->typeCheck(type); }

// --- GenericObject::Impl ------------------------------------------------------------

GenericObject::Impl::Impl() {
    // Room for a typical sheet before the first rehash.
    m_properties.get<1>().rehash(53);
    m_properties.get<1>().max_load_factor(1.0f);
}

GenericObject::Impl::~Impl() = default;

const ReflectedObject& GenericObject::Impl::object() const {
    if (!m_object.isValid() && m_owner)
        m_object = GenericMetaObject::ownerObject(*m_owner);
    return m_object;
}

BoundProperty GenericObject::Impl::propertyAt(size_t index) const {
    return index < m_properties.size() ? BoundProperty(object(), index) : BoundProperty();
}

size_t GenericObject::Impl::clampedPosition(size_t index) const noexcept {
    return std::min(index, m_properties.size());
}

size_t GenericObject::Impl::propertyCount() const { return m_properties.size(); }

size_t GenericObject::Impl::indexOfProperty(const tavi::Variant& key) const {
    Kor::StackTracker::Frame frame("orv::GenericObject::Impl::indexOfProperty");
    const auto& byKey = m_properties.get<1>();
    const auto found = byKey.find(key);
    if (found == byKey.end())
        return MetaObject::INVALID_INDEX;
    return size_t(m_properties.project<0>(found) - m_properties.begin());
}

std::shared_ptr<MetaProperty> GenericObject::Impl::metaPropertyAt(size_t index) {
    Kor::StackTracker::Frame frame("orv::GenericObject::Impl::metaPropertyAt");
    return index < m_properties.size() ? m_properties[index] : nullptr;
}

void GenericObject::Impl::insert(std::shared_ptr<MetaProperty> property, size_t position) {
    const AnnouncedChange<PropertiesAddNotifier> notifier(object(), position, 1);
    ZEL::Profiler::Scope scope("Reflection|GenericObject");
    const auto r = m_properties.insert(m_properties.begin() + std::ptrdiff_t(position), std::move(property));
    KOR_ASSERT(r.second);
}

size_t GenericObject::Impl::addProperty(std::shared_ptr<MetaProperty> property, size_t index) {
    Kor::StackTracker::Frame frame("orv::GenericObject::Impl::addProperty");
    KOR_ASSERT(property);
    if (!property)
        return MetaObject::INVALID_INDEX;
    // An existing key wins; 0 (not INVALID_INDEX) tells callers nothing was refused.
    if (indexOfProperty(property->key()) != MetaObject::INVALID_INDEX)
        return 0;
    if (Announcing::refuses(object(), "orv::GenericObject::Impl::addProperty"))
        return MetaObject::INVALID_INDEX;
    const size_t position = clampedPosition(index);
    insert(std::move(property), position);
    return position;
}

BoundProperty GenericObject::Impl::setProperty(std::shared_ptr<MetaProperty> property, size_t index) {
    Kor::StackTracker::Frame frame("orv::GenericObject::Impl::setProperty");
    KOR_ASSERT(property);
    if (!property || Announcing::refuses(object(), "orv::GenericObject::Impl::setProperty"))
        return {};
    const size_t existing = indexOfProperty(property->key());
    if (existing == MetaObject::INVALID_INDEX) {
        const size_t position = clampedPosition(index);
        insert(std::move(property), position);
        return propertyAt(position);
    }
    const ReflectedObject& owner = object();
    {
        // A replacement keeps the position: announced as a change of the
        // property's sources, so views re-read its description and value.
        const AnnouncedChange<PropertyChangeNotifier> notifier(owner, existing, 1, SetterFlags(),
                                                               NotifyFlag::Sources);
        ZEL::Profiler::Scope scope("Reflection|GenericObject");
        // The record of the position (its signals, user data, bindings) now
        // describes the new property.
        if (const std::shared_ptr<PropertyData>& data = ObjectData::propertyData(owner, existing))
            data->setMetaProperty(property);
        const bool replaced = m_properties.replace(m_properties.begin() + std::ptrdiff_t(existing), property);
        KOR_ASSERT(replaced);
    }
    return propertyAt(existing);
}

BoundProperty GenericObject::Impl::getProperty(const tavi::Variant& key, size_t index) {
    Kor::StackTracker::Frame frame("orv::GenericObject::Impl::getProperty");
    const size_t existing = indexOfProperty(key);
    if (existing != MetaObject::INVALID_INDEX)
        return propertyAt(existing);
    if (Announcing::refuses(object(), "orv::GenericObject::Impl::getProperty"))
        return {};
    const size_t position = clampedPosition(index);
    std::shared_ptr<MetaProperty> property;
    {
        // Made before anything is announced: a key without a text form
        // throws here and leaves the object as it was.
        ZEL::Profiler::Scope scope("Reflection|MetaProperties|GenericObject");
        property = std::make_shared<GenericProperty>(key, Annotations(), tavi::Variant());
    }
    insert(std::move(property), position);
    return propertyAt(position);
}

bool GenericObject::Impl::removePropertyAt(size_t index) {
    Kor::StackTracker::Frame frame("orv::GenericObject::Impl::removePropertyAt");
    if (index >= m_properties.size() ||
        Announcing::refuses(object(), "orv::GenericObject::Impl::removePropertyAt"))
        return false;
    const AnnouncedChange<PropertiesRemoveNotifier> notifier(object(), index, 1);
    // Only the element pointers behind it move; no value is copied.
    m_properties.erase(m_properties.begin() + std::ptrdiff_t(index));
    return true;
}

bool GenericObject::Impl::removeProperty(const tavi::Variant& key) {
    Kor::StackTracker::Frame frame("orv::GenericObject::Impl::removeProperty");
    const size_t index = indexOfProperty(key);
    return index != MetaObject::INVALID_INDEX && removePropertyAt(index);
}

void GenericObject::Impl::clear() {
    Kor::StackTracker::Frame frame("orv::GenericObject::Impl::clear");
    if (Announcing::refuses(object(), "orv::GenericObject::Impl::clear"))
        return;
    if (const size_t count = m_properties.size(); count != 0) {
        const AnnouncedChange<PropertiesRemoveNotifier> notifier(object(), 0, count);
        m_properties.clear();
    }
    ZEL::Profiler::Scope scope("Reflection|GenericObject");
    addProperty(makeVolatilityProperty(), MetaObject::INVALID_INDEX);
}

bool GenericObject::Impl::typeCheck(const std::type_info& type) const {
    return type == typeid(GenericObject);
}

void GenericObject::Impl::setVolatility(VolatilityType volatility) { m_volatility = volatility; }

// --- properties ----------------------------------------------------------------------

// The getter (and the setter below) read the value of the property they are
// built into, so copies are built afresh rather than copied member-wise.
GenericObject::ReadOnlyGenericProperty::ReadOnlyGenericProperty(tavi::Variant key, Annotations annotations,
                                                                tavi::Variant value, Setter setter)
    : NotifyableMetaProperty<1>(
          GenericMetaObject::instance(), typeid(tavi::Variant), staticTypeOf(value), std::move(key),
          std::move(annotations), [this](const BoundProperty&) { return m_value; }, std::move(setter)),
      m_value(std::move(value)) {}

GenericObject::ReadOnlyGenericProperty::ReadOnlyGenericProperty(tavi::Variant key, Annotations annotations,
                                                                tavi::Variant value)
    : ReadOnlyGenericProperty(std::move(key), std::move(annotations), std::move(value), Setter()) {}

GenericObject::ReadOnlyGenericProperty::ReadOnlyGenericProperty(const ReadOnlyGenericProperty& other)
    : ReadOnlyGenericProperty(other.key(), other.annotations(), other.m_value) {
    storageType(other.storageType());
}

GenericObject::ReadOnlyGenericProperty::~ReadOnlyGenericProperty() = default;

std::shared_ptr<MetaProperty> GenericObject::ReadOnlyGenericProperty::clone() const {
    return std::make_shared<ReadOnlyGenericProperty>(*this);
}

GenericObject::GenericProperty::GenericProperty(tavi::Variant key, Annotations annotations,
                                                tavi::Variant value)
    : ReadOnlyGenericProperty(
          std::move(key), std::move(annotations), std::move(value),
          [this](const BoundProperty&, const tavi::Variant& incoming, SetterFlags) { m_value = incoming; }) {}

GenericObject::GenericProperty::GenericProperty(const GenericProperty& other)
    : GenericProperty(other.key(), other.annotations(), other.m_value) {
    storageType(other.storageType());
}

GenericObject::GenericProperty::~GenericProperty() = default;

std::shared_ptr<MetaProperty> GenericObject::GenericProperty::clone() const {
    return std::make_shared<GenericProperty>(*this);
}

// --- GenericMetaObject ------------------------------------------------------------------

GenericMetaObject::GenericMetaObject() : NotifyableMetaObject<1>(typeid(GenericObject), 0, "", {}) {
    // Fixed properties carry library annotations (Meta::MultiSelection::Persistent).
    library_types_details::registerLibraryTypes();
    MetaObjectManager::instance().registerType(this);
}

GenericMetaObject::~GenericMetaObject() { MetaObjectManager::instance().unregisterType(this); }

GenericMetaObject* GenericMetaObject::instance() {
    static GenericMetaObject s_instance;
    return &s_instance;
}

tavi::Variant GenericMetaObject::create() { return tavi::Variant(std::make_shared<GenericObject>()); }

bool GenericMetaObject::objectMatches(const tavi::Variant& value) const {
    if (value.castPtr<GenericObject>())
        return true;
    const tavi::MetaType* type = value.type();
    if (type && type->isPointer() && !type->pointeeType() && value.isNullPointer())
        return true;
    const GenericObject* converted = nullptr;
    return type && value.tryCast(converted);
}

Annotations GenericMetaObject::annotations(const tavi::Variant&) { return {}; }

std::shared_ptr<ObjectData> GenericMetaObject::objectData(const tavi::Variant& value) {
    const GenericObject* object = value.castPtr<GenericObject>();
    if (!object && value.type())
        value.tryCast(object);
    if (!object)
        return nullptr;
    return objectDataOf(*object, tavi::Variant(const_cast<GenericObject*>(object)), this);
}

ReflectedObject GenericMetaObject::ownerObject(const GenericObject& owner) {
    tavi::Variant value(const_cast<GenericObject*>(&owner));
    const std::shared_ptr<ObjectData>& data = objectDataOf(owner, value, nullptr);
    return data ? ReflectedObject(std::move(value), data) : ReflectedObject();
}

std::shared_ptr<MetaProperty> GenericMetaObject::property(const ReflectedObject& object, size_t index,
                                                          size_t* remaining) const {
    size_t rest = index;
    if (std::shared_ptr<MetaProperty> inherited = MetaObject::property(object, index, &rest))
        return inherited;
    const GenericObject* generic = convertor_details::findInstance<GenericObject, true>(object);
    if (!generic) {
        if (remaining)
            *remaining = rest;
        return nullptr;
    }
    if (std::shared_ptr<MetaProperty> own = generic->metaPropertyAt(rest))
        return own;
    if (remaining)
        *remaining = rest - generic->propertyCount();
    return nullptr;
}

size_t GenericMetaObject::findSelfProperty(const ReflectedObject& object, const tavi::Variant& key) const {
    const GenericObject* generic = convertor_details::findInstance<GenericObject, true>(object);
    if (!generic)
        return INVALID_INDEX;
    const size_t index = generic->indexOfProperty(key);
    return index == INVALID_INDEX ? INVALID_INDEX : index + firstSelfProperty(object);
}

size_t GenericMetaObject::addProperty(const ReflectedObject& object, const tavi::Variant& key,
                                      const tavi::Variant& value) {
    Kor::StackTracker::Frame frame("orv::GenericMetaObject::addProperty");
    GenericObject* generic = convertor_details::findInstance<GenericObject, false>(object);
    if (!generic)
        return INVALID_INDEX;
    std::optional<std::string> name = variant_text_details::textOf(key);
    if (!name || name->empty())
        return INVALID_INDEX;
    return generic->addProperty(tavi::Variant(std::move(*name)), INVALID_INDEX, value, Annotations());
}

bool GenericMetaObject::removeProperty(const ReflectedObject& object, size_t index) {
    GenericObject* generic = convertor_details::findInstance<GenericObject, false>(object);
    return generic && generic->removePropertyAt(index);
}

} // namespace orv
