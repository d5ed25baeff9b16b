// A small editor session: a few scene types are declared once, an instance
// is shown the way a property panel shows it, edited (one edit refused and
// one clamped by a validator), watched through change signals, and the
// edits are undone and redone through the undo history.

#include "platform/kor/math/vector.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/reflection.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

// --- the editor's own types ------------------------------------------------------

namespace scene {

struct Transform {
    Kor::Vector3 position;
    float scale = 1;
};

struct SceneNode {
    virtual ~SceneNode() = default;
    std::string name = "node";
    Transform transform;
    int id = 0;
};

struct Light : SceneNode {
    float intensity = 1;
    Kor::Vector3 color{1, 1, 1};

    // Derived values and actions are ordinary member functions.
    float range() const { return 10 * intensity; }
    float lumens(float efficacy) const { return intensity * efficacy; }
};

} // namespace scene

// --- their descriptions -----------------------------------------------------------

// Intensity stays within 0..10: larger values are clamped, negative ones refused.
Meta::Validator intensityRange() {
    return Meta::Validator([](tavi::Variant& value, std::string& error) {
        const float intensity = value.cast<float>();
        if (intensity < 0) {
            error = "a light cannot be negative";
            return false;
        }
        value = std::min(intensity, 10.0f);
        return true;
    });
}

template <>
struct orv::TypeDeclaration<scene::Transform> {
    static constexpr const char* name = "Transform";
    static void declare(orv::Builder<scene::Transform>& type) {
        type.property("position", &scene::Transform::position, Meta::Position())
            .property("scale", &scene::Transform::scale, Meta::Scale());
    }
};

template <>
struct orv::TypeDeclaration<scene::SceneNode> {
    static constexpr const char* name = "SceneNode";
    static void declare(orv::Builder<scene::SceneNode>& type) {
        type.property("name", &scene::SceneNode::name, Meta::Label::Text("Name"))
            .object("transform", &scene::SceneNode::transform)
            .property("_id", &scene::SceneNode::id); // a leading underscore hides it
    }
};

template <>
struct orv::TypeDeclaration<scene::Light> {
    static constexpr const char* name = "Light";
    using Bases = orv::Bases<scene::SceneNode>;
    static void declare(orv::Builder<scene::Light>& type) {
        type.group(Meta::Group("Lighting"),
                   [](auto& lighting) {
                       lighting
                           .property("intensity", &scene::Light::intensity, intensityRange(), Meta::Step(0.1))
                           .property("color", &scene::Light::color,
                                     Meta::Visible(orv::meta_property::VisibilityFlag::PropertyPanel))
                           .property("range", &scene::Light::range,
                                     Meta::ToolTip("Derived from the intensity"));
                   })
            .method("lumens", &scene::Light::lumens);
    }
};

namespace {

// --- a property panel in text form ---------------------------------------------

// A row per property shown in panels (caption, value, whether it can be
// typed into, group), the objects it holds opened below it.
void showPanel(const orv::ReflectedObject& object, int depth = 1) {
    for (const orv::BoundProperty& property : object.properties()) {
        if (!property.visibility().test(orv::meta_property::VisibilityFlag::PropertyPanel))
            continue;
        std::printf("%*s%-*s %-14s %-9s %s\n", 2 * depth, "", 16 - 2 * depth, orv::caption(property).c_str(),
                    orv::displayText(property).c_str(), orv::isEditable(property) ? "editable" : "",
                    Meta::Group::join(orv::groupPath(property)).c_str());
        if (const orv::ReflectedObject held = orv::heldObject(property))
            showPanel(held, depth + 1);
    }
}

void step(const char* what) { std::printf("\n> %s\n", what); }

} // namespace

int main() {
    scene::Light lamp;
    lamp.name = "lamp";
    lamp.id = 7;
    const orv::ReflectedObject light = orv::reflect(lamp);

    std::printf("A %s, shown as a property panel (caption, value, access, group):\n",
                light.metaObject()->name().c_str());
    showPanel(light);

    // Every write through the library is announced; a panel listens like this.
    std::vector<zel::ScopedConnection> watching;
    for (const char* name : {"name", "intensity", "transform.position"}) {
        const orv::BoundProperty property = light.findPropertyByName(name);
        watching.emplace_back(property.connectPropertyChanged([name](const orv::BoundProperty& changed) {
            std::printf("  [signal] %s changed to %s\n", name, orv::valueText(changed.get()).c_str());
        }));
    }

    Kor::UndoHistory history;
    const Kor::UndoHistory::ThreadAttachment attachment(history);
    const orv::BoundProperty intensity = light.findPropertyByName("intensity");

    step("rename the light");
    {
        Kor::CommitChangesScope edit("Rename");
        light.findPropertyByName("name").set(std::string("key light"));
    }

    step("drag the intensity gizmo: two writes, one undo step");
    {
        Kor::CommitChangesScope edit("Drag intensity");
        intensity.set(2.5f, orv::SetterFlag::Intermediate);
        intensity.set(4.0f);
    }

    step("type -1 into the intensity field");
    std::printf("  accepted: %s, intensity stays %s\n", intensity.set(-1.0f) ? "yes" : "no",
                orv::valueText(intensity.get()).c_str());

    step("type 50 into the intensity field");
    {
        Kor::CommitChangesScope edit("Type intensity");
        intensity.set(50.0f);
    }
    std::printf("  clamped to %s; range is now %s\n", orv::valueText(intensity.get()).c_str(),
                orv::valueText(light.findPropertyByName("range").get()).c_str());

    step("move the light (a property of its nested transform)");
    {
        Kor::CommitChangesScope edit("Move");
        light.findPropertyByName("transform.position").set(Kor::Vector3(0, 3, -2));
    }

    step("call a method");
    std::printf("  lumens(80) = %s\n",
                orv::valueText(light.findPropertyByName("lumens").invoke(80.0f)).c_str());

    std::printf("\nUndo history holds %zu steps.\n", history.undoCount());
    for (int i = 0; i < 3; ++i) {
        step(("undo \"" + history.undoName() + "\"").c_str());
        history.undo();
    }
    step(("redo \"" + history.redoName() + "\"").c_str());
    history.redo();

    std::printf("\nThe panel after the session:\n");
    showPanel(light);
    return 0;
}
