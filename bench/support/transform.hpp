#pragma once
// The type every side-by-side benchmark reflects: three floats, a short
// name, a count behind a getter/setter pair and one const method. Plain C++;
// each reflection system describes it in its own benchmark program (Qt needs
// a QObject of its own, see qt_transform.hpp).

#include <cmath>
#include <cstddef>
#include <string>

namespace bench {

struct Transform {
    float x = 1.0f;
    float y = 2.0f;
    float z = 3.0f;
    // Short enough for the small-string buffer: copying it never allocates,
    // so any allocation seen when reading it is the reflection layer's.
    std::string name = "Camera";

    int getCount() const { return m_count; }
    void setCount(int count) { m_count = count; }

    float length(float scale) const { return scale * std::sqrt(x * x + y * y + z * z); }

private:
    int m_count = 0;
};

// Written values alternate, so that setters that skip equal values (as Qt
// setters do by convention) still do their full work every time.
inline float alternating(std::size_t i) { return (i & 1) ? 1.5f : 2.5f; }

// Operations per iteration, for cases that repeat an operation inside one
// iteration; the results table divides time and allocations by it.
inline constexpr const char* OPS_COUNTER = "ops";

} // namespace bench
