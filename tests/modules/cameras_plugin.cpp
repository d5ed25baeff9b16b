// A plugin that adds cameras to the host's scene nodes.

#include "tests/modules/plugin_api.hpp"

namespace module_test {
struct Camera : SceneNode {
    float fieldOfView = 60;
    bool orthographic = false;
};
} // namespace module_test

template <>
struct orv::TypeDeclaration<module_test::Camera> {
    static constexpr const char* name = "module_test::Camera";
    using Bases = orv::Bases<module_test::SceneNode>;
    static void declare(orv::Builder<module_test::Camera>& type) {
        type.group(Meta::Group("Lens"), [](auto& lens) {
            lens.property("fieldOfView", &module_test::Camera::fieldOfView)
                .property("orthographic", &module_test::Camera::orthographic);
        });
    }
};

extern "C" const module_test::PluginApi* pluginApi() {
    return module_test::pluginApiOf<module_test::Camera>();
}
