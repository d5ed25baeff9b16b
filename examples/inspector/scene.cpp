#include "examples/inspector/scene.hpp"

using inspector::Camera;
using inspector::Light;
using inspector::Mesh;
using inspector::Node;
using inspector::Scene;
using inspector::Transform;
using Meta::Validator;

namespace {

// A node needs a name to be found by: an empty one is refused, and the
// blanks around a name are dropped.
Validator nodeName() {
    return Validator([](tavi::Variant& value, std::string& error) {
        std::string name = value.cast<std::string>();
        const size_t first = name.find_first_not_of(" \t");
        if (first == std::string::npos) {
            error = "a node needs a name";
            return false;
        }
        name = name.substr(first, name.find_last_not_of(" \t") - first + 1);
        value = name;
        return true;
    });
}

} // namespace

void orv::TypeDeclaration<Transform>::declare(orv::Builder<Transform>& type) {
    type.property("position", &Transform::position, Meta::ToolTip("Relative to the parent"))
        .property("rotation", &Transform::rotation, Meta::ToolTip("Euler angles in degrees"))
        .property(
            "scale", &Transform::scale,
            Meta::MinMax(Meta::Validator::between(0.01f, 10.0f), Meta::Validator::between(0.001f, 1000.0f)));
}

void orv::TypeDeclaration<Node>::declare(orv::Builder<Node>& type) {
    type.property("name", &Node::name, Meta::Label::Text("Name"), nodeName())
        .property("visible", &Node::visible, Meta::Label::Text("Visible"))
        .object("transform", &Node::transform,
                Meta::Grid("Transform", {tavi::Variant(Meta::Grid::Layout(Meta::Grid::Layout::Row))}))
        .collection("tags", &Node::tags, Meta::ToolTip("Free-form labels used by searches"));
}

void orv::TypeDeclaration<Light>::declare(orv::Builder<Light>& type) {
    type.group(Meta::Group("Lighting"), [](auto& lighting) {
        lighting
            .property(
                "intensity", &Light::intensity, Meta::Label::Text("Intensity"),
                Meta::MinMax(Meta::Validator::between(0.0f, 10.0f), Meta::Validator::between(0.0f, 100.0f)))
            .property("color", &Light::color, Meta::Label::Text("Color"))
            .property(
                "range", &Light::range, Meta::Label::Text("Range"),
                Meta::MinMax(Meta::Validator::between(0.0f, 50.0f), Meta::Validator::between(0.0f, 10000.0f)))
            .property("castShadows", &Light::castShadows, Meta::Label::Text("Cast shadows"))
            .property("cost", &Light::cost, Meta::Label::Text("Cost"),
                      Meta::ToolTip("Derived from range and shadows"));
    });
}

void orv::TypeDeclaration<Camera>::declare(orv::Builder<Camera>& type) {
    type.group(Meta::Group("Lens"), [](auto& lens) {
        lens.property(
                "fieldOfView", &Camera::fieldOfView, Meta::Label::Text("Field of view"),
                Meta::MinMax(Meta::Validator::between(20.0f, 120.0f), Meta::Validator::between(1.0f, 179.0f)))
            .property("nearPlane", &Camera::nearPlane, Meta::Label::Text("Near plane"),
                      Meta::MinMax(Meta::Validator::between(0.01f, 10.0f),
                                   Meta::Validator::between(0.0001f, 100000.0f)))
            .property("farPlane", &Camera::farPlane, Meta::Label::Text("Far plane"),
                      Meta::MinMax(Meta::Validator::between(10.0f, 5000.0f),
                                   Meta::Validator::between(0.001f, 1e7f)));
    });
}

void orv::TypeDeclaration<Mesh>::declare(orv::Builder<Mesh>& type) {
    type.group(Meta::Group("Geometry"), [](auto& geometry) {
        geometry.property("asset", &Mesh::asset, Meta::Label::Text("Asset"))
            .property("lod", &Mesh::lod, Meta::Label::Text("Level of detail"),
                      Meta::MinMax(Meta::Validator::between(0, 4), Meta::Validator::between(0, 8)));
    });
}

void orv::TypeDeclaration<Scene>::declare(orv::Builder<Scene>& type) {
    type.property("name", &Scene::name, Meta::Label::Text("Name")).collection("nodes", &Scene::nodes);
}
