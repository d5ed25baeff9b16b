#include "examples/inspector/scene.hpp"

using inspector::Camera;
using inspector::Light;
using inspector::Mesh;
using inspector::Node;
using inspector::Scene;
using inspector::Transform;
using Meta::Validator;

void orv::TypeDeclaration<Transform>::declare(orv::Builder<Transform>& type) {
    type.property("position", &Transform::position, Meta::ToolTip("Relative to the parent"))
        .property("rotation", &Transform::rotation, Meta::ToolTip("Euler angles in degrees"))
        .property("scale", &Transform::scale,
                  Meta::MinMax(Validator::between(0.01f, 10.0f), Validator::between(0.001f, 1000.0f)));
}

void orv::TypeDeclaration<Node>::declare(orv::Builder<Node>& type) {
    type.property("name", &Node::name, Meta::Label::Text("Name"))
        .property("visible", &Node::visible, Meta::Label::Text("Visible"))
        .object("transform", &Node::transform,
                Meta::Grid("Transform", {tavi::Variant(Meta::Grid::Layout(Meta::Grid::Layout::Row))}))
        .collection("tags", &Node::tags, Meta::ToolTip("Free-form labels used by searches"));
}

void orv::TypeDeclaration<Light>::declare(orv::Builder<Light>& type) {
    type.group(Meta::Group("Lighting"), [](auto& lighting) {
        lighting
            .property("intensity", &Light::intensity, Meta::Label::Text("Intensity"),
                      Meta::MinMax(Validator::between(0.0f, 10.0f), Validator::between(0.0f, 100.0f)))
            .property("color", &Light::color, Meta::Label::Text("Color"))
            .property("range", &Light::range, Meta::Label::Text("Range"),
                      Meta::MinMax(Validator::between(0.0f, 50.0f), Validator::between(0.0f, 10000.0f)))
            .property("castShadows", &Light::castShadows, Meta::Label::Text("Cast shadows"))
            .property("cost", &Light::cost, Meta::ToolTip("Derived from range and shadows"));
    });
}

void orv::TypeDeclaration<Camera>::declare(orv::Builder<Camera>& type) {
    type.group(Meta::Group("Lens"), [](auto& lens) {
        lens.property("fieldOfView", &Camera::fieldOfView, Meta::Label::Text("Field of view"),
                      Meta::MinMax(Validator::between(20.0f, 120.0f), Validator::between(1.0f, 179.0f)))
            .property("nearPlane", &Camera::nearPlane, Meta::Label::Text("Near plane"),
                      Meta::MinMax(Validator::between(0.01f, 10.0f), Validator::between(0.0001f, 100000.0f)))
            .property("farPlane", &Camera::farPlane, Meta::Label::Text("Far plane"),
                      Meta::MinMax(Validator::between(10.0f, 5000.0f), Validator::between(0.001f, 1e7f)));
    });
}

void orv::TypeDeclaration<Mesh>::declare(orv::Builder<Mesh>& type) {
    type.group(Meta::Group("Geometry"), [](auto& geometry) {
        geometry.property("asset", &Mesh::asset, Meta::Label::Text("Asset"))
            .property("lod", &Mesh::lod, Meta::Label::Text("Level of detail"),
                      Meta::MinMax(Validator::between(0, 4), Validator::between(0, 8)));
    });
}

void orv::TypeDeclaration<Scene>::declare(orv::Builder<Scene>& type) {
    type.property("name", &Scene::name, Meta::Label::Text("Scene")).collection("nodes", &Scene::nodes);
}
