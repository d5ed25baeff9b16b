#include "shared_libs/reflection/meta_object_manager.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/type_info.hpp"

namespace orv {

MetaObjectManager& MetaObjectManager::instance() {
    static MetaObjectManager manager;
    return manager;
}

void MetaObjectManager::registerType(MetaObject* type) {
    Kor::StackTracker::Frame frame("orv::MetaObjectManager::registerType");
    if (!KOR_VERIFY(type))
        return;
    m_types.try_emplace(std::type_index(type->type()), type);
    m_names.try_emplace(Kor::BasicStringRef<char>(type->name()), type);
    for (const std::string& alias : type->aliases())
        m_names.try_emplace(Kor::BasicStringRef<char>(alias), type);
    for (const MetaObject::BaseClass& base : type->baseClasses())
        base.metaObject()->addDerivedClass(type);
}

void MetaObjectManager::unregisterType(MetaObject* type) {
    Kor::StackTracker::Frame frame("orv::MetaObjectManager::unregisterType");
    if (!type)
        return;
    for (const MetaObject::BaseClass& base : type->baseClasses())
        base.metaObject()->removeDerivedClass(type);
    for (const std::string& alias : type->aliases())
        m_names.erase(Kor::BasicStringRef<char>(alias));
    m_names.erase(Kor::BasicStringRef<char>(type->name()));
    m_types.erase(std::type_index(type->type()));
}

MetaObject* MetaObjectManager::findType(const std::type_info& type) const {
    Kor::StackTracker::Frame frame("orv::MetaObjectManager::findType");
    const auto it = m_types.find(std::type_index(type));
    return it == m_types.end() ? nullptr : it->second;
}

MetaObject* MetaObjectManager::findType(const TypeInfo& info) const {
    Kor::StackTracker::Frame frame("orv::MetaObjectManager::findType");
    for (size_t slot = 0; slot < TypeInfo::MAX_TYPES; ++slot) {
        const std::type_info* type = info.type(slot);
        if (!type)
            break;
        if (MetaObject* found = findType(*type))
            return found;
    }
    return nullptr;
}

MetaObject* MetaObjectManager::findType(const tavi::Variant& object, const TypeInfo& info) const {
    Kor::StackTracker::Frame frame("orv::MetaObjectManager::findType");
    MetaObject* meta = findType(info);
    if (!meta)
        return nullptr;
    MetaObject* derived = meta->findDerived(object);
    return derived ? derived : meta;
}

MetaObject* MetaObjectManager::findType(Kor::BasicStringRef<char> name) const {
    Kor::StackTracker::Frame frame("orv::MetaObjectManager::findType");
    const auto it = m_names.find(name);
    return it == m_names.end() ? nullptr : it->second;
}

} // namespace orv
