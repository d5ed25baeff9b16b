#pragma once
// The scene the inspector edits: a named scene holding nodes of several
// kinds, each with a transform, tags and kind-specific settings. The types
// are plain structs; their descriptions (properties, groups, ranges,
// labels, tool tips) are the declarations below.

#include "platform/kor/math/vector.hpp"
#include "shared_libs/reflection/reflection.hpp"

#include <string>
#include <vector>

namespace inspector {

struct Transform {
    Kor::Vector3 position;
    Kor::Vector3 rotation; // Euler angles, degrees
    Kor::Vector3 scale{1, 1, 1};
};

struct Node {
    virtual ~Node() = default;
    std::string name;
    bool visible = true;
    Transform transform;
    std::vector<std::string> tags;
};

struct Light : Node {
    float intensity = 1;
    Kor::Vector3 color{1, 1, 1};
    float range = 10;
    bool castShadows = true;
    // Derived: what the renderer spends on the light.
    float cost() const { return range * (castShadows ? 4.0f : 1.0f); }
};

struct Camera : Node {
    float fieldOfView = 60;
    float nearPlane = 0.1f;
    float farPlane = 1000;
};

struct Mesh : Node {
    std::string asset;
    int lod = 0;
};

// Nodes are kept as values of any node type (each holds its node through a
// std::shared_ptr), so the scene file can name the type of every node.
struct Scene {
    std::string name = "untitled";
    std::vector<tavi::Variant> nodes;
};

} // namespace inspector

template <>
struct orv::TypeDeclaration<inspector::Transform> {
    static constexpr const char* name = "Transform";
    static void declare(orv::Builder<inspector::Transform>& type);
};

template <>
struct orv::TypeDeclaration<inspector::Node> {
    static constexpr const char* name = "Node";
    static void declare(orv::Builder<inspector::Node>& type);
};

template <>
struct orv::TypeDeclaration<inspector::Light> {
    static constexpr const char* name = "Light";
    using Bases = orv::Bases<inspector::Node>;
    static void declare(orv::Builder<inspector::Light>& type);
};

template <>
struct orv::TypeDeclaration<inspector::Camera> {
    static constexpr const char* name = "Camera";
    using Bases = orv::Bases<inspector::Node>;
    static void declare(orv::Builder<inspector::Camera>& type);
};

template <>
struct orv::TypeDeclaration<inspector::Mesh> {
    static constexpr const char* name = "Mesh";
    using Bases = orv::Bases<inspector::Node>;
    static void declare(orv::Builder<inspector::Mesh>& type);
};

template <>
struct orv::TypeDeclaration<inspector::Scene> {
    static constexpr const char* name = "Scene";
    static void declare(orv::Builder<inspector::Scene>& type);
};
