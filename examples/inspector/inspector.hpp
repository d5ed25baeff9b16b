#pragma once
// The core of a property editor, driven by text commands: a scene loaded
// from XML, shown as a tree of grouped, annotated properties, searched,
// selected (one object or several at once), edited through validators,
// grown and shrunk, undone and redone, and saved again.

#include "examples/inspector/scene.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/reflection.hpp"

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace inspector {

class Inspector {
public:
    explicit Inspector(std::ostream& out);
    ~Inspector();
    Inspector(const Inspector&) = delete;
    Inspector& operator=(const Inspector&) = delete;

    // Reads the scene in `path`; on failure says why in one line and leaves
    // the session empty.
    bool load(const std::filesystem::path& path);
    // Runs one command line; false when it failed (and said why).
    bool execute(const std::string& line);
    // Whether a "quit" command was given.
    bool finished() const noexcept { return m_finished; }

private:
    class PanelRow;
    struct Command {
        const char* name;
        const char* arguments;
        int leastArguments;
        int mostArguments;
        const char* help;
        bool (Inspector::*run)(const std::vector<std::string>& words);
    };
    static const std::vector<Command>& commands();

    bool help(const std::vector<std::string>& words);
    bool tree(const std::vector<std::string>& words);
    bool list(const std::vector<std::string>& words);
    bool find(const std::vector<std::string>& words);
    bool select(const std::vector<std::string>& words);
    bool panel(const std::vector<std::string>& words);
    bool get(const std::vector<std::string>& words);
    bool set(const std::vector<std::string>& words);
    bool add(const std::vector<std::string>& words);
    bool remove(const std::vector<std::string>& words);
    bool undo(const std::vector<std::string>& words);
    bool redo(const std::vector<std::string>& words);
    bool history(const std::vector<std::string>& words);
    bool save(const std::vector<std::string>& words);
    bool quit(const std::vector<std::string>& words);

    // What the property commands act on: the selection's combined object,
    // the one selected object, or the scene.
    orv::ReflectedObject target() const;
    std::string targetName() const;
    // The property `path` names below the target; says so when there is none.
    orv::BoundProperty property(const std::string& path) const;
    // The list `path` names below the target; says so when there is none.
    orv::ReflectedObject listAt(const std::string& path) const;
    // The object `path` names below the scene; says so when there is none
    // (unless `quiet`).
    orv::ReflectedObject objectAt(const std::string& path, orv::BoundProperty& holder,
                                  bool quiet = false) const;
    // Selects the objects at `paths`; a path naming no object fails the
    // whole selection, or is left out when `dropMissing`.
    bool selectPaths(const std::vector<std::string>& paths, bool dropMissing);
    void clearSelection();
    // Undoes or redoes one step, the selection found again afterwards.
    bool replay(bool undo);
    void printTree(const orv::BaseObjectTrackerItem& item, int depth, bool combined) const;
    // The undo step's name: what was done, to which property, of what.
    std::string stepName(const std::string& verb, const std::string& path) const;
    bool fail(const std::string& message) const;

    std::ostream& m_out;
    Scene m_scene;
    orv::ReflectedObject m_root;
    std::filesystem::path m_file;
    Kor::UndoHistory m_history;
    Kor::UndoHistory::ThreadAttachment m_attachment{m_history};
    std::vector<std::string> m_selected;
    std::unique_ptr<orv::MultiSelection> m_selection;
    orv::ReflectedObject m_selectedObject;
    bool m_finished = false;
};

} // namespace inspector
