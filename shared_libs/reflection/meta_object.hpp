#pragma once
// Run-time description of one compiled type: identity, display name, aliases,
// direct base classes (with pointer displacements) and the registered types
// derived from it. Subclasses decide how instances are created and
// recognised and where properties live; this class fixes how properties are
// numbered across base classes, how the most derived type of a value is
// found, and how pointers are cast between a type and its bases.

#include "platform/corekit/string_ref.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/details/object_signals.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

namespace tavi {
class Variant;
}

namespace orv {

namespace notify_scope_details {
struct Dispatch;
}

class MetaObjectManager;
class MetaProperty;
class ObjectData;
class ReflectedObject;

// Base of objects that keep their own per-instance data.
class Object {
public:
    virtual ~Object() = default;

private:
    friend class MetaObject;
    // Empty until first needed; installed by compare-and-exchange.
    mutable std::shared_ptr<ObjectData> m_data;
};

class MetaObject {
public:
    // Stands for "no property" wherever a property index is returned.
    static constexpr size_t INVALID_INDEX = ~size_t(0);

    // One direct base class and the displacement that, added to the address
    // of the base sub-object, gives the address of the derived object.
    class BaseClass {
    public:
        BaseClass(MetaObject* metaObject, long long offset) noexcept
            : m_metaObject(metaObject), m_offset(offset) {}
        [[nodiscard]] MetaObject* metaObject() const noexcept { return m_metaObject; }
        [[nodiscard]] long long offset() const noexcept { return m_offset; }

    private:
        MetaObject* m_metaObject;
        long long m_offset;
    };

    // An empty name is replaced by the value library's pretty name of `type`.
    // Constructing does not register the meta object.
    MetaObject(const std::type_info& type, int flags, std::string name, std::vector<BaseClass> baseClasses);
    MetaObject(const MetaObject&) = delete;
    MetaObject& operator=(const MetaObject&) = delete;
    // Reports while derived meta objects are still registered; never unregisters.
    virtual ~MetaObject();

    // A new instance of the type.
    virtual tavi::Variant create() = 0;
    // The most derived registered meta object at or below this one that
    // recognises `object` (depth first, derived before self); null if none.
    [[nodiscard]] virtual MetaObject* findDerived(const tavi::Variant& object);
    // Whether `object` is an instance of exactly this type.
    [[nodiscard]] virtual bool objectMatches(const tavi::Variant& object) const = 0;
    // The annotations of the type, as they apply to `object`.
    [[nodiscard]] virtual Annotations annotations(const tavi::Variant& object) = 0;
    [[nodiscard]] virtual std::shared_ptr<ObjectData> objectData(const tavi::Variant& object) = 0;
    [[nodiscard]] virtual size_t indexOfProperty(const ReflectedObject& object,
                                                 const tavi::Variant& key) const;
    // The property at `index`, or null; then `*remaining` (when given) gets
    // `index` minus the number of properties this meta object holds.
    virtual std::shared_ptr<MetaProperty> property(const ReflectedObject& object, size_t index,
                                                   size_t* remaining) const;
    virtual size_t addProperty(const ReflectedObject& object, const tavi::Variant& key,
                               const tavi::Variant& value);
    virtual bool removeProperty(const ReflectedObject& object, size_t index);

    [[nodiscard]] const std::type_info& type() const noexcept { return m_type; }
    [[nodiscard]] int flags() const noexcept { return m_flags; }
    [[nodiscard]] bool testFlags(int f) const noexcept { return (m_flags & f) == f; }
    [[nodiscard]] const std::string& name() const noexcept { return m_name; }
    [[nodiscard]] const std::vector<std::string>& aliases() const noexcept { return m_aliases; }
    [[nodiscard]] const std::vector<BaseClass>& baseClasses() const noexcept { return m_baseClasses; }

    [[nodiscard]] size_t propertyCount(const ReflectedObject& object) const;
    [[nodiscard]] size_t firstSelfProperty(const ReflectedObject& object) const;

    // Converts a pointer to the `from` sub-object into a pointer to the `to`
    // sub-object; both must be this type or one of its bases. Null otherwise.
    void* cast(void* pointer, const std::type_info& from, const std::type_info& to) const;

