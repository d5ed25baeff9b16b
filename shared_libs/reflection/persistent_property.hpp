#pragma once
// A durable reference to a property: the root and keys of a PersistentObject
// for the property's object, plus the property's own key. Every use walks the
// path again, so the property of a rebuilt object is found as long as the
// object sits at the same place under the same root.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/persistent_object.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <boost/container/small_vector.hpp>

#include <cstddef>
#include <functional>
#include <span>
#include <string>

namespace orv {

class PersistentProperty {
public:
    // Selects the constructors that take the property's object as the root.
    struct Direct {};

    // An invalid root and no keys.
    PersistentProperty() = default;
    // The path of the property's object (as PersistentObject finds it), then
    // the property's key.
    explicit PersistentProperty(const BoundProperty& property);
    // The property's object is the root; the only key is the property's.
    PersistentProperty(const BoundProperty& property, Direct);
    [[nodiscard]] static PersistentProperty direct(const BoundProperty& property) {
        return PersistentProperty(property, Direct{});
    }

    [[nodiscard]] const ReflectedObject& root() const noexcept { return m_root; }
    // From the root down; the last is the property's key.
    [[nodiscard]] std::span<const tavi::Variant> keys() const noexcept {
        return {m_keys.data(), m_keys.size()};
    }
    [[nodiscard]] std::string path() const;

    // The property the path leads to now; invalid when a step fails.
    [[nodiscard]] BoundProperty property() const;
    [[nodiscard]] tavi::Variant get() const { return property().get(); }

    // Identity is that of the property the path resolves to.
    [[nodiscard]] size_t hash() const { return property().hash(); }
    friend bool operator==(const PersistentProperty& a, const PersistentProperty& b) {
        return a.property() == b.property();
    }

private:
    ReflectedObject m_root;
    // Every recorded write makes one: paths of a few keys (a property of an
    // object a few levels below its root) take no allocation of their own.
    boost::container::small_vector<tavi::Variant, 4> m_keys;
};

} // namespace orv

template <>
struct std::hash<orv::PersistentProperty> {
    size_t operator()(const orv::PersistentProperty& property) const { return property.hash(); }
};
