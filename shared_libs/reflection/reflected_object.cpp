#include "shared_libs/reflection/reflected_object.hpp"

#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/type_info.hpp"

namespace orv {

ReflectedObject::ReflectedObject(tavi::Variant object) {
    Kor::StackTracker::Frame frame("orv::ReflectedObject::ReflectedObject");
    if (!object.isNonNullPointer())
        return;
    MetaObject* meta = MetaObjectManager::instance().findType(object, TypeInfo(object));
    init(std::move(object), meta);
}

void ReflectedObject::init(tavi::Variant object, MetaObject* metaObject) {
    if (!metaObject)
        return;
    m_object = std::move(object);
    m_metaObject = metaObject;
}

const std::type_info& ReflectedObject::type() const noexcept {
    return m_metaObject ? m_metaObject->type() : typeid(void);
}

unsigned ReflectedObject::qualifiers() const noexcept {
    const tavi::MetaType* type = m_object.type();
    return type ? type->pointerQualifiers() : 0u;
}

bool ReflectedObject::isConst() const noexcept { return (qualifiers() & tavi::MetaType::CONST_POINTEE) != 0; }

Annotations ReflectedObject::annotations() const {
    return m_metaObject ? m_metaObject->annotations(m_object) : Annotations();
}

size_t ReflectedObject::propertyCount() const { return m_metaObject ? m_metaObject->propertyCount(*this) : 0; }

size_t ReflectedObject::firstSelfProperty() const {
    return m_metaObject ? m_metaObject->firstSelfProperty(*this) : 0;
}

size_t ReflectedObject::indexOfProperty(const tavi::Variant& key) const {
    return m_metaObject ? m_metaObject->indexOfProperty(*this, key) : MetaObject::INVALID_INDEX;
}

std::shared_ptr<MetaProperty> ReflectedObject::metaPropertyAt(size_t index) const {
    return m_metaObject ? m_metaObject->property(*this, index, nullptr) : nullptr;
}

BoundProperty ReflectedObject::propertyAt(size_t index) const { return BoundProperty(*this, index); }

std::shared_ptr<MetaProperty> ReflectedObject::findMetaProperty(const tavi::Variant& key) const {
    return m_metaObject ? m_metaObject->property(*this, indexOfProperty(key), nullptr) : nullptr;
}

BoundProperty ReflectedObject::findPropertyByKey(const tavi::Variant& key) const {
    return BoundProperty(*this, indexOfProperty(key));
}

} // namespace orv