    // Aliases are for use while unregistered: the registry keeps views of them.
    bool addAlias(Kor::BasicStringRef<char> alias);
    bool removeAlias(Kor::BasicStringRef<char> alias);

protected:
    virtual void propertyAboutToBeAdded(const ReflectedObject& object, size_t index, size_t count) = 0;
    virtual void propertyAdded(const ReflectedObject& object, size_t index, size_t count) = 0;
    virtual void propertyAboutToBeRemoved(const ReflectedObject& object, size_t index, size_t count) = 0;
    virtual void propertyRemoved(const ReflectedObject& object, size_t index, size_t count) = 0;
    // Slots for one object's structure signals; where they are kept (per
    // object, or in the instance's data) is the subclass's choice.
    virtual zel::Connection connectObjectDeleted(const ReflectedObject& object,
                                                 zel::InlineConnection* storage,
                                                 const ObjectDeletedSlot& slot, int priority) = 0;
    virtual zel::Connection connectStructureAboutToBeChanged(const ReflectedObject& object,
                                                             zel::InlineConnection* storage,
                                                             const ObjectSlot& slot, int priority) = 0;
    virtual zel::Connection connectStructureChanged(const ReflectedObject& object,
                                                    zel::InlineConnection* storage, const ObjectSlot& slot,
                                                    int priority) = 0;
    virtual zel::Connection connectPropertiesAboutToBeReset(const ReflectedObject& object,
                                                            zel::InlineConnection* storage,
                                                            const ObjectSlot& slot, int priority) = 0;
    virtual zel::Connection connectPropertiesReset(const ReflectedObject& object,
                                                   zel::InlineConnection* storage, const ObjectSlot& slot,
                                                   int priority) = 0;
    virtual zel::Connection connectPropertyAboutToBeAdded(const ReflectedObject& object,
                                                          zel::InlineConnection* storage,
                                                          const PropertyRangeSlot& slot, int priority) = 0;
    virtual zel::Connection connectPropertyAdded(const ReflectedObject& object,
                                                 zel::InlineConnection* storage,
                                                 const PropertyRangeSlot& slot, int priority) = 0;
    virtual zel::Connection connectPropertyAboutToBeRemoved(const ReflectedObject& object,
                                                            zel::InlineConnection* storage,
                                                            const PropertyRangeSlot& slot, int priority) = 0;
    virtual zel::Connection connectPropertyRemoved(const ReflectedObject& object,
                                                   zel::InlineConnection* storage,
                                                   const PropertyRangeSlot& slot, int priority) = 0;
    virtual void structureAboutToBeChanged(const ReflectedObject& object) = 0;
    virtual void structureChanged(const ReflectedObject& object) = 0;
    virtual void propertiesAboutToBeReset(const ReflectedObject& object) = 0;
    virtual void propertiesReset(const ReflectedObject& object) = 0;

    // The per-instance data of an object that keeps its own, created on
    // first use. Without a meta object (given or found), the object stays
    // without data and a shared empty pointer is returned.
    static const std::shared_ptr<ObjectData>& objectDataOf(const Object& object, const tavi::Variant& value,
                                                           MetaObject* metaObject);

private:
    friend class MetaObjectManager;
    friend class ReflectedObject;
    friend struct notify_scope_details::Dispatch;

    // Index of the last self property whose key equals `key`, or INVALID_INDEX.
    virtual size_t findSelfProperty(const ReflectedObject& object, const tavi::Variant& key) const;
    // indexOfProperty for the key that is the string `name`. Declared last,
    // after the slots above. The base builds the key; meta objects that can
    // look names up without building a Variant (which allocates for a
    // string) override it.
    virtual size_t indexOfPropertyByName(const ReflectedObject& object, std::string_view name) const;

    bool getTypeOffset(const std::type_info& type, long long* offset) const;
    void addDerivedClass(MetaObject* derived);
    void removeDerivedClass(MetaObject* derived);

    const std::type_info& m_type;
    int m_flags;
    std::string m_name;
    std::vector<std::string> m_aliases;
    std::vector<BaseClass> m_baseClasses;
    std::vector<MetaObject*> m_derivedClasses;
};

} // namespace orv
