#include "shared_libs/reflection/persistent_object.hpp"

#include "shared_libs/reflection/details/persistent_object.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/variant_converter.hpp"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/container/small_vector.hpp>

#include <cstdint>
#include <iterator>
#include <limits>
#include <utility>

namespace orv {
namespace {

enum Volatility : int64_t { Ordinary = 0, OutsidePaths = 1, Anchor = 2 };

// The object's "_volatility" as a number; 0 when it has none, when it is not
// a number or when it lies outside the 32-bit range.
int64_t volatilityOf(const ReflectedObject& object) {
    const BoundProperty property = object.findPropertyByName("_volatility");
    if (!property.isValid())
        return Ordinary;
    const tavi::Variant value = property.get();
    int64_t number = Ordinary;
    if (const int64_t* held = value.castPtr<int64_t>()) // the value, or what a pointer to one points at
        number = *held;
    else if (!value.tryCast(number))
        return Ordinary;
    const bool in32Bits =
        number >= std::numeric_limits<int32_t>::min() && number <= std::numeric_limits<int32_t>::max();
    return in32Bits ? number : Ordinary;
}

// The text a key contributes to a path; empty when it has none.
std::string keyText(const tavi::Variant& key) {
    if (const std::string* text = key.castPtr<std::string>()) // a string, or a pointer to one
        return *text;
    tavi::Variant converted{std::string()};
    return tavi::VariantConverter::convert(converted, key) ? *converted.castPtr<std::string>()
                                                           : std::string();
}

} // namespace

void persistent_object_details::climb(ReflectedObject& root, KeyBuffer& keys) {
    // An object that nothing holds is its own root whatever its volatility:
    // the (by-name) volatility lookup is made only when there is a holder.
    BoundProperty holder = root.reference();
    if (!holder.isValid() || volatilityOf(root) == Anchor)
        return;
    for (; holder.isValid(); holder = root.reference()) {
        const int64_t volatility = volatilityOf(holder.object());
        if (volatility == OutsidePaths)
            break;
        keys.push_back(holder.key());
        root = std::move(holder).object();
        if (!root) // named as the member that holds the root
            Kor::assertionFailed("m_root", __FILE__, __LINE__, nullptr);
        if (volatility == Anchor)
            break;
    }
}

PersistentObject::PersistentObject(ReflectedObject object) : m_root(std::move(object)) {
    Kor::StackTracker::Frame frame("orv::PersistentObject::PersistentObject");
    // Collected leaf side first, on the stack: the keys then take one allocation.
    boost::container::small_vector<tavi::Variant, 8> climbed;
    persistent_object_details::climb(m_root, climbed);
    m_keys.assign(std::make_move_iterator(climbed.rbegin()), std::make_move_iterator(climbed.rend()));
}

ReflectedObject PersistentObject::object() const {
    ReflectedObject current = m_root;
    for (const tavi::Variant& key : m_keys) {
        if (!current.isValid())
            break;
        current = ReflectedObject(current.findPropertyByKey(key));
    }
    return current;
}

tavi::Variant PersistentObject::get() const {
    return m_keys.empty() ? m_root.get() : getProperty(m_root, m_keys).get();
}

std::tuple<ReflectedObject, std::vector<tavi::Variant>> PersistentObject::take() && {
    return {m_root, std::exchange(m_keys, {})};
}

BoundProperty persistent_object_details::getProperty(const ReflectedObject& root,
                                                     std::span<const tavi::Variant> keys) {
    if (keys.empty())
        return {};
    BoundProperty property = root.findPropertyByKey(keys.front());
    for (auto key = keys.begin() + 1; key != keys.end() && property.isValid(); ++key)
        property = ReflectedObject(property).findPropertyByKey(*key);
    return property;
}

BoundProperty PersistentObject::getProperty(const ReflectedObject& root,
                                            const std::vector<tavi::Variant>& keys) {
    return persistent_object_details::getProperty(root, keys);
}

BoundProperty PersistentObject::getProperty(const ReflectedObject& root, const std::string& path) {
    return getProperty(root, splitPath(path));
}

std::string persistent_object_details::joinPath(std::span<const tavi::Variant> keys) {
    std::string path;
    for (const tavi::Variant& key : keys) {
        if (&key != &keys.front())
            path += '.';
        path += keyText(key);
    }
    return path;
}

std::string PersistentObject::joinPath(const std::vector<tavi::Variant>& keys) {
    return persistent_object_details::joinPath(keys);
}

std::vector<tavi::Variant> PersistentObject::splitPath(const std::string& path) {
    std::vector<std::string> segments;
    // Not token_compress_on: "a..b" has an empty key between a and b.
    boost::algorithm::split(segments, path, boost::algorithm::is_any_of("."));
    return std::vector<tavi::Variant>(std::make_move_iterator(segments.begin()),
                                      std::make_move_iterator(segments.end()));
}

// A member of ReflectedObject, defined here because it is this path: an
// object's name is the path a PersistentObject finds for it.
std::string ReflectedObject::fullName() const { return PersistentObject(*this).path(); }

} // namespace orv
