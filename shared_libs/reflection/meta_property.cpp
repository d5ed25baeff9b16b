#include "shared_libs/reflection/meta_property.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/variant_converter.hpp"

namespace orv {

MetaProperty::MetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                           const std::type_info& storageType, tavi::Variant key)
    : m_metaObject(metaObject),
      m_key(std::move(key)),
      m_name(nameFromKey(m_key)),
      m_propertyType(&propertyType),
      m_storageType(&storageType) {
    initialize();
}

std::string MetaProperty::nameFromKey(const tavi::Variant& key) {
    if (const std::string* text = key.castPtr<std::string>())
        return *text;
    tavi::Variant converted{std::string()};
    if (tavi::VariantConverter::convert(converted, key))
        if (const std::string* text = converted.castPtr<std::string>())
            return *text;
    const tavi::MetaType* type = key.type();
    tavi::Variant::castError(type ? type->name() : "void",
                             tavi::MetaType::prettyName(typeid(std::string)).c_str());
}

void MetaProperty::initialize() { KOR_ASSERT(!m_name.empty()); }

} // namespace orv
