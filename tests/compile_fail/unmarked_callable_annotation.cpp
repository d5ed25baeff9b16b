// An annotation type that can be called, not marked as an annotation: it is
// neither taken for a setter nor stored silently.
#include "shared_libs/reflection/static_meta_object.hpp"

struct Refresh {
    void operator()() const {}
};
struct Panel {
    int rows = 0;
};

template <>
struct orv::TypeDeclaration<Panel> {
    static void declare(orv::Builder<Panel>& type) { type.property("rows", &Panel::rows, Refresh()); }
};
