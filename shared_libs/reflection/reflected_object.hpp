#pragma once
// Handle to a live instance, and the instance's shared per-instance data.
//
// A ReflectedObject holds the instance (always as a non-null pointer), a
// weak reference to its ObjectData (or, for types without per-instance data,
// to the meta object itself, which never expires) and a shared context: the
// object's own cache, or a reference that also names the property through
// which the object was reached. Copies share the data and the context; a
// handle turns invalid by itself when the data goes.

#include "orv_cpp_utils/generator.hpp"
#include "platform/corekit/string_ref.hpp"
#include "platform/variant/variant.hpp"
#include "platform/zel_core/flags.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/details/object_signals.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/stateless.hpp"
#include "shared_libs/shared_common/ptr_variant.hpp"

#include <boost/range/iterator_range.hpp>

#include <cstddef>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace orv {

class BoundProperty;
class MetaProperty;
class ObjectData;
class PropertyData;
class ReflectedObjectContextData;
class ReflectedObjectReference;
class TypeInfo;

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
    using PropertyEnumerator =
        FuzzyFunction<bool(const BoundProperty&), PropertyEnumeratorArgumentsConvertor>;

    class PropertyIterator;
    using PropertyRange = boost::iterator_range<PropertyIterator>;

    ReflectedObject() noexcept;
    // A non-null pointer is looked up in the registry and refined to its most
    // derived registered type; anything else gives an invalid handle.
    explicit ReflectedObject(tavi::Variant object);
    // The same, reached through `reference`.
    ReflectedObject(tavi::Variant object, const BoundProperty& reference);
    // The object a property's value points to, reached through the property.
    explicit ReflectedObject(const BoundProperty& property);
    // An instance with known per-instance data.
    ReflectedObject(tavi::Variant object, const std::shared_ptr<ObjectData>& data);

    // Inline: handles are copied on every property visit.
    ReflectedObject(const ReflectedObject&) = default;
    ReflectedObject(ReflectedObject&&) noexcept = default;
    ReflectedObject& operator=(const ReflectedObject&);
    ReflectedObject& operator=(ReflectedObject&&) noexcept;
    ~ReflectedObject() = default;

    // Inline: every read through a handle asks first.
    [[nodiscard]] bool isValid() const noexcept { return !m_meta.expired(); }
    explicit operator bool() const noexcept { return isValid(); }

    [[nodiscard]] const tavi::Variant& get() const noexcept { return m_object; }
    [[nodiscard]] MetaObject* metaObject() const noexcept;
    [[nodiscard]] ObjectData* objectData() const noexcept;
    [[nodiscard]] const std::type_info& type() const noexcept;
    // The instance's pointer qualifiers (CONST_POINTEE is bit 1).
    [[nodiscard]] zel::Flags<tavi::MetaType::Qualifier> qualifiers() const noexcept;
    [[nodiscard]] bool isConst() const noexcept;
    [[nodiscard]] Annotations annotations() const;
    [[nodiscard]] ReflectedObjectContextData* contextData() const noexcept;
    [[nodiscard]] Meta::Stateless::Mode statelessMode() const;
    [[nodiscard]] bool isStateless() const { return statelessMode() != Meta::Stateless::Mode::None; }

    [[nodiscard]] size_t propertyCount() const;
    [[nodiscard]] size_t firstSelfProperty() const;
    [[nodiscard]] size_t indexOfProperty(const tavi::Variant& key) const;
    [[nodiscard]] std::shared_ptr<MetaProperty> metaPropertyAt(size_t index) const;
    [[nodiscard]] BoundProperty propertyAt(size_t index) const;
    [[nodiscard]] std::shared_ptr<MetaProperty> findMetaProperty(const tavi::Variant& key) const;
    // A string key is read as a dotted path.
    [[nodiscard]] BoundProperty findPropertyByKey(const tavi::Variant& key) const;
    // "a.b.c": property c of the object held by b of the object held by a.
    [[nodiscard]] BoundProperty findPropertyByName(Kor::BasicStringRef<char> path) const;

    [[nodiscard]] PropertyRange properties() const;
    // Lazily, depth first: "*" this level, "a.b" b of the objects held by a,
    // "**" every property at every depth that holds no object, "***" every
    // property at every depth (holders after their descendants),
    // "~reference" the property this object was reached through.
    [[nodiscard]] zel::Generator<BoundProperty> properties(Kor::BasicStringRef<char> pattern) const;
    // Calls `fn` for each property (pattern "*") until it returns false;
    // returns how many properties were visited.
    size_t enumerateProperties(const PropertyEnumerator& fn) const;
    size_t enumerateProperties(Kor::BasicStringRef<char> pattern, const PropertyEnumerator& fn) const;

    // The property through which this object was reached; invalid if none.
    [[nodiscard]] BoundProperty reference() const;
    [[nodiscard]] ReflectedObject parent(int level = 1) const;
    // The `level`-th ancestor whose type name is `typeName` (any when empty).
    [[nodiscard]] ReflectedObject parent(Kor::BasicStringRef<char> typeName, int level = 1) const;
    [[nodiscard]] ReflectedObject root() const;
    // The object's path from its root, as a PersistentObject finds it
    // ("light.transform"); empty for an object that is its own root.
    [[nodiscard]] std::string fullName() const;
    // The "_typeName" property's text, or the readable type name; "empty" for nothing.
    [[nodiscard]] std::string getTypeIdentificator() const;

    // Structure changes act on the instance, not on the handle.
    BoundProperty addProperty(const tavi::Variant& key, const tavi::Variant& value) const;
    bool removeProperty(const tavi::Variant& key) const;
    bool removePropertyAt(size_t index) const;
    void clearProperties() const;

    zel::Connection connectObjectDeleted(const ObjectDeletedSlot& slot) const;
    zel::Connection connectStructureAboutToBeChanged(const ObjectSlot& slot) const;
    zel::Connection connectStructureChanged(const ObjectSlot& slot) const;
    zel::Connection connectPropertiesAboutToBeReset(const ObjectSlot& slot) const;
    zel::Connection connectPropertiesReset(const ObjectSlot& slot) const;
    zel::Connection connectPropertyAboutToBeAdded(const PropertyRangeSlot& slot) const;
    zel::Connection connectPropertyAdded(const PropertyRangeSlot& slot) const;
    zel::Connection connectPropertyAboutToBeRemoved(const PropertyRangeSlot& slot) const;
    zel::Connection connectPropertyRemoved(const PropertyRangeSlot& slot) const;

    // Same instance value (Variant equality); hash of that value.
    friend bool operator==(const ReflectedObject& a, const ReflectedObject& b) {
        return a.m_object == b.m_object;
    }
    [[nodiscard]] size_t hash() const { return m_object.hash(); }

