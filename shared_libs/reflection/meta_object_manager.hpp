#pragma once
// The process-wide registry of meta objects. It owns none of them: meta
// objects register after construction and unregister before destruction.

#include "platform/corekit/string_ref.hpp"

#include <typeindex>
#include <typeinfo>
#include <unordered_map>

namespace tavi {
class Variant;
}

namespace orv {

class MetaObject;
class TypeInfo;

class MetaObjectManager {
public:
    static MetaObjectManager& instance();

    MetaObjectManager() = default;
    MetaObjectManager(MetaObjectManager&&) noexcept = default;
    MetaObjectManager& operator=(MetaObjectManager&&) noexcept = default;
    MetaObjectManager(const MetaObjectManager&) = delete;
    MetaObjectManager& operator=(const MetaObjectManager&) = delete;

    // Enters the type, its name and aliases (keys already taken keep their
    // entry) and links the type into its bases' derived lists.
    void registerType(MetaObject* type);
    void unregisterType(MetaObject* type);

    [[nodiscard]] MetaObject* findType(const std::type_info& type) const;
    // The entry of the first candidate that has one.
    [[nodiscard]] MetaObject* findType(const TypeInfo& info) const;
    // As findType(info), refined to the most derived type recognising `object`.
    [[nodiscard]] MetaObject* findType(const tavi::Variant& object, const TypeInfo& info) const;
    // By name or alias.
    [[nodiscard]] MetaObject* findType(Kor::BasicStringRef<char> name) const;

private:
    // std::type_index hashes and compares as std::type_info.
    std::unordered_map<std::type_index, MetaObject*> m_types;
    // Views of the registered meta objects' own name and alias strings.
    std::unordered_map<Kor::BasicStringRef<char>, MetaObject*, Kor::StringRefHash> m_names;
};

} // namespace orv
