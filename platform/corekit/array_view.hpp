#pragma once
// A view of a run of values held elsewhere.

#include <span>

namespace Kor {

// A pointer and a count, valid as long as the viewed array is neither
// changed nor gone. std::span is exactly that pair, so the name is an alias
// rather than a second class with the same members.
template <class T>
using array_view = std::span<T>;

} // namespace Kor
