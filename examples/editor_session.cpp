// A small editor session: a few scene types are declared once, an instance
// is shown the way a property panel shows it, edited (one edit refused and
// one clamped by a validator), watched through change signals, and the
// edits are undone and redone through the undo history, also after the
// edited object has been rebuilt. Last, a panel kept by an object tracker,
// with grouped rows, a grid and a range validator.

#include "platform/kor/math/vector.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/reflection.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>
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

// --- saving and loading -----------------------------------------------------------

// Whether every value at every depth of two objects of one type is equal.
bool sameValues(const orv::ReflectedObject& a, const orv::ReflectedObject& b) {
    std::vector<tavi::Variant> left, right;
    a.enumerateProperties("**", [&](const orv::BoundProperty& p) { left.push_back(p.get()); });
    b.enumerateProperties("**", [&](const orv::BoundProperty& p) { right.push_back(p.get()); });
    return left == right;
}

void saveAndLoad(scene::Light& lamp) {
    step("save the light as XML");
    std::string xml;
    tavi::FixedMemoryStream output(xml);
    orv::XMLSerializer(output).serialize(tavi::Variant(&lamp));
    std::printf("%s", xml.c_str());

    step("load it into a new light");
    tavi::Variant loaded; // empty: becomes what the document names
    tavi::FixedMemoryStream input(xml);
    orv::XMLSerializer reader(input);
    if (!reader.deserialize(loaded)) {
        std::printf("  failed: %s\n", reader.lastError().c_str());
        return;
    }
    const orv::ReflectedObject copy(loaded);
    std::printf("  a new %s, %s the saved one\n", copy.metaObject()->name().c_str(),
                sameValues(orv::reflect(lamp), copy) ? "equal to" : "DIFFERENT from");
}

} // namespace

// --- a property panel kept by a tracker tree ----------------------------------------
//
// A panel built once from a tracker tree, which follows the object from then
// on: rows grouped under their Meta::Group paths ("Light.Cone" nests under
// "Light"), an object with a Meta::Grid shown as one row of cells, and a
// slider whose range widens as values go past it while the hard limit holds.

namespace scene {

struct Spotlight {
    std::string name = "spot";
    float intensity = 1;
    float angle = 30;
    float softness = 0.2f;
    Transform transform;
    SceneNode* target = nullptr;
};

} // namespace scene

template <>
struct orv::TypeDeclaration<scene::Spotlight> {
    static constexpr const char* name = "Spotlight";
    static void declare(orv::Builder<scene::Spotlight>& type) {
        using Meta::Validator;
        using Layout = Meta::Grid::Layout;
        type.property("name", &scene::Spotlight::name)
            .push(Meta::Group("Light"))
            .property("intensity", &scene::Spotlight::intensity,
                      Meta::MinMax(Validator::between(0.0f, 10.0f), Validator::between(0.0f, 100.0f)))
            .push(Meta::Group("Light.Cone"))
            .property("angle", &scene::Spotlight::angle,
                      Meta::MinMax(Validator::between(1.0f, 45.0f), Validator::between(1.0f, 90.0f)))
            .property("softness", &scene::Spotlight::softness)
            .pop()
            .pop()
            .push(Meta::Group("Placement"))
            .object("transform", &scene::Spotlight::transform,
                    Meta::Grid("Transform", {tavi::Variant(Layout(Layout::Row))}))
            .property("target", &scene::Spotlight::target)
            .pop();
    }
};

