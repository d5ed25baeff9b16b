// A "setter" that takes no value would write nothing: refused.
#include "shared_libs/reflection/static_meta_object.hpp"

struct Counter {
    int count = 0;
    int get() const { return count; }
};

template <>
struct orv::TypeDeclaration<Counter> {
    static void declare(orv::Builder<Counter>& type) {
        type.property("count", &Counter::get, [](Counter* counter) { counter->count = 0; });
    }
};
