#include "shared_libs/reflection/editor_meta_items.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/matrix.hpp"
#include "platform/variant/meta_type.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace items_test {

// A plain value type: never opened as an object.
struct Plain {
    int level = 0;
};

// A scene body: its matrices are expressed in its parent's space.
struct Body {
    Kor::Matrix local;
    Kor::Matrix pinned;
    Kor::Matrix parentWorld;
    std::string name = "body";
    bool item = true;
    Body* part = nullptr;
    Plain plain;
};

Kor::Matrix parentWorldOf(const orv::ReflectedObject& object) {
    return object.get().castPtr<Body>()->parentWorld;
}

} // namespace items_test

template <>
struct orv::TypeDeclaration<items_test::Plain> {
    static void declare(orv::Builder<items_test::Plain>& type) {
        type.annotate(Meta::Value()).property("level", &items_test::Plain::level);
    }
};

template <>
struct orv::TypeDeclaration<items_test::Body> {
    static void declare(orv::Builder<items_test::Body>& type) {
        using items_test::Body;
        const Meta::WorldTransform inParent(&items_test::parentWorldOf);
        type.property("local", &Body::local, inParent)
            .property("pinned", &Body::pinned, inParent, Meta::Gizmo::Static())
            .property("flat", &Body::parentWorld)
            .property("singular", &Body::local,
                      Meta::WorldTransform([] { return Kor::Matrix().setScale(Kor::Vector3::ZERO); }))
            .property("name", &Body::name, inParent)
            .property("item", &Body::item, Meta::SceneItem([](const orv::ReflectedObject& o) {
                          return o.get().castPtr<Body>()->item;
                      }))
            .property("decoration", &Body::name, Meta::SceneItem([] { return false; }))
            .property("broken", &Body::name, Meta::SceneItem())
            .property("part", &Body::part)
            .property("valuePart", &Body::part, Meta::Value())
            .object("plain", &Body::plain);
    }
};

namespace {

using namespace orv;
using items_test::Body;

struct EditorItemsTest : ::testing::Test {
    BoundProperty property(const char* name) { return object.findPropertyByName(name); }

    static Kor::Matrix transform(float angle, const Kor::Vector3& scale, const Kor::Vector3& translation) {
        Kor::Matrix rotation;
        rotation.setRotateZ(angle);
        return Kor::Matrix().setScale(scale) * rotation * Kor::Matrix().setTranslation(translation);
    }

