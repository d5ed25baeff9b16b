#include "examples/inspector/inspector.hpp"

#include "orv_cpp_utils/wildcard.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/variant_stream.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"

#include <algorithm>
#include <optional>
#include <ostream>
#include <sstream>

namespace inspector {
namespace {

// Words separated by blanks; a double-quoted stretch is one word, quotes kept.
std::optional<std::vector<std::string>> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        word += c;
        if (c == '\\' && quoted && i + 1 < line.size())
            word += line[++i];
        else if (c == '"')
            quoted = !quoted;
    }
    if (quoted)
        return std::nullopt;
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

// A word without the quotes around it, if it has them.
std::string unquoted(const std::string& word) {
    return word.size() >= 2 && word.front() == '"' && word.back() == '"' ? word.substr(1, word.size() - 2)
                                                                         : word;
}

std::string join(const std::vector<std::string>& words, size_t from) {
    std::string text;
    for (size_t i = from; i < words.size(); ++i)
        text += (i > from ? " " : "") + words[i];
    return text;
}

// `text` read as a value of the type `like` holds, the whole text or nothing.
// Strings may be typed with or without quotes.
std::optional<tavi::Variant> parseValue(const std::string& text, const tavi::Variant& like) {
    const bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
    if (like.isType<std::string>() && !quoted)
        return tavi::Variant(text);
    tavi::Variant value = like.isVoid() && quoted ? tavi::Variant(std::string()) : like;
    if (value.isVoid()) // an element of a list of any values: a number if it reads as one
        for (tavi::Variant number : {tavi::Variant(int32_t(0)), tavi::Variant(0.0)})
            if (std::optional<tavi::Variant> parsed = parseValue(text, number))
                return parsed;
    if (value.isVoid())
        return tavi::Variant(text);
    tavi::FixedMemoryStream memory{std::string_view(text)};
    tavi::TextStream stream(memory);
    stream >> value;
    stream.skipWhiteSpace();
    if (stream.fail() || memory.tell() != static_cast<long long>(text.size()))
        return std::nullopt;
    return value;
}

// The last diagnostic caught, on one line.
std::string lastMessage(const Kor::MessageCapture& capture) {
    const std::vector<Kor::DebugMessage> messages = capture.messages();
    if (messages.empty())
        return "unknown reason";
    std::string text = messages.back().text;
    if (text.rfind("orv::", 0) == 0 && text.find(": ") != std::string::npos) // the reporting function's name
        text.erase(0, text.find(": ") + 2);
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

bool shownInPanel(const orv::BoundProperty& property) {
    return property.visibility().test(orv::meta_property::VisibilityFlag::PropertyPanel);
}

// A value as a panel row shows it: in a combined panel, values that differ
// between the selected objects read as void and are marked.
std::string rowValue(const orv::BoundProperty& property, bool combined) {
    if (property.get().isVoid() && !orv::heldObject(property).isValid())
        return combined ? "<differs>" : "(no value)";
    return orv::displayText(property);
}

// An object in one phrase: "3 items" for a list, else its type and, when it
// has one, its name ("Light \"Key light\"").
std::string describe(const orv::ReflectedObject& object) {
    if (object.annotations().contain("Meta::Collection")) {
        const size_t count = object.propertyCount();
        return count == 0 ? std::string("(empty)")
                          : std::to_string(count) + (count == 1 ? " item" : " items");
    }
    std::string text = object.findPropertyByName("_typeName").isValid() || !object.metaObject()
                           ? object.getTypeIdentificator()
                           : object.metaObject()->name();
    if (const orv::BoundProperty name = object.findPropertyByName("name"); name.isValid())
        if (const tavi::Variant value = name.get();
            value.isType<std::string>() && !value.cast<std::string>().empty())
            text += " \"" + value.cast<std::string>() + '"';
    return text;
}

// A property's value in one phrase, an object's described.
std::string entryText(const orv::BoundProperty& property, bool combined) {
    const orv::ReflectedObject held = orv::heldObject(property);
    return held.isValid() ? describe(held) : rowValue(property, combined);
}

std::string typeName(const tavi::Variant& value) {
    return value.isVoid() ? std::string("value") : std::string(value.typeName());
}

// The ranges a slider would offer: "[0, 10] of [0, 100]".
std::string rangeText(const orv::BoundProperty& property) {
    const Meta::Validator::Range soft = Meta::Validator::RangeProbe::query(property);
    const Meta::Validator::Range hard =
        Meta::Validator::RangeProbe::query(property, orv::SetterFlag::SecondRange);
    if (!soft || !property.validator())
        return {};
    const auto text = [](const Meta::Validator::Range& range) {
        return "[" + orv::valueText(range->first) + ", " + orv::valueText(range->second) + "]";
    };
    return hard ? text(soft) + " of " + text(hard) : text(soft);
}

} // namespace

// --- commands ------------------------------------------------------------------------

const std::vector<Inspector::Command>& Inspector::commands() {
    // Name, arguments, the least and most words after the name (-1: any
    // number), help, and the member that runs it.
    static const std::vector<Command> s_commands = {
        {"help", "", 0, 0, "this list", &Inspector::help},
        {"tree", "", 0, 0, "the scene as a tree of grouped properties", &Inspector::tree},
        {"list", "[pattern]", 0, 1, "properties of the selection matching a pattern (* ? ** ***)",
         &Inspector::list},
        {"find", "<pattern>", 1, 1, "properties anywhere in the scene whose name matches", &Inspector::find},
        {"select", "[path...]", 0, -1, "select objects by path (none: the scene)", &Inspector::select},
        {"panel", "", 0, 0, "the selection's properties; differing values marked", &Inspector::panel},
        {"get", "<property>", 1, 1, "a property's value", &Inspector::get},
        {"set", "<property> <value>", 2, -1, "write a value through the property's validator",
         &Inspector::set},
        {"add", "<list> [value]", 1, -1, "append an element to a list (a type name makes an object)",
         &Inspector::add},
        {"remove", "<list> <index>", 2, 2, "remove an element from a list", &Inspector::remove},
        {"undo", "", 0, 0, "take the last step back", &Inspector::undo},
        {"redo", "", 0, 0, "do the last undone step again", &Inspector::redo},
        {"history", "", 0, 0, "the steps that can be undone and redone", &Inspector::history},
        {"save", "[file]", 0, 1, "write the scene (to its own file by default)", &Inspector::save},
        {"quit", "", 0, 0, "end the session", &Inspector::quit},
    };
    return s_commands;
}

Inspector::Inspector(std::ostream& out) : m_out(out), m_root(tavi::Variant(&m_scene)) {}

Inspector::~Inspector() {
    // The selection refers to the scene's objects: it goes first.
    clearSelection();
}

std::string Inspector::stepName(const std::string& verb, const std::string& path) const {
    return verb + ' ' + path + (m_selected.empty() ? std::string() : " of " + targetName());
}

bool Inspector::fail(const std::string& message) const {
    m_out << "error: " << message << '\n';
    return false;
}

bool Inspector::load(const std::filesystem::path& path) {
    tavi::Variant target(&m_scene);
    Kor::MessageCapture reasons; // the reader says why through diagnostics
    if (!orv::readXmlFile(path, target))
        return fail("cannot load " + path.string() + ": " + lastMessage(reasons));
    for (const Kor::DebugMessage& message : reasons.messages()) // nothing read is kept quiet
        m_out << "warning: " << message.text << '\n';
    m_file = path;
    m_history.clear();
    m_out << "loaded " << path.string() << ": scene \"" << m_scene.name << "\" with " << m_scene.nodes.size()
          << " nodes\n";
    return true;
}

bool Inspector::execute(const std::string& line) {
    const std::optional<std::vector<std::string>> split = splitWords(line);
    if (!split)
        return fail("a quote is not closed");
    const std::vector<std::string>& words = *split;
    if (words.empty() || words.front().front() == '#')
        return true;
    for (const Command& command : commands()) {
        if (words.front() != command.name)
            continue;
        const int arguments = int(words.size()) - 1;
        if (arguments < command.leastArguments ||
            (command.mostArguments >= 0 && arguments > command.mostArguments))
            return fail(std::string("usage: ") + command.name + (*command.arguments ? " " : "") +
                        command.arguments);
        return (this->*command.run)(words);
    }
    return fail("unknown command '" + words.front() + "' (try 'help')");
}

bool Inspector::help(const std::vector<std::string>&) {
    for (const Command& command : commands())
        m_out << "  " << command.name << (*command.arguments ? " " : "") << command.arguments << "  -  "
              << command.help << '\n';
    return true;
}

bool Inspector::quit(const std::vector<std::string>&) {
    m_finished = true;
    return true;
}

// --- what commands act on ------------------------------------------------------------

orv::ReflectedObject Inspector::target() const {
    if (m_selection)
        return m_selection->object();
    return m_selectedObject.isValid() ? m_selectedObject : m_root;
}

std::string Inspector::targetName() const {
    if (m_selected.empty())
        return "the scene";
    std::string names;
    for (const std::string& path : m_selected)
        names += (names.empty() ? "" : ", ") + path;
    return names;
}

orv::BoundProperty Inspector::property(const std::string& path) const {
    orv::BoundProperty found = target().findPropertyByName(path);
    if (!found.isValid())
        fail("no property '" + path + "' in " + targetName());
    return found;
}

orv::ReflectedObject Inspector::objectAt(const std::string& path, orv::BoundProperty& holder,
                                         bool quiet) const {
    holder = m_root.findPropertyByName(path);
    const orv::ReflectedObject object = holder.isValid() ? orv::heldObject(holder) : orv::ReflectedObject();
    if (!object.isValid() && !quiet)
        fail(holder.isValid() ? "'" + path + "' is not an object" : "no object at '" + path + "'");
    return object;
}

orv::ReflectedObject Inspector::listAt(const std::string& path) const {
    const orv::BoundProperty holder = property(path);
    if (!holder.isValid())
        return {};
    const orv::ReflectedObject list = orv::heldObject(holder);
    if (!list.isValid() || !list.annotations().contain("Meta::Collection")) {
        fail("'" + path + "' is not a list");
        return {};
    }
    return list;
}

// --- showing -------------------------------------------------------------------------

// A tracker item per property: the tree follows the objects as they change,
// so a panel printed later shows added, removed and replaced rows.
class Inspector::PanelRow : public orv::BaseObjectTrackerItem {
protected:
    std::unique_ptr<orv::BaseObjectTrackerItem> createChild() override {
        return std::make_unique<PanelRow>();
    }
};

void Inspector::printTree(const orv::BaseObjectTrackerItem& item, int depth, bool combined) const {
    std::vector<std::string> open; // the group headings printed so far at this level
    for (const auto& child : item.children()) {
        const orv::BoundProperty& property = child->property();
        if (!shownInPanel(property))
            continue;
        const std::vector<std::string> groups = orv::groupPath(property);
        size_t common = 0;
        while (common < open.size() && common < groups.size() && open[common] == groups[common])
            ++common;
        for (size_t i = common; i < groups.size(); ++i)
            m_out << std::string(2 * (depth + i), ' ') << '[' << groups[i] << "]\n";
        open = groups;
        const std::string indent(2 * (depth + groups.size()), ' ');
        const orv::Annotations annotations = property.annotations();
        if (property.isMethod()) {
            m_out << indent << orv::caption(property) << "()\n";
            continue;
        }
        if (const orv::ReflectedObject held = orv::heldObject(property)) {
            const auto* grid = orv::findAnnotation<Meta::Grid>(annotations);
            if (grid && !child->children().empty()) { // one row of cells
                m_out << indent << orv::caption(property) << ':';
                for (const auto& cell : child->children())
                    if (shownInPanel(cell->property()))
                        m_out << "  " << orv::caption(cell->property()) << ' '
                              << rowValue(cell->property(), combined);
                m_out << '\n';
                continue;
            }
            m_out << indent << orv::caption(property) << ": " << describe(held) << '\n';
            printTree(*child, depth + int(groups.size()) + 1, combined);
            continue;
        }
        const std::string value = rowValue(property, combined);
        std::string notes;
        if (!orv::isEditable(property))
            notes += "  (read-only)";
        if (const std::string range = rangeText(property); !range.empty())
            notes += "  range " + range;
        if (const auto* tip = orv::findAnnotation<Meta::ToolTip>(annotations); tip && tip->function)
            notes += "  -- " + tip->function(property);
        m_out << indent << orv::caption(property) << " = " << value << notes << '\n';
    }
}

bool Inspector::tree(const std::vector<std::string>&) {
    PanelRow root;
    root.setObject(m_root);
    m_out << "Scene \"" << m_scene.name << "\"\n";
    printTree(root, 1, false);
    return true;
}

bool Inspector::panel(const std::vector<std::string>&) {
    PanelRow root;
    root.setObject(target());
    m_out << "Panel of " << targetName() << (m_selection ? " (combined)" : "") << '\n';
    printTree(root, 1, m_selection != nullptr);
    return true;
}

bool Inspector::list(const std::vector<std::string>& words) {
    const std::string pattern = words.size() > 1 ? words[1] : "*";
    size_t count = 0;
    for (const orv::BoundProperty& found : target().properties(pattern)) {
        m_out << "  " << orv::PersistentProperty(found).path() << " = " << orv::displayText(found) << '\n';
        ++count;
    }
    if (count == 0)
        m_out << "  no property of " << targetName() << " matches '" << pattern << "'\n";
    return true;
}

bool Inspector::find(const std::vector<std::string>& words) {
    size_t count = 0;
    for (const orv::BoundProperty& found : m_root.properties("***")) {
        if (!zel::wildcardMatch(words[1], found.name(), zel::WildcardFlag::CaseInsensitive))
            continue;
        m_out << "  " << orv::PersistentProperty(found).path() << " = " << orv::displayText(found) << '\n';
        ++count;
    }
    m_out << "  " << count << " found\n";
    return true;
}

// --- selecting -----------------------------------------------------------------------

bool Inspector::select(const std::vector<std::string>& words) {
    if (!selectPaths({words.begin() + 1, words.end()}, false))
        return false;
    m_out << "selected " << targetName() << '\n';
    return true;
}

bool Inspector::selectPaths(const std::vector<std::string>& paths, bool dropMissing) {
    std::vector<std::string> kept;
    std::vector<std::pair<orv::ReflectedObject, orv::BoundProperty>> picked;
    for (const std::string& path : paths) {
        orv::BoundProperty holder;
        const orv::ReflectedObject object = objectAt(path, holder, dropMissing);
        if (!object.isValid() && !dropMissing)
            return false;
        if (object.isValid()) {
            kept.push_back(path);
            picked.emplace_back(object, holder);
        }
    }
    clearSelection();
    m_selected = std::move(kept);
    if (picked.size() == 1) {
        m_selectedObject = picked.front().first;
    } else if (picked.size() > 1) {
        m_selection = std::make_unique<orv::MultiSelection>(orv::MultiSelection::Mode::Intersection);
        for (const auto& [object, holder] : picked)
            m_selection->merge(object, holder);
    }
    return true;
}

void Inspector::clearSelection() {
    m_selection.reset();
    m_selectedObject = {};
    m_selected.clear();
}

bool Inspector::replay(bool undo) {
    const std::string name = undo ? m_history.undoName() : m_history.redoName();
    // A step may take away a selected object (an added node, say): the
    // selection lets go of every object first and finds them again after.
    const std::vector<std::string> selected = m_selected;
    clearSelection();
    const bool done = undo ? m_history.undo() : m_history.redo();
    selectPaths(selected, true);
    if (!done)
        return fail(std::string(undo ? "undo" : "redo") + " of \"" + name + "\" did not complete");
    m_out << (undo ? "  undone \"" : "  redone \"") << name << "\"\n";
    if (m_selected.size() != selected.size())
        m_out << "  selected " << targetName() << " (the rest is gone)\n";
    return true;
}

// --- reading and writing -------------------------------------------------------------

bool Inspector::get(const std::vector<std::string>& words) {
    const orv::BoundProperty found = property(words[1]);
    if (!found.isValid())
        return false;
    m_out << "  " << words[1] << " = " << entryText(found, m_selection != nullptr) << '\n';
    return true;
}

bool Inspector::set(const std::vector<std::string>& words) {
    const orv::BoundProperty found = property(words[1]);
    if (!found.isValid())
        return false;
    if (!orv::isEditable(found))
        return fail("'" + words[1] + "' cannot be edited here");
    const std::string text = join(words, 2);
    tavi::Variant like = found.get();
    if (like.isVoid() && m_selection) // differing values: read as the first object's type
        like = m_selection->subObjects().front().findPropertyByName(words[1]).get();
    const std::optional<tavi::Variant> value = parseValue(text, like);
    if (!value)
        return fail("cannot read '" + text + "' as " + typeName(like));
    // Ask the validator first, to say why a value is refused.
    if (const orv::Validator validate = found.validator()) {
        tavi::Variant probe = *value;
        std::string why;
        if (!validate(found, probe, {}, why))
            return fail("refused: " + (why.empty() ? std::string("the value is out of range") : why));
    }
    bool written;
    {
        Kor::CommitChangesScope step(stepName("Set", words[1]));
        written = found.set(*value);
    }
    if (!written)
        return fail("refused: '" + words[1] + "' did not take " + text);
    const std::string shown = orv::displayText(found);
    m_out << "  " << words[1] << " = " << shown
          << (shown != orv::valueText(*value) ? "  (adjusted by the validator)" : "") << '\n';
    return true;
}

bool Inspector::add(const std::vector<std::string>& words) {
    const orv::ReflectedObject list = listAt(words[1]);
    if (!list.isValid())
        return false;
    // The value is read as the list's elements are (a new list: a number or
    // a text); in a list of any values, a type's name makes a new object.
    tavi::Variant value;
    if (words.size() > 2) {
        const std::string text = join(words, 2);
        const tavi::Variant like = list.propertyCount() ? list.propertyAt(0).get() : tavi::Variant();
        orv::MetaObject* type = orv::MetaObjectManager::instance().findType(text.c_str());
        if (type && (like.isVoid() || like.isPointer()))
            value = type->create();
        else if (const std::optional<tavi::Variant> parsed = parseValue(text, like))
            value = *parsed;
        else
            return fail("cannot read '" + text + "' as " + typeName(like));
    }
    orv::BoundProperty element;
    {
        Kor::CommitChangesScope step(stepName("Add to", words[1]));
        element = list.addProperty(tavi::Variant(int32_t(list.propertyCount())), value);
    }
    if (!element.isValid())
        return fail("'" + words[1] + "' did not take the new element");
    m_out << "  " << words[1] << '.' << element.name() << " = " << entryText(element, false) << '\n';
    return true;
}

bool Inspector::remove(const std::vector<std::string>& words) {
    const orv::ReflectedObject list = listAt(words[1]);
    if (!list.isValid())
        return false;
    const std::optional<tavi::Variant> index = parseValue(words[2], tavi::Variant(int64_t(0)));
    if (!index || index->cast<int64_t>() < 0 || size_t(index->cast<int64_t>()) >= list.propertyCount())
        return fail("'" + words[1] + "' has no element " + words[2] + " (it has " +
                    std::to_string(list.propertyCount()) + ")");
    bool removed;
    {
        Kor::CommitChangesScope step(stepName("Remove from", words[1]));
        removed = list.removePropertyAt(size_t(index->cast<int64_t>()));
    }
    if (!removed)
        return fail("'" + words[1] + "' refused to remove element " + words[2]);
    m_out << "  removed " << words[1] << '.' << words[2] << '\n';
    return true;
}

// --- history -------------------------------------------------------------------------

bool Inspector::undo(const std::vector<std::string>&) {
    return m_history.canUndo() ? replay(true) : fail("nothing to undo");
}

bool Inspector::redo(const std::vector<std::string>&) {
    return m_history.canRedo() ? replay(false) : fail("nothing to redo");
}

bool Inspector::history(const std::vector<std::string>&) {
    const std::vector<std::string> undo = m_history.undoNames(), redo = m_history.redoNames();
    if (undo.empty() && redo.empty())
        m_out << "  (no steps)\n";
    for (const std::string& name : redo)
        m_out << "    redo: " << name << '\n';
    for (auto name = undo.rbegin(); name != undo.rend(); ++name)
        m_out << (name == undo.rbegin() ? "  > " : "    ") << "undo: " << *name << '\n';
    return true;
}

bool Inspector::save(const std::vector<std::string>& words) {
    const std::filesystem::path path = words.size() > 1 ? std::filesystem::path(unquoted(words[1])) : m_file;
    if (path.empty())
        return fail("usage: save <file> (the scene has no file yet)");
    Kor::MessageCapture reasons;
    if (!orv::writeXmlFile(path, tavi::Variant(&m_scene)))
        return fail("cannot save " + path.string() + ": " + lastMessage(reasons) +
                    " (the previous file is unchanged)");
    m_file = path;
    m_out << "  saved " << path.string() << '\n';
    return true;
}

} // namespace inspector
