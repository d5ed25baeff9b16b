// A plugin whose declarations are wrong in ways that can only be seen when
// they run: an unbalanced annotation scope, and a host type described again
// because this module keeps its template instances to itself (it is built
// with hidden visibility).

#include "tests/modules/scene_types.hpp"

namespace module_test {
struct Unbalanced {
    int value = 0;
};
} // namespace module_test

template <>
struct orv::TypeDeclaration<module_test::Unbalanced> {
    static constexpr const char* name = "module_test::Unbalanced";
    static void declare(orv::Builder<module_test::Unbalanced>& type) {
        type.pop()
            .push(Meta::Group("open"))
            .property("value", &module_test::Unbalanced::value)
            .group(Meta::ToolTip("left open inside"), [](auto& inner) { inner.push(Meta::Group("inner")); });
    }
};

// The host type's meta object as this module sees it.
extern "C" __attribute__((visibility("default"))) const orv::MetaObject* hostMeta() {
    return &orv::metaObjectOf<module_test::SceneNode>();
}
