#pragma once
// A durable reference to an object: a root object and the property keys that
// lead from it down to the object, walked again on every use. An object that
// is destroyed and rebuilt at the same place (same keys under the same root)
// is found again; nothing below the root is held.
//
//     orv::PersistentObject where(transform);            // root "scene", keys light, transform
//     ...                                                // the light is re-instantiated
//     where.object();                                    // the new light's transform
//     where.path();                                      // "light.transform"
//
// How far up a path reaches is the objects' choice, through an integer
// property named "_volatility":
//   0  ordinary: paths pass through the object;
//   1  never part of a path: a path that would climb into the object stops
//      below it, and the object below becomes the root;
//   2  anchor: a path stops at the object, which becomes the root.
//
// Path text joins the keys' text with "." and splits at every "." (adjacent
// separators are kept as empty keys); there is no escaping, so a key whose
// text contains "." does not survive the text form as one key. Keys read back
// from text are strings.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace orv {

class PersistentObject {
public:
    // Selects the constructors that take the object as the root, without
    // searching for a path.
    struct Direct {};

    // An invalid root and no keys.
    PersistentObject() = default;
    // Climbs from `object` through the properties that hold it, as far as
    // volatility allows.
    explicit PersistentObject(ReflectedObject object);
    // `object` is the root; no keys.
    PersistentObject(ReflectedObject object, Direct) noexcept : m_root(std::move(object)) {}
    [[nodiscard]] static PersistentObject direct(ReflectedObject object) {
        return PersistentObject(std::move(object), Direct{});
    }

    [[nodiscard]] const ReflectedObject& root() const noexcept { return m_root; }
    // From the root down, root side first.
    [[nodiscard]] const std::vector<tavi::Variant>& keys() const noexcept { return m_keys; }
    // The object the path leads to now; invalid when a step fails.
    [[nodiscard]] ReflectedObject object() const;
    // The value of the property the path leads to (the root's value without keys).
    [[nodiscard]] tavi::Variant get() const;
    [[nodiscard]] std::string path() const { return joinPath(m_keys); }
    // The root and the keys, which are moved out: this one is left without keys.
    [[nodiscard]] std::tuple<ReflectedObject, std::vector<tavi::Variant>> take() &&;

    // Identity is that of the object the path resolves to: references with
    // different roots are equal when they lead to the same object.
    [[nodiscard]] size_t hash() const { return object().hash(); }
    friend bool operator==(const PersistentObject& a, const PersistentObject& b) {
        return a.object() == b.object();
    }
    friend bool operator==(const PersistentObject& a, const ReflectedObject& b) { return a.object() == b; }

    // The property `keys` lead to from `root`; invalid without keys or when a
    // step fails.
    [[nodiscard]] static BoundProperty getProperty(const ReflectedObject& root,
                                                   const std::vector<tavi::Variant>& keys);
    [[nodiscard]] static BoundProperty getProperty(const ReflectedObject& root, const std::string& path);

    [[nodiscard]] static std::string joinPath(const std::vector<tavi::Variant>& keys);
    [[nodiscard]] static std::vector<tavi::Variant> splitPath(const std::string& path);

private:
    ReflectedObject m_root;
    std::vector<tavi::Variant> m_keys;
};

} // namespace orv

template <>
struct std::hash<orv::PersistentObject> {
    size_t operator()(const orv::PersistentObject& object) const { return object.hash(); }
};