namespace {

// An object's properties as the cells of one grid row.
std::string gridCells(const orv::Annotations& grid, const orv::BaseObjectTrackerItem& item) {
    const auto* layout = orv::findAnnotation<Meta::Grid::Layout>(grid);
    std::string cells = std::string("(") + (layout ? layout->toString() : "Row") + ")";
    for (const auto& cell : item.children())
        cells += "  " + cell->property().name() + " " + orv::valueText(cell->property().get());
    return cells;
}

void printTracked(const orv::BaseObjectTrackerItem& item, int depth) {
    std::vector<std::string> open; // the headings printed so far at this level
    for (const auto& child : item.children()) {
        const orv::BoundProperty& property = child->property();
        if (property.visibility() == orv::meta_property::HIDDEN)
            continue;
        const std::vector<std::string> path = orv::groupPath(property);
        size_t common = 0;
        while (common < open.size() && common < path.size() && open[common] == path[common])
            ++common;
        for (size_t i = common; i < path.size(); ++i)
            std::printf("%*s[%s]\n", 2 * (depth + int(i)), "", path[i].c_str());
        open = path;
        const int indent = 2 * (depth + int(path.size()));
        const orv::Annotations annotations = property.annotations();
        if (const auto* grid = orv::findAnnotation<Meta::Grid>(annotations)) {
            std::printf("%*s%-12s %s\n", indent, "", grid->name()(property).c_str(),
                        gridCells(grid->annotations(), *child).c_str());
        } else if (child->object().isValid()) {
            std::printf("%*s%s:\n", indent, "", orv::caption(property).c_str());
            printTracked(*child, depth + int(path.size()) + 1);
        } else if (property.isMethod()) {
            std::printf("%*s%s()\n", indent, "", orv::caption(property).c_str());
        } else {
            const tavi::Variant value = property.get();
            std::printf("%*s%-12s %s\n", indent, "", orv::caption(property).c_str(),
                        value.isNullPointer() ? "none" : orv::valueText(value).c_str());
        }
    }
}

std::string rangeText(const Meta::Validator::Range& range) {
    return range ? "[" + orv::valueText(range->first) + ", " + orv::valueText(range->second) + "]" : "none";
}

void trackedPanelSession(scene::Light& lamp) {
    std::printf("\n== A spotlight's panel, kept by a tracker tree ==\n");
    scene::Spotlight spot;
    const orv::ReflectedObject object = orv::reflect(spot);
    orv::BaseObjectTrackerItem panel;
    panel.setObject(object);
    printTracked(panel, 1);

    const orv::BoundProperty intensity = object.findPropertyByName("intensity");
    const auto slider = [&] { return rangeText(Meta::Validator::RangeProbe::query(intensity, {}, true)); };
    step("drag the intensity slider past its end");
    std::printf("  slider %s\n", slider().c_str());
    intensity.set(35.0f);
    std::printf("  intensity %s; the slider widens to %s\n", orv::valueText(intensity.get()).c_str(),
                slider().c_str());
    step("type 500 into the intensity field");
    intensity.set(500.0f);
    std::printf(
        "  clamped to %s at the hard limit %s; slider %s\n", orv::valueText(intensity.get()).c_str(),
        rangeText(Meta::Validator::RangeProbe::query(intensity, orv::SetterFlag::SecondRange)).c_str(),
        slider().c_str());

    step("aim the spotlight at the lamp: the tracker builds the new rows");
    object.findPropertyByName("target").set(static_cast<scene::SceneNode*>(&lamp));
    printTracked(panel, 1);
}

} // namespace

// --- undo across a rebuilt object ---------------------------------------------------

namespace scene {

// The document: it lives as long as the session and owns its key light, which
// scripts may throw away and build again.
struct Stage {
    std::unique_ptr<Light> keyLight = std::make_unique<Light>();
};

} // namespace scene

template <>
struct orv::TypeDeclaration<scene::Stage> {
    static constexpr const char* name = "Stage";
    static void declare(orv::Builder<scene::Stage>& type) {
        type.property("keyLight", [](const scene::Stage* stage) { return stage->keyLight.get(); });
    }
};

