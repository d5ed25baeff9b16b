#pragma once
// The path work that PersistentObject and PersistentProperty share, over keys
// kept in whatever sequence each of them holds.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <boost/container/small_vector.hpp>

#include <span>
#include <string>

namespace orv::persistent_object_details {

// Keys in a small_vector of any inline capacity.
using KeyBuffer = boost::container::small_vector_base<tavi::Variant>;

// Climbs from `root` through the properties that hold it, as far as
// volatility allows: appends the key of every property climbed through to
// `keys`, leaf side first, and leaves the object reached last in `root`.
void climb(ReflectedObject& root, KeyBuffer& keys);

// The property `keys` lead to from `root`; invalid without keys or when a
// step fails.
[[nodiscard]] BoundProperty getProperty(const ReflectedObject& root, std::span<const tavi::Variant> keys);

// The keys' text joined with ".".
[[nodiscard]] std::string joinPath(std::span<const tavi::Variant> keys);

} // namespace orv::persistent_object_details
