#include "shared_libs/reflection/details/structure_change.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <algorithm>
#include <utility>
#include <vector>

namespace orv::structure_change_details {
namespace {

// Nesting is shallow (one entry per object whose change is being announced).
thread_local std::vector<const void*> t_announcing;

} // namespace

Announcing::Announcing(const ReflectedObject& object) : m_object(objectIdentity(object)) {
    t_announcing.push_back(m_object);
}

void Announcing::release() noexcept {
    if (!std::exchange(m_active, false))
        return;
    const auto it = std::find(t_announcing.rbegin(), t_announcing.rend(), m_object);
    if (it != t_announcing.rend())
        t_announcing.erase(std::next(it).base());
}

bool Announcing::refuses(const ReflectedObject& object, const char* operation) {
    if (t_announcing.empty())
        return false;
    const void* identity = objectIdentity(object);
    if (!identity || std::find(t_announcing.begin(), t_announcing.end(), identity) == t_announcing.end())
        return false;
    Kor::errorMessage(
        "%s: refused, the object's structure is changing (a listener of an about-to-change "
        "notification tried to change it)",
        operation);
    return true;
}

} // namespace orv::structure_change_details
