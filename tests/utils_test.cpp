// What property panels ask of a property.

#include "shared_libs/reflection/utils.hpp"

#include "platform/kor/math/vector.hpp"
#include "platform/variant/meta_type.hpp"
#include "shared_libs/reflection/editor_meta_items.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace utils_test {

struct Opaque {
    int bits = 0;
    bool operator==(const Opaque&) const = default;
};

struct Material {
    float roughness = 0.5f;
};
struct Mesh {
    std::string name = "crate";
    Kor::Vector3 offset{0, 3, -2};
    const int id = 4;
    Material material;
    Material* shared = &material;
    Material* copied = &material;
    Opaque opaque;
    int locked = 1;
    float area() const { return 2.5f; }
    void rebuild() {}
};

} // namespace utils_test

using namespace utils_test;

template <>
struct orv::TypeDeclaration<Material> {
    static void declare(orv::Builder<Material>& type) { type.property("roughness", &Material::roughness); }
};

template <>
struct orv::TypeDeclaration<Mesh> {
    static void declare(orv::Builder<Mesh>& type) {
        type.property("name", &Mesh::name, Meta::Label::Text("Mesh name"))
            .property("offset", &Mesh::offset, Meta::Label::Text([](const orv::BoundProperty& p) {
                          return "Offset of " +
                                 p.object().findPropertyByName("name").get().cast<std::string>();
                      }))
            .group(Meta::Group("Identity.Numbers"),
                   [](auto& numbers) {
                       numbers.property("id", &Mesh::id).property("area", &Mesh::area);
                       numbers.group(Meta::Group([] { return std::string("Deep"); }), [](auto& deep) {
                           deep.property("locked", &Mesh::locked, Meta::ReadOnly());
                       });
                   })
            .object("material", &Mesh::material, Meta::Group(""))
            .property("shared", &Mesh::shared)
            .property("copied", &Mesh::copied, tavi::Variant(Meta::Value()))
            .property("opaque", &Mesh::opaque)
            .method("rebuild", &Mesh::rebuild);
    }
};

namespace {

using namespace orv;

const tavi::MetaType* const s_types[] = {
    tavi::MetaType::registerType<Opaque>("utils_test::Opaque"),
};

struct Panel : ::testing::Test {
    Mesh mesh;
    ReflectedObject object = reflect(mesh);
    BoundProperty at(const char* name) const { return object.findPropertyByName(name); }
};

TEST_F(Panel, CaptionsAreLabelsOrNames) {
    EXPECT_EQ(caption(at("name")), "Mesh name");
    EXPECT_EQ(caption(at("offset")), "Offset of crate"); // a label computed from the property
    EXPECT_EQ(caption(at("id")), "id");
    EXPECT_EQ(caption(BoundProperty()), "");
}

TEST_F(Panel, HeldObjectsAreWhatAPanelOpens) {
    EXPECT_EQ(heldObject(at("material")).get(), tavi::Variant(&mesh.material));
    EXPECT_EQ(heldObject(at("shared")).metaObject(), &metaObjectOf<Material>());
    EXPECT_FALSE(heldObject(at("copied")).isValid()); // marked a plain value
    EXPECT_FALSE(heldObject(at("offset")).isValid());
    EXPECT_FALSE(heldObject(at("rebuild")).isValid());
    EXPECT_FALSE(heldObject(BoundProperty()).isValid());
}

TEST_F(Panel, OnlyPlainWritableValuesAreEditable) {
    std::vector<std::string> editable;
    for (const BoundProperty& property : object.properties())
        if (isEditable(property))
            editable.push_back(property.name());
    // Not: id (const member), area (no setter), locked (read-only), material
    // and shared (objects to open), rebuild (a method).
    EXPECT_EQ(editable, (std::vector<std::string>{"name", "offset", "copied", "opaque"}));
    const Mesh& constant = mesh;
    EXPECT_FALSE(isEditable(reflect(constant).findPropertyByName("name")));
    EXPECT_FALSE(isEditable(BoundProperty()));
}

TEST_F(Panel, ValuesShowAsText) {
    EXPECT_EQ(displayText(at("name")), "crate");
    EXPECT_EQ(displayText(at("offset")), "0 3 -2");
    EXPECT_EQ(displayText(at("area")), "2.5");
    EXPECT_EQ(displayText(at("opaque")), "<utils_test::Opaque>"); // no text form
    EXPECT_EQ(displayText(at("material")), "");
    EXPECT_EQ(displayText(at("rebuild")), "");
    EXPECT_EQ(displayText(BoundProperty()), "");
    EXPECT_EQ(valueText(tavi::Variant()), "");
    EXPECT_EQ(valueText(tavi::Variant(int32_t(-7))), "-7");
}

TEST_F(Panel, GroupPathsSplitTheInnermostGroup) {
    EXPECT_EQ(groupPath(at("name")), std::vector<std::string>());
    EXPECT_EQ(groupPath(at("id")), (std::vector<std::string>{"Identity", "Numbers"}));
    EXPECT_EQ(groupPath(at("locked")), std::vector<std::string>{"Deep"});
    EXPECT_EQ(groupPath(at("material")), std::vector<std::string>()); // a group without a name
    EXPECT_EQ(groupPath(BoundProperty()), std::vector<std::string>());
}

} // namespace
