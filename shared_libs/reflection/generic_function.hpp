#pragma once
// A callable taken with a list of Variant arguments, through which methods
// of reflected types are invoked. Declarations wrap typed member functions
// into it; the library calls it with the bound property and setter flags.

#include "platform/variant/variant.hpp"

#include <cstddef>

namespace orv {

template <class... Context>
class BasicGenericFunction {
public:
    virtual ~BasicGenericFunction() = default;
    // Calls with `count` arguments at `arguments`; the result may be void.
    virtual tavi::Variant call(Context... context, size_t count, const tavi::Variant* arguments) const = 0;
    // Number of arguments the callable takes.
    virtual size_t arity() const = 0;
};

} // namespace orv
