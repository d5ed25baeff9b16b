// Plugins loaded with dlopen declare types that derive from a type of this
// program, and objects travel between the program and the plugins.

#include "platform/corekit/diagnostics.hpp"
#include "tests/modules/scene_types.hpp"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orv;
using module_test::PluginApi;
using module_test::SceneNode;

// A loaded plugin; unloaded when it dies or on close().
class Plugin {
public:
    explicit Plugin(const char* path) : m_handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        EXPECT_NE(m_handle, nullptr) << dlerror();
    }
    ~Plugin() { close(); }
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    template <class F>
    F symbol(const char* name) const {
        return m_handle ? reinterpret_cast<F>(dlsym(m_handle, name)) : nullptr;
    }
    const PluginApi& api() const { return *symbol<module_test::PluginEntry>("pluginApi")(); }
    void close() {
        if (m_handle) {
            EXPECT_EQ(dlclose(std::exchange(m_handle, nullptr)), 0) << dlerror();
        }
    }

private:
    void* m_handle;
};

std::vector<std::string> names(const ReflectedObject& object) {
    std::vector<std::string> result;
    for (const BoundProperty& property : object.properties())
        result.push_back(property.name());
    return result;
}

TEST(Modules, PluginTypesShareTheHostTypeAndLeaveWithTheirPlugin) {
    MetaObjectManager& registry = MetaObjectManager::instance();
    const MetaObject& host = metaObjectOf<SceneNode>();
    Plugin lights(LIGHTS_PLUGIN);
    Plugin cameras(CAMERAS_PLUGIN);
    ASSERT_NE(lights.symbol<module_test::PluginEntry>("pluginApi"), nullptr);
    ASSERT_NE(cameras.symbol<module_test::PluginEntry>("pluginApi"), nullptr);
    const PluginApi& lamps = lights.api();
    const PluginApi& cams = cameras.api();

    // One meta object per type, whoever asks.
    EXPECT_EQ(lamps.hostMeta(), &host);
    EXPECT_EQ(cams.hostMeta(), &host);
    EXPECT_EQ(registry.findType(typeid(SceneNode)), &host);
    const MetaObject* lampMeta = registry.findType("module_test::Lamp");
    ASSERT_NE(lampMeta, nullptr);
    EXPECT_EQ(lampMeta, lamps.ownMeta());
    EXPECT_EQ(registry.findType("module_test::Camera"), cams.ownMeta());

    // A plugin's object reached through the host's type is seen as what it is.
    SceneNode* lamp = lamps.create();
    SceneNode* camera = cams.create();
    SceneNode plain;
    const ReflectedObject lampObject{tavi::Variant(lamp)};
    const ReflectedObject cameraObject{tavi::Variant(camera)};
    EXPECT_EQ(lampObject.metaObject(), lampMeta);
    EXPECT_EQ(names(lampObject), (std::vector<std::string>{"name", "revision", "intensity"}));
    EXPECT_EQ(names(cameraObject),
              (std::vector<std::string>{"name", "revision", "fieldOfView", "orthographic"}));
    EXPECT_EQ(ReflectedObject(tavi::Variant(&plain)).metaObject(), &host);
    EXPECT_TRUE(hasAnnotation<Meta::Group>(cameraObject.findPropertyByName("fieldOfView").annotations()));

    // Properties and signals across the boundary: the host and one plugin
    // listen while the other plugin writes the first plugin's lamp, and the
    // host writes a camera that a plugin reads.
    int hostChanges = 0;
    const zel::ScopedConnection watch =
        lampObject.findPropertyByName("intensity").connectPropertyChanged([&] { ++hostChanges; });
    cams.watch(lamp, "intensity");
    EXPECT_TRUE(cams.set(lamp, "intensity", tavi::Variant(3.5f)));
    EXPECT_TRUE(lamps.set(lamp, "name", tavi::Variant(std::string("key light"))));
    EXPECT_EQ(lampObject.findPropertyByName("intensity").get(), tavi::Variant(3.5f));
    EXPECT_EQ(lamp->name, "key light");
    EXPECT_EQ(hostChanges, 1);
    EXPECT_EQ(cams.changes(), 1);
    EXPECT_TRUE(cameraObject.findPropertyByName("fieldOfView").set(45.0f));
    EXPECT_EQ(lamps.get(camera, "fieldOfView"), tavi::Variant(45.0f));
    EXPECT_EQ(lamps.get(camera, "intensity"), tavi::Variant()); // a camera has none

    // Unloading a plugin (its objects and connections gone first) takes its
    // types out of the registry and leaves the others working.
    cams.unwatch();
    lamps.destroy(lamp);
    lights.close();
    EXPECT_EQ(registry.findType("module_test::Lamp"), nullptr);
    EXPECT_EQ(registry.findType(typeid(SceneNode)), &host);
    const ReflectedObject cameraAgain{tavi::Variant(camera)};
    EXPECT_EQ(cameraAgain.metaObject(), cams.ownMeta());
    cams.watch(camera, "name");
    EXPECT_TRUE(cameraAgain.findPropertyByName("name").set(std::string("main camera")));
    EXPECT_EQ(cams.changes(), 1);
    EXPECT_EQ(cams.get(camera, "name"), tavi::Variant(std::string("main camera")));
    cams.unwatch();
    cams.destroy(camera);
    cameras.close();
    EXPECT_EQ(registry.findType("module_test::Camera"), nullptr);
    EXPECT_EQ(ReflectedObject(tavi::Variant(&plain)).propertyCount(), 2u);
}

// Declarations run when their module loads: their faults are reported then,
// and a type described a second time does not displace the first.
TEST(Modules, DeclarationFaultsAreReportedWhenTheModuleLoads) {
    MetaObjectManager& registry = MetaObjectManager::instance();
    const MetaObject& host = metaObjectOf<SceneNode>();
    Kor::MessageCapture capture;
    Plugin faulty(FAULTY_PLUGIN);

    EXPECT_EQ(capture.countContaining("pop() without a matching push()"), 1u);
    // Once for the group left open inside, once for the push never popped.
    EXPECT_EQ(capture.countContaining("Missing META_POP"), 2u);
    const MetaObject* unbalanced = registry.findType("module_test::Unbalanced");
    ASSERT_NE(unbalanced, nullptr);
    EXPECT_TRUE(
        hasAnnotation<Meta::Group>(unbalanced->property(ReflectedObject(), 0, nullptr)->annotations()));

    const auto hostMeta = faulty.symbol<const MetaObject* (*)()>("hostMeta");
    ASSERT_NE(hostMeta, nullptr);
    EXPECT_NE(hostMeta(), &host);
    EXPECT_TRUE(
        capture.contains("orv::StaticMetaObject: type 'module_test::SceneNode' already has a meta object"));
    EXPECT_EQ(registry.findType(typeid(SceneNode)), &host);
    EXPECT_EQ(registry.findType("module_test::SceneNode"), &host);

    faulty.close();
    EXPECT_EQ(registry.findType("module_test::Unbalanced"), nullptr);
    EXPECT_EQ(registry.findType(typeid(SceneNode)), &host);
    EXPECT_EQ(registry.findType("module_test::SceneNode"), &host);
}

} // namespace
