#pragma once
// The process-wide table of MetaTypes (internal to the variant library).

#include "platform/variant/meta_type.hpp"

#include <deque>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace tavi {

class MetaTypeRegistry {
public:
    // Created on first use with the built-in types, and never destroyed, so
    // that values may still be used by static destructors anywhere.
    static MetaTypeRegistry& instance();

    const MetaType* find(const std::type_info& type) const;
    const MetaType* find(std::string_view name) const;
    const MetaType* add(const MetaType::Record& record);
    // Registers a value type with its T* and const T* types in one step.
    const MetaType* addWithPointers(const MetaType::Record& value, MetaType::Record pointer,
                                    MetaType::Record constPointer);
    bool addAlias(const MetaType* type, std::string_view alias);
    std::vector<const MetaType*> all() const;

private:
    MetaTypeRegistry() = default;

    MetaType* addLocked(const MetaType::Record& record);
    void renameLocked(MetaType* type, std::string_view name);
    bool addNameLocked(MetaType* type, std::string_view name);
    const char* storeName(std::string_view name);
    void warnLocked(std::string text);
    void postWarnings();
    std::string derivedName(const MetaType::Record& record) const;

    mutable std::shared_mutex m_mutex;
    std::unordered_map<std::type_index, MetaType*> m_byType;
    std::unordered_map<std::string_view, MetaType*> m_byName; // views of m_names
    std::vector<std::unique_ptr<MetaType>> m_types;           // registration order
    std::deque<std::string> m_names;                          // never moved, never freed
    std::vector<std::string> m_pendingWarnings;
};

// Registers the built-in types (builtin_types.cpp).
void registerBuiltinTypes(MetaTypeRegistry& registry);

} // namespace tavi
