#pragma once
// Handle to a live instance: the instance (always held as a non-null
// pointer), its most derived registered meta object, and through those its
// properties.
//
// This is the handle's core: identity, validity and property access. The
// shared per-instance data, the per-reference context, lookups by path or
// pattern and the structure signals join it as those pieces arrive.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/argument_convertors.hpp"
#include "shared_libs/reflection/meta_object.hpp"

#include <cstddef>
#include <memory>
#include <type_traits>
#include <typeinfo>

namespace orv {

class BoundProperty;
class MetaProperty;

class ReflectedObject {
public:
    // Lets a property enumerator return nothing: such a callable never stops
    // the enumeration.
    struct PropertyEnumeratorArgumentsConvertor : BoundPropertyArgumentConvertor {
        template <class R, class From>
        struct ResultConverter {
            static constexpr bool enabled = false;
        };
        template <class From>
            requires std::is_void_v<From>
        struct ResultConverter<bool, From> {
            static constexpr bool enabled = true;
            static bool convert() { return true; }
        };
    };

    ReflectedObject() = default;
    // A non-null pointer is looked up in the registry and refined to its most
    // derived registered type; anything else gives an invalid handle.
    explicit ReflectedObject(tavi::Variant object);

    bool isValid() const noexcept { return m_metaObject != nullptr; }
    explicit operator bool() const noexcept { return isValid(); }

    const tavi::Variant& get() const noexcept { return m_object; }
    MetaObject* metaObject() const noexcept { return m_metaObject; }
    const std::type_info& type() const noexcept;
    // The instance's pointer qualifiers; bit 1 is "const".
    unsigned qualifiers() const noexcept;
    bool isConst() const noexcept;
    Annotations annotations() const;

    size_t propertyCount() const;
    size_t firstSelfProperty() const;
    size_t indexOfProperty(const tavi::Variant& key) const;
    std::shared_ptr<MetaProperty> metaPropertyAt(size_t index) const;
    BoundProperty propertyAt(size_t index) const;
    std::shared_ptr<MetaProperty> findMetaProperty(const tavi::Variant& key) const;
    BoundProperty findPropertyByKey(const tavi::Variant& key) const;

    // Same instance value (Variant equality); hash of that value.
    friend bool operator==(const ReflectedObject& a, const ReflectedObject& b) { return a.m_object == b.m_object; }
    size_t hash() const { return m_object.hash(); }

private:
    void init(tavi::Variant object, MetaObject* metaObject);

    tavi::Variant m_object;
    MetaObject* m_metaObject = nullptr;
};

} // namespace orv

template <>
struct std::hash<orv::ReflectedObject> {
    size_t operator()(const orv::ReflectedObject& object) const { return object.hash(); }
};
