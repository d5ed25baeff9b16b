#pragma once
// Handle to one property (or method) of one live object.
//
// This is the handle's core: construction, validity, identity, the
// descriptive accessors, reading, visibility and the change signals. The
// handle refers weakly to the property's description, so it turns invalid
// by itself when that goes. Per-instance property data, per-reference
// caches, writes and invocations join it as those pieces arrive.

#include "orv_cpp_utils/signal.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/property_flags.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <typeinfo>

namespace orv {

class BoundProperty {
public:
    BoundProperty() = default;
    // "Property creation from wrong index" and an invalid handle when the
    // object has no property at `index`.
    BoundProperty(ReflectedObject object, size_t index);

    bool isValid() const noexcept { return m_object.isValid() && !m_metaProperty.expired(); }
    explicit operator bool() const noexcept { return isValid(); }

    const ReflectedObject& object() const& noexcept { return m_object; }
    ReflectedObject object() && noexcept {
        m_metaProperty.reset();
        return std::move(m_object);
    }
    std::shared_ptr<MetaProperty> metaProperty() const;

    const tavi::Variant& key() const;
    const std::string& name() const;
    const std::type_info& propertyType() const;
    const std::type_info& storageType() const;
    bool isValue() const;
    bool isMethod() const;
    // No description, no setter, or an instance held through a const pointer.
    bool isConst() const;
    TypeInfo typeInfo() const;

    // The getter's value; empty when there is none. A getter that cannot take
    // the instance reports "Error getting property '%s': %s".
    tavi::Variant get() const;
    // The annotations of the property's description.
    Annotations annotations() const;
    meta_property::VisibilityFlags visibility() const;

    // Slots for this property of this instance; where they are kept is the
    // meta property's choice. Empty connections without a description.
    zel::Connection connectPropertyAboutToBeChanged(const MetaProperty::PropertySlot& slot) const;
    zel::Connection connectPropertyChanged(const MetaProperty::PropertySlot& slot) const;
    zel::Connection connectMethodAboutToBeInvoked(const MetaProperty::MethodAboutToBeInvokedSlot& slot) const;
    zel::Connection connectMethodInvoked(const MetaProperty::MethodInvokedSlot& slot) const;

    friend bool operator==(const BoundProperty& a, const BoundProperty& b);
    size_t hash() const;

private:
    ReflectedObject m_object;
    std::weak_ptr<MetaProperty> m_metaProperty;
};

} // namespace orv

template <>
struct std::hash<orv::BoundProperty> {
    size_t operator()(const orv::BoundProperty& property) const { return property.hash(); }
};
