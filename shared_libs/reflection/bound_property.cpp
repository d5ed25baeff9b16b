#include "shared_libs/reflection/bound_property.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/hash.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_property.hpp"

namespace orv {
namespace {

const tavi::Variant s_noKey;
const std::string s_noName;

} // namespace

BoundProperty::BoundProperty(ReflectedObject object, size_t index) : m_object(std::move(object)) {
    Kor::StackTracker::Frame frame("orv::BoundProperty::BoundProperty");
    if (!m_object.isValid())
        return;
    std::shared_ptr<MetaProperty> property = m_object.metaPropertyAt(index);
    if (!property) {
        Kor::errorMessage("Property creation from wrong index");
        return;
    }
    m_metaProperty = property;
}

std::shared_ptr<MetaProperty> BoundProperty::metaProperty() const {
    return m_object.isValid() ? m_metaProperty.lock() : nullptr;
}

const tavi::Variant& BoundProperty::key() const {
    const auto property = metaProperty();
    return property ? property->key() : s_noKey;
}

const std::string& BoundProperty::name() const {
    const auto property = metaProperty();
    return property ? property->name() : s_noName;
}

const std::type_info& BoundProperty::propertyType() const {
    const auto property = metaProperty();
    return property ? property->propertyType() : typeid(void);
}

const std::type_info& BoundProperty::storageType() const {
    const auto property = metaProperty();
    return property ? property->storageType() : typeid(void);
}

bool BoundProperty::isValue() const {
    const auto property = metaProperty();
    return property && property->getter();
}

bool BoundProperty::isMethod() const {
    const auto property = metaProperty();
    return property && bool(property->method());
}

bool BoundProperty::isConst() const {
    const auto property = metaProperty();
    return !property || !property->setter() || m_object.isConst();
}

TypeInfo BoundProperty::typeInfo() const {
    const auto property = metaProperty();
    return property ? TypeInfo(get(), property->propertyType(), property->storageType()) : TypeInfo();
}

tavi::Variant BoundProperty::get() const {
    Kor::StackTracker::Frame frame("orv::BoundProperty::get");
    const auto property = metaProperty();
    if (!property || !property->getter())
        return {};
    try {
        return property->getter()(*this);
    } catch (const FuzzyArgumentException& error) {
        Kor::errorMessage("Error getting property '%s': %s", property->name().c_str(), error.what());
        return {};
    }
}

Annotations BoundProperty::annotations() const {
    const auto property = metaProperty();
    return property ? property->annotations() : Annotations();
}

meta_property::VisibilityFlags BoundProperty::visibility() const {
    const auto property = metaProperty();
    return property ? property->visibility(*this) : meta_property::HIDDEN;
}

zel::Connection BoundProperty::connectPropertyAboutToBeChanged(const MetaProperty::PropertySlot& slot) const {
    const auto property = metaProperty();
    return property ? property->connectPropertyAboutToBeChanged(*this, nullptr, slot, 0) : zel::Connection();
}

zel::Connection BoundProperty::connectPropertyChanged(const MetaProperty::PropertySlot& slot) const {
    const auto property = metaProperty();
    return property ? property->connectPropertyChanged(*this, nullptr, slot, 0) : zel::Connection();
}

zel::Connection BoundProperty::connectMethodAboutToBeInvoked(
    const MetaProperty::MethodAboutToBeInvokedSlot& slot) const {
    const auto property = metaProperty();
    return property ? property->connectMethodAboutToBeInvoked(*this, nullptr, slot, 0) : zel::Connection();
}

zel::Connection BoundProperty::connectMethodInvoked(const MetaProperty::MethodInvokedSlot& slot) const {
    const auto property = metaProperty();
    return property ? property->connectMethodInvoked(*this, nullptr, slot, 0) : zel::Connection();
}

bool operator==(const BoundProperty& a, const BoundProperty& b) {
    return &a == &b || (a.metaProperty() == b.metaProperty() && a.m_object == b.m_object);
}

size_t BoundProperty::hash() const {
    const uint64_t s = m_object.get().hash();
    const uint64_t h = std::hash<const MetaProperty*>()(metaProperty().get());
    return static_cast<size_t>(s ^ (h + 0x9e3779b9ull + (s << 6) + (s >> 2)));
}

} // namespace orv
