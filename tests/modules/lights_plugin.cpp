// A plugin that adds lamps to the host's scene nodes.

#include "tests/modules/plugin_api.hpp"

namespace module_test {
struct Lamp : SceneNode {
    float intensity = 1;
};
} // namespace module_test

template <>
struct orv::TypeDeclaration<module_test::Lamp> {
    static constexpr const char* name = "module_test::Lamp";
    using Bases = orv::Bases<module_test::SceneNode>;
    static void declare(orv::Builder<module_test::Lamp>& type) {
        type.property("intensity", &module_test::Lamp::intensity);
    }
};

extern "C" const module_test::PluginApi* pluginApi() { return module_test::pluginApiOf<module_test::Lamp>(); }
