// Declares a type, writes a property with undo and reads it back: exits 0
// only when the library behaves the same outside the tree that built it.
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/reflection.hpp"

#include <cstdio>
#include <string>

struct Lamp {
    std::string name = "lamp";
    float intensity = 1;
};

template <>
struct orv::TypeDeclaration<Lamp> {
    static void declare(orv::Builder<Lamp>& type) {
        type.property("name", &Lamp::name).property("intensity", &Lamp::intensity);
    }
};

int main() {
    Lamp lamp;
    const orv::ReflectedObject object = orv::reflect(lamp);
    const orv::BoundProperty intensity = object.findPropertyByName("intensity");

    Kor::UndoHistory history;
    const Kor::UndoHistory::ThreadAttachment attach(history);
    {
        const Kor::CommitChangesScope edit("Brighter");
        intensity.set(3.5f);
    }
    const bool written = lamp.intensity == 3.5f;
    history.undo();
    const bool undone = lamp.intensity == 1.0f;
    std::printf("%s: %zu properties, written %d, undone %d\n", object.metaObject()->name().c_str(),
                object.propertyCount(), written, undone);
    return object.propertyCount() == 2 && written && undone ? 0 : 1;
}
