// A first look at the type registry: a few editor types with base classes
// and aliases are described and registered, and the registry is asked what
// it knows about live instances.
//
// The declaration builder will make describing types a one-liner per member;
// until then a type is described by a small meta object written by hand.

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <cstdio>
#include <memory>
#include <string>

namespace {

// Editor types: every scene node has a transform; lights and cameras are nodes.
struct Transform {
    float x = 0, y = 0, z = 0;
};
struct SceneNode {
    virtual ~SceneNode() = default;
    std::string name;
};
struct Light : SceneNode {
    float intensity = 1;
};
struct SpotLight : Light {
    float angle = 30;
};
struct Selectable {
    bool selected = false;
};
struct Camera : Selectable, SceneNode {
    float fov = 60;
};

// Recognises instances of exactly T behind a SceneNode pointer.
template <typename T>
class NodeMetaObject : public orv::NotifyableMetaObject<0> {
public:
    NodeMetaObject(std::string name, std::vector<BaseClass> bases = {})
        : NotifyableMetaObject(typeid(T), 1, std::move(name), std::move(bases)) {}

    tavi::Variant create() override { return tavi::Variant(); }
    bool objectMatches(const tavi::Variant& object) const override { return object.typeId() == typeid(T); }
    orv::Annotations annotations(const tavi::Variant&) override { return {}; }
};

// Displacement from a base sub-object to the derived object.
template <typename Derived, typename Base>
long long offsetOfBase() {
    alignas(Derived) static unsigned char storage[sizeof(Derived)];
    auto* derived = reinterpret_cast<Derived*>(storage);
    return reinterpret_cast<char*>(derived) - reinterpret_cast<char*>(static_cast<Base*>(derived));
}

void describe(const char* label, const tavi::Variant& value) {
    const orv::TypeInfo info(value);
    orv::MetaObject* found = orv::MetaObjectManager::instance().findType(value, info);
    std::printf("  %-28s -> %s\n", label, found ? found->name().c_str() : "(not registered)");
}

} // namespace

int main() {
    auto& registry = orv::MetaObjectManager::instance();

    NodeMetaObject<SceneNode> node("SceneNode");
    NodeMetaObject<Selectable> selectable("Selectable");
    NodeMetaObject<Light> light("Light", {{&node, offsetOfBase<Light, SceneNode>()}});
    NodeMetaObject<SpotLight> spot("SpotLight", {{&light, offsetOfBase<SpotLight, Light>()}});
    NodeMetaObject<Camera> camera("Camera", {{&selectable, offsetOfBase<Camera, Selectable>()},
                                             {&node, offsetOfBase<Camera, SceneNode>()}});
    spot.addAlias("Spot");
    camera.addAlias("EditorCamera");
    camera.addAlias("Cam");

    // Bases first: registering links each type into its bases' derived lists.
    for (orv::MetaObject* meta : {static_cast<orv::MetaObject*>(&node), static_cast<orv::MetaObject*>(&selectable),
                                  static_cast<orv::MetaObject*>(&light), static_cast<orv::MetaObject*>(&spot),
                                  static_cast<orv::MetaObject*>(&camera)})
        registry.registerType(meta);

    std::printf("Registered types:\n");
    for (const orv::MetaObject* meta : {static_cast<const orv::MetaObject*>(&node),
                                        static_cast<const orv::MetaObject*>(&light),
                                        static_cast<const orv::MetaObject*>(&spot),
                                        static_cast<const orv::MetaObject*>(&camera)}) {
        std::string bases;
        for (const auto& base : meta->baseClasses())
            bases += (bases.empty() ? "" : ", ") + base.metaObject()->name() + " (offset " +
                     std::to_string(base.offset()) + ")";
        std::string aliases;
        for (const auto& alias : meta->aliases())
            aliases += (aliases.empty() ? "" : ", ") + alias;
        std::printf("  %-10s bases: %-48s aliases: %s\n", meta->name().c_str(), bases.empty() ? "-" : bases.c_str(),
                    aliases.empty() ? "-" : aliases.c_str());
    }

    std::printf("\nLooking up by name or alias:\n");
    for (const char* name : {"Light", "Spot", "Cam", "Transform"}) {
        orv::MetaObject* found = registry.findType(name);
        std::printf("  %-28s -> %s\n", name, found ? found->name().c_str() : "(not registered)");
    }

    std::printf("\nMost derived registered type of live instances held as SceneNode*:\n");
    SpotLight spotLight;
    Camera editorCamera;
    SceneNode plainNode;
    describe("SceneNode* to a SpotLight", tavi::Variant(static_cast<SceneNode*>(&spotLight)));
    describe("SceneNode* to a Camera", tavi::Variant(static_cast<SceneNode*>(&editorCamera)));
    describe("SceneNode* to a SceneNode", tavi::Variant(&plainNode));
    describe("a Transform value", tavi::Variant(Transform{}));

    std::printf("\nCasting between a type and its bases:\n");
    SceneNode* asNode = &editorCamera;
    void* back = camera.cast(asNode, typeid(SceneNode), typeid(Camera));
    std::printf("  SceneNode* of a Camera cast back to Camera*: %s\n", back == &editorCamera ? "same object" : "WRONG");
    void* sideways = camera.cast(asNode, typeid(SceneNode), typeid(Selectable));
    std::printf("  ... and across to its Selectable base: %s\n",
                sideways == static_cast<Selectable*>(&editorCamera) ? "same object" : "WRONG");
    std::printf("  ... and to an unrelated type: %s\n",
                camera.cast(asNode, typeid(SceneNode), typeid(Transform)) ? "WRONG" : "null, as it should be");

    // Unregister derived types before their bases.
    for (orv::MetaObject* meta : {static_cast<orv::MetaObject*>(&camera), static_cast<orv::MetaObject*>(&spot),
                                  static_cast<orv::MetaObject*>(&light), static_cast<orv::MetaObject*>(&selectable),
                                  static_cast<orv::MetaObject*>(&node)})
        registry.unregisterType(meta);
    return 0;
}
