#include "shared_libs/reflection/persistent_property.hpp"

#include <tuple>
#include <utility>

namespace orv {

PersistentProperty::PersistentProperty(const BoundProperty& property) {
    std::tie(m_root, m_keys) = PersistentObject(property.object()).take();
    m_keys.push_back(property.key());
}

PersistentProperty::PersistentProperty(const BoundProperty& property, Direct)
    : m_root(property.object()), m_keys{property.key()} {}

} // namespace orv
