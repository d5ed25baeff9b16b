#include "shared_libs/reflection/annotations.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/zel_core/profiler.hpp"

#include <iterator>
#include <utility>

namespace orv {

struct Annotations::Impl {
    // No list in the map is ever empty: a key goes with its last value.
    Map map;
};

// --- untyped_iterator ---

Annotations::untyped_iterator& Annotations::untyped_iterator::operator++() {
    Kor::StackTracker::Frame frame("orv::Annotations::untyped_iterator::operator++");
    if (!KOR_VERIFY(m_impl))
        return *this;
    if (++m_value == m_key->second.end())
        settleAt(std::next(m_key));
    return *this;
}

Annotations::untyped_iterator Annotations::untyped_iterator::operator++(int) {
    untyped_iterator previous(*this);
    ++*this;
    return previous;
}

void Annotations::untyped_iterator::settleAt(Map::const_iterator key) noexcept {
    const auto last = m_impl->map.end();
    while (key != last && key->second.empty())
        ++key;
    if (key == last) {
        // The end holds no body, so an iteration left at the end keeps nothing alive.
        *this = untyped_iterator();
        return;
    }
    m_key = key;
    m_value = key->second.begin();
}

const tavi::Variant& Annotations::untyped_iterator::endValue() const {
    KOR_ASSERT(m_impl);
    static const tavi::Variant none;
    return none;
}

// --- Annotations ---

// `Annotations b{a}` picks this constructor; a container among the values
// is merged rather than filed as one annotation.
Annotations::Annotations(std::initializer_list<tavi::Variant> values) {
    for (const tavi::Variant& value : values) {
        if (const Annotations* nested = value.isType<Annotations>() ? value.castPtr<Annotations>() : nullptr)
            *this += *nested;
        else
            *this += value;
    }
}

Annotations& Annotations::operator=(const Annotations& other) noexcept {
    if (this != &other)
        m_impl = other.m_impl;
    return *this;
}

Annotations& Annotations::operator=(Annotations&& other) noexcept {
    if (this != &other)
        m_impl = std::move(other.m_impl);
    return *this;
}

Annotations& Annotations::operator+=(tavi::Variant value) {
    Kor::StackTracker::Frame frame("orv::Annotations::operator+=");
    if (value.isVoid()) {
        Kor::errorMessage("orv::Annotations::operator+=: a void value has no type to be filed under");
        return *this;
    }
    const Key key(value.type()->name());
    detach().map[key].push_back(std::move(value));
    return *this;
}

Annotations& Annotations::operator+=(Annotations other) {
    Kor::StackTracker::Frame frame("orv::Annotations::operator+=");
    if (!other.m_impl || other.m_impl->map.empty())
        return *this;
    if (!m_impl || (m_impl.use_count() == 1 && m_impl->map.empty())) {
        m_impl = std::move(other.m_impl);
        return *this;
    }
    // Nothing else sees a body `other` owns alone, so its values may be taken.
    const bool take = other.m_impl.use_count() == 1;
    Impl& impl = detach();
    for (auto& [key, values] : other.m_impl->map) {
        Values& target = impl.map[key];
        if (take)
            target.splice(target.end(), values);
        else
            target.insert(target.end(), values.begin(), values.end());
    }
    return *this;
}

Annotations::Map::const_iterator Annotations::lookup(Key key) const {
    const Map& map = m_impl->map;
    const auto mapIt = map.find(key);
    if (mapIt == map.end())
        return mapIt;
    KOR_ASSERT(!mapIt->second.empty());
    return mapIt->second.empty() ? map.end() : mapIt;
}

const tavi::Variant* Annotations::latest(Key key) const {
    if (!m_impl)
        return nullptr;
    const auto mapIt = lookup(key);
    return mapIt == m_impl->map.end() ? nullptr : &mapIt->second.back();
}

Annotations::untyped_iterator Annotations::find(Key key) const {
    if (!m_impl)
        return {};
    Kor::StackTracker::Frame frame("orv::Annotations::find");
    const auto mapIt = lookup(key);
    if (mapIt == m_impl->map.end())
        return {};
    return untyped_iterator(m_impl, mapIt, std::prev(mapIt->second.end()));
}

boost::iterator_range<Annotations::untyped_iterator> Annotations::equal_range(Key key) const {
    if (!m_impl)
        return {end(), end()};
    Kor::StackTracker::Frame frame("orv::Annotations::equal_range");
    const auto mapIt = lookup(key);
    if (mapIt == m_impl->map.end())
        return {end(), end()};
    untyped_iterator last(m_impl, mapIt, {});
    last.settleAt(std::next(mapIt));
    return {untyped_iterator(m_impl, mapIt, mapIt->second.begin()), std::move(last)};
}

bool Annotations::contain(Key key) const {
    if (!m_impl)
        return false;
    Kor::StackTracker::Frame frame("orv::Annotations::contain");
    return m_impl->map.contains(key);
}

bool Annotations::remove(Key key) {
    Kor::StackTracker::Frame frame("orv::Annotations::remove");
    // Looked up before detaching: a failed removal must not copy a shared body.
    if (!m_impl || !m_impl->map.contains(key))
        return false;
    Map& map = detach().map;
    const auto mapIt = map.find(key);
    if (!mapIt->second.empty())
        mapIt->second.pop_back();
    if (mapIt->second.empty())
        map.erase(mapIt);
    return true;
}

Annotations::untyped_iterator Annotations::begin() const {
    Kor::StackTracker::Frame frame("orv::Annotations::begin");
    if (!m_impl)
        return {};
    untyped_iterator first(m_impl, {}, {});
    first.settleAt(m_impl->map.begin());
    return first;
}

bool Annotations::empty() const {
    Kor::StackTracker::Frame frame("orv::Annotations::empty");
    return !m_impl || m_impl->map.empty();
}

void Annotations::clear() {
    Kor::StackTracker::Frame frame("orv::Annotations::clear");
    m_impl.reset();
}

Annotations::Impl& Annotations::detach() {
    ZEL::Profiler::Scope scope("Reflection|Annotations");
    if (!m_impl) {
        m_impl = std::make_shared<Impl>();
    } else if (m_impl.use_count() > 1) {
        // The map's copy keeps the maximum load factor, the bucket count and
        // the order of keys and values, so copies iterate like the original.
        m_impl = std::make_shared<Impl>(*m_impl);
    }
    return *m_impl;
}

namespace annotations_details {

void throwCastError(const tavi::Variant& value, const std::type_info& wanted) {
    tavi::Variant::castError(value.typeName(), tavi::MetaType::prettyName(wanted).c_str());
}

} // namespace annotations_details

} // namespace orv
