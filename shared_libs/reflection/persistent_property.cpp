#include "shared_libs/reflection/persistent_property.hpp"

#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/details/persistent_object.hpp"

#include <algorithm>

namespace orv {

PersistentProperty::PersistentProperty(const BoundProperty& property) : m_root(property.object()) {
    // The path search is PersistentObject's, and shows on the call stack as such.
    Kor::StackTracker::Frame frame("orv::PersistentObject::PersistentObject");
    // The path of the property's object, as PersistentObject finds it, climbed
    // straight into the keys: leaf side first, then turned round.
    persistent_object_details::climb(m_root, m_keys);
    std::reverse(m_keys.begin(), m_keys.end());
    m_keys.push_back(property.key());
}

PersistentProperty::PersistentProperty(const BoundProperty& property, Direct)
    : m_root(property.object()), m_keys{property.key()} {}

std::string PersistentProperty::path() const { return persistent_object_details::joinPath(keys()); }

BoundProperty PersistentProperty::property() const {
    return persistent_object_details::getProperty(m_root, keys());
}

} // namespace orv
