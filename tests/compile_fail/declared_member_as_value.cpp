// A data member of a declared type given to property(): refused, the
// message says to write object().
#include "shared_libs/reflection/static_meta_object.hpp"

struct Transform {
    float scale = 1;
};
struct SceneNode {
    Transform transform;
};

template <>
struct orv::TypeDeclaration<Transform> {
    static void declare(orv::Builder<Transform>& type) { type.property("scale", &Transform::scale); }
};
template <>
struct orv::TypeDeclaration<SceneNode> {
    static void declare(orv::Builder<SceneNode>& type) { type.property("transform", &SceneNode::transform); }
};
