#pragma once
// Objects whose properties are made at run time.
//
// A GenericObject is a property sheet that code builds, changes and tears
// down while the editor runs: custom properties of a scene node, the
// settings of a tool, the combined object of a multi-selection. Every
// property is identified by a key (usually a text) and stores its own value;
// the list belongs to the instance. One process-wide meta object,
// GenericMetaObject, describes every instance by asking the instance, so
// generic objects are reflected, observed, serialised and undone like any
// declared type.
//
//     orv::GenericObject sheet;
//     sheet.addProperty("speed", orv::MetaObject::INVALID_INDEX, 2.5f);   // appended
//     sheet.setProperty("name", 0, std::string("camera"));                // inserted first
//     sheet["speed"].set(3.0f);                                            // notified, undoable
//     sheet.removeProperty("name");
//
// Adding, replacing, removing and clearing are announced through the notify
// scope like any structure or value change. A listener must not change the
// structure of the object from an about-to-change notification of that same
// object (such a change is refused with an error); from the final
// notifications it may.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <boost/multi_index/hashed_index.hpp>
#include <boost/multi_index/random_access_index.hpp>
#include <boost/multi_index_container.hpp>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <typeinfo>

namespace orv {

class GenericMetaObject;

// How durable paths treat an object; published as the read-only property
// "_volatility".
enum class VolatilityType : int32_t {
    Ordinary = 0, // paths pass through the object
    Volatile = 1, // never part of a path: a path stops below it
    Anchor = 2,   // a path stops at the object, which becomes the root
};

class GenericObject : public Object {
public:
    class Impl;
    class ReadOnlyGenericProperty;
    class GenericProperty;

    // No properties at all, not even "_volatility" (clear() adds it).
    GenericObject();
    GenericObject(const GenericObject&) = delete;
    GenericObject& operator=(const GenericObject&) = delete;
    // Destroys the properties without notification.
    ~GenericObject() override;

    // Adds a writable property holding `value` before `index` (past the end:
    // appended) and returns its position. A key already present changes
    // nothing and gives 0. The key's text is the property's name; a key
    // without a text form raises the value library's cast error before
    // anything changes.
    size_t addProperty(tavi::Variant key, size_t index = MetaObject::INVALID_INDEX, tavi::Variant value = {},
                       Annotations annotations = {});
    // As addProperty, except that a property with the key is replaced in its
    // place (announced as a change of its sources, not as a removal and an
    // addition).
    BoundProperty setProperty(tavi::Variant key, size_t index, tavi::Variant value,
                              Annotations annotations = {});
    // The property with the key; a missing one is first added (holding a
    // void value) before `index`.
    BoundProperty getProperty(const tavi::Variant& key, size_t index = MetaObject::INVALID_INDEX);

    // Lookups; invalid handles, null and INVALID_INDEX when absent.
    [[nodiscard]] BoundProperty findProperty(const tavi::Variant& key) const;
    [[nodiscard]] BoundProperty operator[](const tavi::Variant& key) const { return findProperty(key); }
    [[nodiscard]] std::shared_ptr<MetaProperty> findMetaProperty(const tavi::Variant& key) const;
    [[nodiscard]] BoundProperty propertyAt(size_t index) const;
    [[nodiscard]] std::shared_ptr<MetaProperty> metaPropertyAt(size_t index) const;
    [[nodiscard]] size_t indexOfProperty(const tavi::Variant& key) const;
    [[nodiscard]] size_t propertyCount() const;

    // Later properties move down by one; false when there is nothing there.
    bool removePropertyAt(size_t index);
    bool removeProperty(const tavi::Variant& key);
    // Removes every property, then adds "_volatility" (a derived object adds
    // its own fixed properties too).
    void clear();

    [[nodiscard]] VolatilityType getVolatility() const;
    // Not announced: "_volatility" reads the value when asked.
    void setVolatility(VolatilityType volatility);

    // The handle every notification and every returned property refers to.
    [[nodiscard]] const ReflectedObject& object() const;

protected:
    // For derived objects with their own Impl; calls its clear(), where it
    // builds its fixed properties.
    explicit GenericObject(std::unique_ptr<Impl> impl);
    [[nodiscard]] Impl* impl() const noexcept { return m_impl.get(); }

private:
    template <class T>
    friend T* genericObjectCast(GenericObject* object) noexcept;
    template <class T>
    friend const T* genericObjectCast(const GenericObject* object) noexcept;

    size_t addPropertyImpl(std::shared_ptr<MetaProperty> property, size_t index);
    BoundProperty setPropertyImpl(std::shared_ptr<MetaProperty> property, size_t index);
    bool typeCheck(const std::type_info& type) const;

    std::unique_ptr<Impl> m_impl;
};

// `object` as a T (GenericObject or a class derived from it whose Impl
// answers for T), or null.
template <class T>
T* genericObjectCast(GenericObject* object) noexcept {
    return object && object->typeCheck(typeid(T)) ? static_cast<T*>(object) : nullptr;
}
template <class T>
const T* genericObjectCast(const GenericObject* object) noexcept {
    return object && object->typeCheck(typeid(T)) ? static_cast<const T*>(object) : nullptr;
}

// The property list of one generic object and the operations on it. Derived
// objects (the multi-selection) derive from it and override single
// operations; positions are clamped (an index past the end appends).
class GenericObject::Impl {
public:
    Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    virtual ~Impl();