    Body body;
    ReflectedObject object = reflect(body);
};

// --- layout ----------------------------------------------------------------------

TEST(EditorItems, GridsNameTheirCellsAndLayoutsTheirKind) {
    const Meta::Grid grid("Transform", {tavi::Variant(Meta::Grid::Layout(Meta::Grid::Layout::Column))});
    EXPECT_EQ(grid.name()(BoundProperty()), "Transform");
    const auto* layout = findAnnotation<Meta::Grid::Layout>(grid.annotations());
    ASSERT_NE(layout, nullptr);
    EXPECT_STREQ(layout->toString(), "Column");
    const Meta::Grid computed(Meta::Grid::Function([](const BoundProperty& p) { return "of " + p.name(); }));
    EXPECT_EQ(computed.name()(BoundProperty()), "of ");
    EXPECT_TRUE(computed.annotations().empty());

    using Layout = Meta::Grid::Layout;
    const char* names[] = {"unknown",           "Row",    "Column", "Fill", "Flow", "Grid",
                           "OneCellTwoColumns", "unknown"};
    for (int type = 0; type <= 7; ++type)
        EXPECT_STREQ(Layout(Layout::EType(type)).toString(), names[type]) << type;
    EXPECT_STREQ(Layout().toString(), "Row");
}

TEST(EditorItems, PathsAndFiltersOfImagesAndDialogs) {
    EXPECT_STREQ(Meta::View::ImagePath::s_channelsPropertyName, "_imagePathChannelsProperty");
    const std::vector<std::string> filters(Meta::View::ImagePath::s_filesFilter.begin(),
                                           Meta::View::ImagePath::s_filesFilter.end());
    EXPECT_EQ(filters,
              (std::vector<std::string>{"*.jpg", "*.tga", "*.png", "*.tif", "*.tiff", "*.bmp", "*.dds"}));
    EXPECT_EQ(Meta::DialogTitle().value, L"Choose file ...");
    EXPECT_EQ(Meta::DialogTitle(L"Open mesh").value, L"Open mesh");
}

TEST(EditorItems, AnnotationsAreFiledUnderTheirNames) {
    const std::pair<const tavi::MetaType*, const char*> types[] = {
        {tavi::MetaType::of<Meta::Grid>(), "Meta::Grid"},
        {tavi::MetaType::of<Meta::Grid::Layout>(), "Meta::Grid::Layout"},
        {tavi::MetaType::of<Meta::Radius>(), "Meta::Radius"},
        {tavi::MetaType::of<Meta::Angle>(), "Meta::Angle"},
        {tavi::MetaType::of<Meta::WorldTransform>(), "Meta::WorldTransform"},
        {tavi::MetaType::of<Meta::Gizmo::Static>(), "Meta::Gizmo::Static"},
        {tavi::MetaType::of<Meta::SceneItem>(), "Meta::SceneItem"},
        {tavi::MetaType::of<Meta::Value>(), "Meta::Value"},
        {tavi::MetaType::of<Meta::View::ImagePath>(), "Meta::View::ImagePath"},
        {tavi::MetaType::of<Meta::View::ColorPicker>(), "Meta::View::ColorPicker"},
        {tavi::MetaType::of<Meta::Validator::RangeProbe>(), "Meta::Validator::RangeProbe"},
    };
    for (const auto& [type, name] : types)
        EXPECT_STREQ(type->name(), name);
}

// --- gizmos ----------------------------------------------------------------------

TEST_F(EditorItemsTest, GizmoShapesAnswerTheirDefaultsUntilGivenFunctions) {
    const BoundProperty name = property("name");
    const Meta::Radius plain;
    EXPECT_EQ(plain.position(name), Kor::Vector3::ZERO);
    EXPECT_EQ(plain.color(name), 0xFFFF0000u);
    EXPECT_EQ(plain.radius(name), 2.0f);
    EXPECT_TRUE(plain.sphereVisible(name));
    EXPECT_TRUE(plain.unitsVisible(name));
    EXPECT_FALSE(plain.needPaintGizmo(name));

    Meta::Radius given;
    given
        .position([](const ReflectedObject& o) { return o.get().castPtr<Body>()->parentWorld.translation(); })
        .color([] { return 0xFF00FF00u; })
        .radius([](const BoundProperty& p) { return float(p.name().size()); })
        .sphereVisible([] { return false; })
        .unitsVisible([] { return false; })
        .needPaintGizmo([] { return true; });
    body.parentWorld.setTranslation({1, 2, 3});
    EXPECT_EQ(given.position(name), Kor::Vector3(1, 2, 3));
    EXPECT_EQ(given.color(name), 0xFF00FF00u);
    EXPECT_EQ(given.radius(name), 4.0f);
    EXPECT_FALSE(given.sphereVisible(name));
    EXPECT_FALSE(given.unitsVisible(name));
    EXPECT_TRUE(given.needPaintGizmo(name));

    Meta::Angle angle;
    EXPECT_EQ(angle.frame(name), Kor::Matrix::identity);
    EXPECT_TRUE(angle.coneVisible());
    EXPECT_FALSE(angle.coneVisible(false).coneVisible());
    EXPECT_EQ(Meta::Angle([] {
                  return Kor::Matrix().setTranslation({0, 1, 0});
              })
                  .frame(name)
                  .translation(),
              Kor::Vector3(0, 1, 0));
}

TEST_F(EditorItemsTest, WorldTransformsConvertBetweenLocalAndWorldSpace) {
    body.parentWorld = transform(0.5f, {2, 2, 2}, {10, 0, -4});
    body.local = transform(-1.0f, {1, 3, 1}, {1, 2, 3});
    const BoundProperty local = property("local");

    const auto parent = Meta::WorldTransform::worldTransform(local);
    ASSERT_TRUE(parent);
    EXPECT_EQ(*parent, body.parentWorld);
    const auto inverse = Meta::WorldTransform::worldTransformInv(local);
    ASSERT_TRUE(inverse);
    EXPECT_TRUE(Kor::almostEqual(*parent * *inverse, Kor::Matrix::identity, 1e-5f));
    EXPECT_TRUE(Kor::almostEqual(Meta::WorldTransform::get(local), body.local * body.parentWorld, 1e-5f));

    const Kor::Matrix world = transform(2.0f, {0.5f, 1, 4}, {-3, 7, 1});
    ASSERT_TRUE(Meta::WorldTransform::set(local, world));
    EXPECT_TRUE(Kor::almostEqual(Meta::WorldTransform::get(local), world, 1e-4f))
        << "set, then get, round trips";
    EXPECT_TRUE(Kor::almostEqual(body.local * body.parentWorld, world, 1e-4f));
    EXPECT_TRUE(Kor::almostEqual(Meta::WorldTransform::getGizmoTransform(local), world, 1e-4f));

    body.pinned = world;
    EXPECT_EQ(Meta::WorldTransform::getGizmoTransform(property("pinned")), body.parentWorld)
        << "a static gizmo ignores the value";

    const BoundProperty flat = property("flat");
    EXPECT_FALSE(Meta::WorldTransform::worldTransform(flat));
    EXPECT_FALSE(Meta::WorldTransform::worldTransformInv(flat));
    ASSERT_TRUE(Meta::WorldTransform::set(flat, world));
    EXPECT_EQ(body.parentWorld, world) << "without a world transform, world is local";
    EXPECT_EQ(Meta::WorldTransform::get(property("name")), body.parentWorld) << "no matrix reads as identity";
}

TEST_F(EditorItemsTest, ASingularWorldTransformIsReportedAndWritesNothing) {
    const BoundProperty singular = property("singular");
    EXPECT_TRUE(Meta::WorldTransform::worldTransform(singular));
    EXPECT_FALSE(Meta::WorldTransform::worldTransformInv(singular));
    const Kor::Matrix before = body.local;
    Kor::MessageCapture capture;
    EXPECT_FALSE(Meta::WorldTransform::set(singular, Kor::Matrix().setTranslation({1, 1, 1})));
    EXPECT_TRUE(capture.contains("the world transform of property 'singular' is singular"));
    EXPECT_EQ(body.local, before);
}

// --- scene items --------------------------------------------------------------------

TEST_F(EditorItemsTest, CountersCountSceneItemsInTheirRoot) {
    using Counter = Meta::SceneItem::Counter;
    Counter root;
    EXPECT_EQ(root.count(), 1) << "a root counts itself";
    {
        Counter first(property("item"), &root);
        Counter second(property("item"), &first);
        EXPECT_TRUE(first.active());
        EXPECT_EQ(root.count(), 3);
        EXPECT_EQ(second.count(), 3) << "every counter answers its root's count";
        const Counter decoration(property("decoration"), &root);
        const Counter plain(property("name"), &root);
        EXPECT_FALSE(decoration.active());
        EXPECT_FALSE(plain.active());
        EXPECT_EQ(root.count(), 3);

        std::vector<Counter> copies;
        for (int i = 0; i < 20; ++i) // reallocations copy and destroy the elements
            copies.push_back(first);
        EXPECT_EQ(root.count(), 23);
        copies.clear();
        EXPECT_EQ(root.count(), 3);
        Counter assigned;
        assigned = second;
        EXPECT_EQ(root.count(), 4);
        assigned = decoration;
        EXPECT_EQ(root.count(), 3);
    }
    EXPECT_EQ(root.count(), 1) << "destroying the counters restores the count";

    body.item = false;
    const Counter off(property("item"), &root);
    EXPECT_EQ(root.count(), 1);
    EXPECT_THROW(Counter(property("broken"), &root), std::bad_function_call);
}

// --- plain values ---------------------------------------------------------------------

TEST_F(EditorItemsTest, PlainValuesAreNeverOpenedAsObjects) {
    Body other;
    body.part = &other;
    const ReflectedObject part = Meta::Value::getObject(property("part"));
    ASSERT_TRUE(part.isValid());
    EXPECT_EQ(part.get().castPtr<Body>(), &other);
    EXPECT_EQ(part.reference(), property("part")) << "the object is reached through the property";
    EXPECT_FALSE(Meta::Value::getObject(property("valuePart")).isValid()) << "the property is a value";
    EXPECT_TRUE(ReflectedObject(property("plain")).isValid());
    EXPECT_FALSE(Meta::Value::getObject(property("plain")).isValid()) << "its type is a value";
    EXPECT_FALSE(Meta::Value::getObject(property("name")).isValid()) << "no object at all";
}

} // namespace