private:
    friend class ReflectedObjectContextData;

    void init(tavi::Variant object, const std::shared_ptr<ObjectData>& data, const BoundProperty* reference);
    void init(tavi::Variant object, const TypeInfo& typeInfo, const BoundProperty* reference);
    void init(tavi::Variant object, MetaObject* metaObject, const BoundProperty* reference);
    void initContextData(const BoundProperty* reference);

    // Where an object's slots live is its meta object's choice.
    template <class Slot>
    using Connector = zel::Connection (MetaObject::*)(const ReflectedObject&, zel::InlineConnection*,
                                                      const Slot&, int);
    template <class Slot>
    zel::Connection connect(Connector<Slot> connector, zel::InlineConnection* storage, const Slot& slot,
                            int priority) const;
    // With storage in the caller and a priority: for the context data.
    zel::Connection connectPropertiesReset(zel::InlineConnection* storage, const ObjectSlot& slot,
                                           int priority) const;
    zel::Connection connectPropertyAdded(zel::InlineConnection* storage, const PropertyRangeSlot& slot,
                                         int priority) const;
    zel::Connection connectPropertyAboutToBeRemoved(zel::InlineConnection* storage,
                                                    const PropertyRangeSlot& slot, int priority) const;

    tavi::Variant m_object;
    WeakPtrVariant<ObjectData, MetaObject> m_meta;
    SharedPtrVariant<ReflectedObjectContextData, ReflectedObjectReference> m_context;
};

// The address of the instance `object` holds: the pointer it stores, or what
// the value converter makes of the value as `const void*`; null otherwise.
// The per-object signal maps of objects and properties use it as their key.
const void* objectIdentity(const ReflectedObject& object);

// Random-access position over the properties of one object.
class ReflectedObject::PropertyIterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = BoundProperty;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = BoundProperty;

    PropertyIterator() = default;
    PropertyIterator(ReflectedObject object, size_t index) : m_object(std::move(object)), m_index(index) {}

    BoundProperty operator*() const;
    BoundProperty operator[](difference_type n) const;
    [[nodiscard]] size_t index() const noexcept { return m_index; }

    PropertyIterator& operator++() noexcept { return ++m_index, *this; }
    PropertyIterator operator++(int) noexcept { return {m_object, m_index++}; }
    PropertyIterator& operator--() noexcept { return --m_index, *this; }
    PropertyIterator operator--(int) noexcept { return {m_object, m_index--}; }
    PropertyIterator& operator+=(difference_type n) noexcept { return m_index += size_t(n), *this; }
    PropertyIterator& operator-=(difference_type n) noexcept { return m_index -= size_t(n), *this; }
    friend PropertyIterator operator+(PropertyIterator it, difference_type n) noexcept { return it += n; }
    friend PropertyIterator operator+(difference_type n, PropertyIterator it) noexcept { return it += n; }
    friend PropertyIterator operator-(PropertyIterator it, difference_type n) noexcept { return it -= n; }
    friend difference_type operator-(const PropertyIterator& a, const PropertyIterator& b) noexcept {
        return difference_type(a.m_index) - difference_type(b.m_index);
    }
    friend bool operator==(const PropertyIterator& a, const PropertyIterator& b) noexcept {
        return a.m_index == b.m_index;
    }
    friend auto operator<=>(const PropertyIterator& a, const PropertyIterator& b) noexcept {
        return a.m_index <=> b.m_index;
    }