    virtual size_t propertyCount() const;
    virtual size_t indexOfProperty(const tavi::Variant& key) const;
    virtual std::shared_ptr<MetaProperty> metaPropertyAt(size_t index);
    virtual BoundProperty getProperty(const tavi::Variant& key, size_t index);
    virtual size_t addProperty(std::shared_ptr<MetaProperty> property, size_t index);
    virtual BoundProperty setProperty(std::shared_ptr<MetaProperty> property, size_t index);
    virtual bool removePropertyAt(size_t index);
    virtual bool removeProperty(const tavi::Variant& key);
    virtual void clear();
    virtual bool typeCheck(const std::type_info& type) const;
    virtual void setVolatility(VolatilityType volatility);

    [[nodiscard]] GenericObject* owner() const noexcept { return m_owner; }
    [[nodiscard]] VolatilityType volatility() const noexcept { return m_volatility; }
    // The owner as a handle: made once, when first needed, and shared by all
    // notifications and results, so they share one context (and its caches).
    // Invalid when no object data can be made for the owner.
    [[nodiscard]] const ReflectedObject& object() const;
    // The owner's property at `index`; invalid when out of range.
    [[nodiscard]] BoundProperty propertyAt(size_t index) const;

private:
    friend class GenericObject;

    struct KeyOf {
        using result_type = tavi::Variant;
        const tavi::Variant& operator()(const std::shared_ptr<MetaProperty>& property) const {
            return property->key();
        }
    };
    // Positions in the sequence are property indices; keys are unique.
    using Properties = boost::multi_index_container<
        std::shared_ptr<MetaProperty>,
        boost::multi_index::indexed_by<boost::multi_index::random_access<>,
                                       boost::multi_index::hashed_unique<KeyOf, std::hash<tavi::Variant>>>>;

    // Inserts before `position` (<= count), announced as an addition.
    void insert(std::shared_ptr<MetaProperty> property, size_t position);
    size_t clampedPosition(size_t index) const noexcept;

    Properties m_properties;
    GenericObject* m_owner = nullptr;
    VolatilityType m_volatility = VolatilityType::Ordinary;
    mutable ReflectedObject m_object;
};

// A property that stores its own value and offers no setter.
class GenericObject::ReadOnlyGenericProperty : public NotifyableMetaProperty<1> {
public:
    // Holds values of any type: the property type is Variant, the storage
    // type that of the initial value.
    ReadOnlyGenericProperty(tavi::Variant key, Annotations annotations, tavi::Variant value);
    // A copy with the same description and value (and no connections).
    ReadOnlyGenericProperty(const ReadOnlyGenericProperty& other);
    ~ReadOnlyGenericProperty() override;

    std::shared_ptr<MetaProperty> clone() const override;

    [[nodiscard]] const tavi::Variant& value() const noexcept { return m_value; }

protected:
    // For GenericProperty: the same with a setter.
    ReadOnlyGenericProperty(tavi::Variant key, Annotations annotations, tavi::Variant value, Setter setter);

    tavi::Variant m_value;
};

// A property that stores its own value; the setter takes any value as it is.
class GenericObject::GenericProperty : public ReadOnlyGenericProperty {
public:
    GenericProperty(tavi::Variant key, Annotations annotations, tavi::Variant value);
    GenericProperty(const GenericProperty& other);
    ~GenericProperty() override;

    std::shared_ptr<MetaProperty> clone() const override;
};

// The meta object of every GenericObject: it answers by asking the instance.
class GenericMetaObject : public NotifyableMetaObject<1> {
public:
    // Registers itself (and unregisters when destroyed).
    GenericMetaObject();
    ~GenericMetaObject() override;

    // The process-wide instance, made and registered on first use.
    static GenericMetaObject* instance();

    // A new, empty GenericObject owned by a std::shared_ptr in the Variant.
    tavi::Variant create() override;
    // A GenericObject, a pointer to one (a null void* too), or what converts to one.
    bool objectMatches(const tavi::Variant& value) const override;
    // Generic objects carry no type annotations.
    Annotations annotations(const tavi::Variant& value) override;
    // The instance's own data, made on first use.
    std::shared_ptr<ObjectData> objectData(const tavi::Variant& value) override;
    std::shared_ptr<MetaProperty> property(const ReflectedObject& object, size_t index,
                                           size_t* remaining) const override;
    // Appends a property whose key is `key` as text; INVALID_INDEX when the
    // object is no (writable) generic object or the text is empty.
    size_t addProperty(const ReflectedObject& object, const tavi::Variant& key,
                       const tavi::Variant& value) override;
    bool removeProperty(const ReflectedObject& object, size_t index) override;

private:
    friend class GenericObject::Impl;

    size_t findSelfProperty(const ReflectedObject& object, const tavi::Variant& key) const override;
    // The handle of `owner`, with its object data.
    static ReflectedObject ownerObject(const GenericObject& owner);
};

} // namespace orv
