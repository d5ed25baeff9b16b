#pragma once
// The registered types the XML tests, the reader's fuzz target and its seed
// corpus share: a sample with one property of each common primitive type, a
// nested object and a method, and an abstract type that cannot be created.

#include "shared_libs/reflection/static_meta_object.hpp"

#include <string>

namespace xml_scene {

struct Color {
    float r = 0.5f;
    float g = 0.25f;
    float b = 1;

    friend bool operator==(const Color&, const Color&) = default;
};

struct Sample {
    float x = 1.5f;
    int count = 3;
    bool visible = true;
    std::string name = "lamp";
    double weight = 0.1;
    Color color;

    float twice(float value) const { return 2 * value; }
    friend bool operator==(const Sample&, const Sample&) = default;
};

struct Shape {
    virtual ~Shape() = default;
    virtual float area() const = 0;
};

} // namespace xml_scene

template <>
struct orv::TypeDeclaration<xml_scene::Color> {
    static constexpr const char* name = "Color";
    static void declare(orv::Builder<xml_scene::Color>& type) {
        type.property("r", &xml_scene::Color::r)
            .property("g", &xml_scene::Color::g)
            .property("b", &xml_scene::Color::b);
    }
};

template <>
struct orv::TypeDeclaration<xml_scene::Sample> {
    static constexpr const char* name = "Sample";
    static void declare(orv::Builder<xml_scene::Sample>& type) {
        type.property("x", &xml_scene::Sample::x)
            .property("count", &xml_scene::Sample::count)
            .property("visible", &xml_scene::Sample::visible)
            .property("name", &xml_scene::Sample::name)
            .property("weight", &xml_scene::Sample::weight)
            .object("color", &xml_scene::Sample::color)
            .method("twice", &xml_scene::Sample::twice);
    }
};

template <>
struct orv::TypeDeclaration<xml_scene::Shape> {
    static constexpr const char* name = "Shape";
    static void declare(orv::Builder<xml_scene::Shape>& type) {
        type.property("area", &xml_scene::Shape::area);
    }
};
