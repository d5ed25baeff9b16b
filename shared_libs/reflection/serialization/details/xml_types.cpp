#include "shared_libs/reflection/serialization/details/xml_types.hpp"

#include "platform/variant/meta_type.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/collection_meta_object.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <mutex>
#include <string>
#include <typeindex>
#include <unordered_map>

namespace orv::xml_details {

bool isCollection(const ReflectedObject& object) {
    return object.isValid() && hasAnnotation<Meta::Collection>(object.annotations());
}

std::string_view typeName(const TypeInfo& info) {
    // Objects (always held through pointers) are named by their meta
    // objects. A value held as such is read back through its meta type, so
    // that name comes first for it: a vector held by value is read as a
    // "VariantVector", which the collection name "vector" (shared by every
    // kind of vector) could not tell apart.
    const bool objectFirst = info.isPointer();
    const MetaObjectManager& registry = MetaObjectManager::instance();
    for (size_t slot = 0; slot < TypeInfo::MAX_TYPES; ++slot) {
        const std::type_info* type = info.type(slot);
        if (!type)
            break;
        const MetaObject* object = registry.findType(*type);
        if (object && objectFirst)
            return object->name();
        if (const tavi::MetaType* value = tavi::MetaType::find(*type))
            return value->testFlags(tavi::MetaType::NO_TYPE_NAME_IN_XML) ? std::string_view() : value->name();
        if (object)
            return object->name();
    }
    const std::type_info* first = info.type(0);
    return first ? undecoratedName(*first) : std::string_view();
}

std::string_view undecoratedName(const std::type_info& type) {
    // Rarely reached (every type a Variant holds has a meta type), so one
    // lock and a map that only grows are cheap enough. Nodes never move.
    static std::mutex mutex;
    static std::unordered_map<std::type_index, std::string> names;
    const std::lock_guard lock(mutex);
    auto [it, inserted] = names.try_emplace(std::type_index(type));
    if (inserted)
        it->second = tavi::MetaType::prettyName(type);
    return it->second;
}

} // namespace orv::xml_details