private:
    ReflectedObject m_object;
    size_t m_index = 0;
};

// The per-instance record shared by all handles of one instance: lazily
// created per-property data and the structure signals. Its property slots
// follow the meta object's numbering through every structure change.
class ObjectData {
    struct PrivateTag {};

public:
    ObjectData(PrivateTag, MetaObject* metaObject);
    ObjectData(const ObjectData&) = delete;
    ObjectData& operator=(const ObjectData&) = delete;
    // Raises object-deleted when connected.
    ~ObjectData();

    [[nodiscard]] static std::shared_ptr<ObjectData> create(const tavi::Variant& object,
                                                            MetaObject* metaObject);
    // The property's record, created on first use; a shared empty pointer
    // when the object has no data or the index is out of bounds (reported).
    [[nodiscard]] static const std::shared_ptr<PropertyData>& propertyData(const ReflectedObject& object,
                                                                           size_t index);

    [[nodiscard]] MetaObject* metaObject() const noexcept { return m_metaObject; }
    // How many per-property records the data keeps: one per property index.
    [[nodiscard]] size_t propertySlotCount() const;

    // Entry points of the notifying meta objects.
    void structureAboutToBeChanged(const ReflectedObject& object);
    void structureChanged(const ReflectedObject& object);
    void propertiesAboutToBeReset(const ReflectedObject& object);
    void propertiesReset(const ReflectedObject& object);
    void propertyAboutToBeAdded(const ReflectedObject& object, size_t index, size_t count);
    void propertyAdded(const ReflectedObject& object, size_t index, size_t count);
    void propertyAboutToBeRemoved(const ReflectedObject& object, size_t index, size_t count);
    void propertyRemoved(const ReflectedObject& object, size_t index, size_t count);

    zel::Connection connectObjectDeleted(zel::InlineConnection* storage, const ObjectDeletedSlot& slot,
                                         int priority) const;
    zel::Connection connectStructureAboutToBeChanged(zel::InlineConnection* storage, const ObjectSlot& slot,
                                                     int priority) const;
    zel::Connection connectStructureChanged(zel::InlineConnection* storage, const ObjectSlot& slot,
                                            int priority) const;
    zel::Connection connectPropertiesAboutToBeReset(zel::InlineConnection* storage, const ObjectSlot& slot,
                                                    int priority) const;
    zel::Connection connectPropertiesReset(zel::InlineConnection* storage, const ObjectSlot& slot,
                                           int priority) const;
    zel::Connection connectPropertyAboutToBeAdded(zel::InlineConnection* storage,
                                                  const PropertyRangeSlot& slot, int priority) const;
    zel::Connection connectPropertyAdded(zel::InlineConnection* storage, const PropertyRangeSlot& slot,
                                         int priority) const;
    zel::Connection connectPropertyAboutToBeRemoved(zel::InlineConnection* storage,
                                                    const PropertyRangeSlot& slot, int priority) const;
    zel::Connection connectPropertyRemoved(zel::InlineConnection* storage, const PropertyRangeSlot& slot,
                                           int priority) const;

private:
    void addProperties(const ReflectedObject& object, size_t index, size_t count);
    void removeProperties(const ReflectedObject& object, size_t index, size_t count);

    MetaObject* m_metaObject;
    std::weak_ptr<ObjectData> m_self;
    std::vector<std::shared_ptr<PropertyData>> m_properties;
    mutable std::mutex m_mutex;
    ObjectDeletedSignal m_objectDeleted;
    ObjectSignal m_propertiesAboutToBeReset;
    ObjectSignal m_propertiesReset;
    PropertyRangeSignal m_propertyAboutToBeAdded;
    PropertyRangeSignal m_propertyAdded;
    PropertyRangeSignal m_propertyAboutToBeRemoved;
    PropertyRangeSignal m_propertyRemoved;
    ObjectSignal m_structureAboutToBeChanged;
    ObjectSignal m_structureChanged;
};

} // namespace orv

template <>
struct std::hash<orv::ReflectedObject> {
    size_t operator()(const orv::ReflectedObject& object) const { return object.hash(); }
};
