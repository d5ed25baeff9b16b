#pragma once
// Description of one member of a reflected type: its key (identity within
// the object), the name derived from the key, and its declared value types.
//
// This is the type-model core of a meta property. Getters, setters, methods,
// annotations and change signals attach to it as those pieces of the library
// arrive.

#include "platform/variant/variant.hpp"

#include <memory>
#include <string>
#include <typeinfo>

namespace orv {

class MetaObject;

class MetaProperty {
public:
    virtual ~MetaProperty() = default;

    // A new shared copy of this meta property.
    virtual std::shared_ptr<MetaProperty> clone() const = 0;
    // Whether bound properties of this meta property keep per-instance data.
    virtual bool hasData() const = 0;

    MetaObject* metaObject() const noexcept { return m_metaObject; }
    const tavi::Variant& key() const noexcept { return m_key; }
    const std::string& name() const noexcept { return m_name; }
    const std::type_info& propertyType() const noexcept { return *m_propertyType; }
    const std::type_info& storageType() const noexcept { return *m_storageType; }
    void storageType(const std::type_info& type) noexcept { m_storageType = &type; }

protected:
    // The name is the key as text: the string it holds, or what the value
    // converter makes of it; a key without text form raises the cast error.
    MetaProperty(MetaObject* metaObject, const std::type_info& propertyType, const std::type_info& storageType,
                 tavi::Variant key);
    MetaProperty(const MetaProperty&) = default;
    MetaProperty& operator=(const MetaProperty&) = delete;

private:
    static std::string nameFromKey(const tavi::Variant& key);
    void initialize();

    MetaObject* m_metaObject;
    tavi::Variant m_key;
    std::string m_name;
    const std::type_info* m_propertyType;
    const std::type_info* m_storageType;
};

} // namespace orv
