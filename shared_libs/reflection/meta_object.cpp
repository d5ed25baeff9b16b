#include "shared_libs/reflection/meta_object.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/meta_property.hpp"

#include <algorithm>

namespace orv {
namespace {

std::string displayName(const std::type_info& type, std::string name) {
    return name.empty() ? tavi::MetaType::prettyName(type) : std::move(name);
}

// The number of properties `meta` holds for `object`: asked for the index
// that is never held, every level subtracts its full count from it.
size_t countOf(const MetaObject& meta, const ReflectedObject& object) {
    size_t remaining = 0;
    meta.property(object, MetaObject::INVALID_INDEX, &remaining);
    return ~remaining;
}

} // namespace

MetaObject::MetaObject(const std::type_info& type, int flags, std::string name,
                       std::vector<BaseClass> baseClasses)
    : m_type(type),
      m_flags(flags),
      m_name(displayName(type, std::move(name))),
      m_baseClasses(std::move(baseClasses)) {
    // The registry must outlive every meta object that may unregister from it.
    MetaObjectManager::instance();
    for (const BaseClass& base : m_baseClasses)
        KOR_ASSERT_MSG(base.metaObject(), "MetaObject '%s' has a null base class", m_name.c_str());
    std::erase_if(m_baseClasses, [](const BaseClass& base) { return base.metaObject() == nullptr; });
}

MetaObject::~MetaObject() {
    KOR_ASSERT_MSG(m_derivedClasses.empty(),
                   "Destroying base class '%s' MetaObject while derived class '%s' MetaObject is still alive",
                   m_name.c_str(), m_derivedClasses.empty() ? "" : m_derivedClasses.front()->name().c_str());
}

MetaObject* MetaObject::findDerived(const tavi::Variant& object) {
    Kor::StackTracker::Frame frame("orv::MetaObject::findDerived");
    for (MetaObject* derived : m_derivedClasses)
        if (MetaObject* found = derived->findDerived(object))
            return found;
    return objectMatches(object) ? this : nullptr;
}

std::shared_ptr<MetaProperty> MetaObject::property(const ReflectedObject& object, size_t index,
                                                   size_t* remaining) const {
    size_t running = index;
    for (const BaseClass& base : m_baseClasses)
        if (auto found = base.metaObject()->property(object, running, &running))
            return found;
    if (remaining)
        *remaining = running;
    return nullptr;
}

size_t MetaObject::propertyCount(const ReflectedObject& object) const {
    Kor::StackTracker::Frame frame("orv::MetaObject::propertyCount");
    return countOf(*this, object);
}

size_t MetaObject::firstSelfProperty(const ReflectedObject& object) const {
    Kor::StackTracker::Frame frame("orv::MetaObject::firstSelfProperty");
    size_t first = 0;
    for (const BaseClass& base : m_baseClasses)
        first += countOf(*base.metaObject(), object);
    return first;
}

size_t MetaObject::findSelfProperty(const ReflectedObject& object, const tavi::Variant& key) const {
    const size_t count = propertyCount(object);
    const size_t first = firstSelfProperty(object);
    for (size_t i = count; i-- > first;) {
        const std::shared_ptr<MetaProperty> prop = property(object, i, nullptr);
        KOR_ASSERT(prop);
        if (prop && prop->key() == key)
            return i;
    }
    return INVALID_INDEX;
}

// An index found in a later base class is returned as that base numbers it,
// not shifted past the bases before it; a single base is unaffected.
// Callers with several bases that need exact positions use their own lists.
size_t MetaObject::indexOfPropertyByName(const ReflectedObject& object, std::string_view name) const {
    return indexOfProperty(object, tavi::Variant(std::string(name)));
}

size_t MetaObject::indexOfProperty(const ReflectedObject& object, const tavi::Variant& key) const {
    Kor::StackTracker::Frame frame("orv::MetaObject::indexOfProperty");
    const size_t self = findSelfProperty(object, key);
    if (self != INVALID_INDEX)
        return self;
    for (const BaseClass& base : m_baseClasses) {
        const size_t found = base.metaObject()->indexOfProperty(object, key);
        if (found != INVALID_INDEX)
            return found;
    }
    return INVALID_INDEX;
}

size_t MetaObject::addProperty(const ReflectedObject&, const tavi::Variant&, const tavi::Variant&) {
    return INVALID_INDEX;
}

bool MetaObject::removeProperty(const ReflectedObject&, size_t) { return false; }

bool MetaObject::getTypeOffset(const std::type_info& type, long long* offset) const {
    if (&type == &m_type || type == m_type) {
        *offset = 0;
        return true;
    }
    for (const BaseClass& base : m_baseClasses) {
        long long sub = 0;
        if (base.metaObject()->getTypeOffset(type, &sub)) {
            *offset = base.offset() + sub;
            return true;
        }
    }
    return false;
}

void* MetaObject::cast(void* pointer, const std::type_info& from, const std::type_info& to) const {
    Kor::StackTracker::Frame frame("orv::MetaObject::cast");
    if (!pointer)
        return nullptr;
    long long fromOffset = 0;
    long long toOffset = 0;
    if (!getTypeOffset(from, &fromOffset) || !getTypeOffset(to, &toOffset))
        return nullptr;
    return static_cast<char*>(pointer) + fromOffset - toOffset;
}

bool MetaObject::addAlias(Kor::BasicStringRef<char> alias) {
    Kor::StackTracker::Frame frame("orv::MetaObject::addAlias");
    const auto same = [alias](const std::string& a) { return Kor::BasicStringRef<char>(a) == alias; };
    if (std::any_of(m_aliases.begin(), m_aliases.end(), same)) {
        Kor::errorMessage("MetaObject: Alias already exists!");
        return false;
    }
    m_aliases.push_back(alias.str());
    return true;
}

bool MetaObject::removeAlias(Kor::BasicStringRef<char> alias) {
    Kor::StackTracker::Frame frame("orv::MetaObject::removeAlias");
    const auto same = [alias](const std::string& a) { return Kor::BasicStringRef<char>(a) == alias; };
    const auto it = std::find_if(m_aliases.begin(), m_aliases.end(), same);
    if (it == m_aliases.end()) {
        Kor::errorMessage("MetaObject: Alias does not exist!");
        return false;
    }
    m_aliases.erase(it);
    return true;
}

void MetaObject::addDerivedClass(MetaObject* derived) { m_derivedClasses.push_back(derived); }

void MetaObject::removeDerivedClass(MetaObject* derived) {
    const auto it = std::find(m_derivedClasses.begin(), m_derivedClasses.end(), derived);
    if (it != m_derivedClasses.end())
        m_derivedClasses.erase(it);
}

} // namespace orv