namespace {

// Undo history keeps the path from a root object to each changed property, not
// the objects: an edit is undone and redone on whatever object sits at that
// path by then, such as a light that a script has rebuilt meanwhile.
void undoAcrossARebuiltObject() {
    std::printf("\nUndo across a rebuilt object:\n");
    scene::Stage stage;
    const orv::ReflectedObject root = orv::reflect(stage);
    Kor::UndoHistory history;
    const Kor::UndoHistory::ThreadAttachment attachment(history);
    const auto intensity = [&] {
        return orv::valueText(root.findPropertyByName("keyLight.intensity").get());
    };

    step("dim the key light");
    {
        Kor::CommitChangesScope edit("Dim");
        const orv::BoundProperty property = root.findPropertyByName("keyLight.intensity");
        property.set(0.25f);
        std::printf("  recorded against the path %s\n", orv::PersistentProperty(property).path().c_str());
    }

    step("a script rebuilds the key light: the old instance is gone, an equal one takes its place");
    {
        // Announced like any change of the property, so panels and caches follow.
        const orv::PropertyChangeNotifier rebuilt(root.findPropertyByName("keyLight"), {},
                                                  orv::NotifyFlag::Value);
        stage.keyLight = std::make_unique<scene::Light>(*stage.keyLight);
    }
    std::printf("  intensity of the new light: %s\n", intensity().c_str());

    step(("undo \"" + history.undoName() + "\"").c_str());
    const bool undone = history.undo();
    std::printf("  %s; intensity of the new light: %s\n", undone ? "undone" : "failed", intensity().c_str());
    step(("redo \"" + history.redoName() + "\"").c_str());
    const bool redone = history.redo();
    std::printf("  %s; intensity: %s\n", redone ? "redone" : "failed", intensity().c_str());

    step("the script deletes the light; undo finds nothing at the path, says so and moves on");
    {
        const orv::PropertyChangeNotifier removed(root.findPropertyByName("keyLight"), {},
                                                  orv::NotifyFlag::Value);
        stage.keyLight.reset();
    }
    std::fflush(stdout); // the library's report goes to stderr
    const bool undoneWithoutLight = history.undo();
    std::printf("  %s; steps left to undo: %zu\n", undoneWithoutLight ? "undone" : "not undone",
                history.undoCount());
}

} // namespace

// --- run-time property sheets and lists ----------------------------------------------

namespace scene {

// A render layer lists the names of the nodes it draws.
struct Layer {
    std::vector<std::string> members;
};

} // namespace scene

template <>
struct orv::TypeDeclaration<scene::Layer> {
    static constexpr const char* name = "Layer";
    static void declare(orv::Builder<scene::Layer>& type) {
        // One line: a list whose elements are properties, added and removed with undo.
        type.collection("members", &scene::Layer::members,
                        Meta::ElementFactory([] { return std::string("unnamed"); }));
    }
};

namespace {

std::string listed(const orv::ReflectedObject& list) {
    std::string out;
    for (const orv::BoundProperty& element : list.properties())
        out += (out.empty() ? "" : ", ") + element.name() + ": " + orv::valueText(element.get());
    return "[" + out + "]";
}

// Custom properties a user adds to a node, as a generic object; and a list
// grown, shrunk and taken back with undo.
void customPropertiesAndLists() {
    std::printf("\nProperty sheets and lists made at run time:\n");
    constexpr size_t END = orv::MetaObject::INVALID_INDEX;
    Kor::UndoHistory history;
    const Kor::UndoHistory::ThreadAttachment attachment(history);

    step("build a custom-property sheet at run time");
    orv::GenericObject sheet;
    sheet.addProperty("exposure", END, 1.0f, {tavi::Variant(Meta::Label::Text("Exposure"))});
    sheet.addProperty("note", END, std::string("shadows?"));
    sheet.addProperty("bake", END, true);
    showPanel(sheet.object());

    step("edit the sheet: exposure to 1.5 (undoable), the note replaced, bake removed");
    {
        Kor::CommitChangesScope edit("Exposure");
        sheet["exposure"].set(1.5f);
    }
    sheet.setProperty("note", END, std::string("done"));
    sheet.removeProperty("bake");
    showPanel(sheet.object());
    step(("undo \"" + history.undoName() + "\"").c_str());
    history.undo();
    showPanel(sheet.object());

    scene::Layer layer{{"lamp", "camera"}};
    const orv::ReflectedObject members(orv::reflect(layer).findPropertyByName("members"));
    step("a layer's member list, edited with undo");
    std::printf("  %s\n", listed(members).c_str());
    {
        Kor::CommitChangesScope edit("Add members");
        members.addProperty(tavi::Variant(), tavi::Variant()); // made by the element factory
        members.addProperty(tavi::Variant(size_t(0)), std::string("floor"));
    }
    {
        Kor::CommitChangesScope edit("Remove member");
        members.removePropertyAt(1);
    }
    std::printf("  %s\n", listed(members).c_str());
    for (int i = 0; i < 2; ++i) {
        step(("undo \"" + history.undoName() + "\"").c_str());
        history.undo();
        std::printf("  %s\n", listed(members).c_str());
    }
    step(("redo \"" + history.redoName() + "\"").c_str());
    history.redo();
    std::printf("  %s\n", listed(members).c_str());
}

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

    undoAcrossARebuiltObject();
    trackedPanelSession(lamp);
    customPropertiesAndLists();
    saveAndLoad(lamp);
    return 0;
}
