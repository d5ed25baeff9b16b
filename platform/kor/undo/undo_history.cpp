#include "platform/kor/undo/undo_history.hpp"

#include "platform/corekit/diagnostics.hpp"

#include <utility>

namespace Kor {
namespace {

thread_local UndoHistory* t_attached = nullptr;

} // namespace

UndoHistory::ThreadAttachment::ThreadAttachment(UndoHistory& history)
    : m_previous(std::exchange(t_attached, &history)) {}

UndoHistory::ThreadAttachment::~ThreadAttachment() { t_attached = m_previous; }

UndoHistory::~UndoHistory() {
    // Only this thread can be checked; a history must outlive the scopes and
    // attachments of other threads that use it.
    if (CommitChangesScope::Transaction* open = CommitChangesScope::transaction();
        open && open->m_history == this) {
        warningMessage(
            "Kor::UndoHistory: destroyed while a transaction for it is open; that transaction is dropped");
        open->m_history = nullptr;
    }
    if (t_attached == this) {
        warningMessage("Kor::UndoHistory: destroyed while attached to this thread");
        t_attached = nullptr;
    }
}

UndoHistory* UndoHistory::current() { return t_attached; }

bool UndoHistory::undo() { return replay(m_undo, CommitChangesScope::Purpose::Undo); }

bool UndoHistory::redo() { return replay(m_redo, CommitChangesScope::Purpose::Redo); }

std::string UndoHistory::undoName() const { return m_undo.empty() ? std::string() : m_undo.back()->name(); }

std::string UndoHistory::redoName() const { return m_redo.empty() ? std::string() : m_redo.back()->name(); }

std::vector<std::string> UndoHistory::namesOf(const Stack& stack) {
    std::vector<std::string> names;
    names.reserve(stack.size());
    for (const auto& entry : stack)
        names.push_back(entry->name());
    return names;
}

void UndoHistory::clear() {
    m_undo.clear();
    m_redo.clear();
}

void UndoHistory::accept(std::unique_ptr<utils::CompositeCommand> entry,
                         CommitChangesScope::Purpose purpose) {
    switch (purpose) {
        case CommitChangesScope::Purpose::Change:
            // A new change starts a new branch: what was undone cannot be redone on top of it.
            m_redo.clear();
            m_undo.push_back(std::move(entry));
            break;
        case CommitChangesScope::Purpose::Undo:
            m_redo.push_back(std::move(entry));
            break;
        case CommitChangesScope::Purpose::Redo:
            m_undo.push_back(std::move(entry));
            break;
    }
}

bool UndoHistory::replay(Stack& from, CommitChangesScope::Purpose purpose) {
    const bool undoing = purpose == CommitChangesScope::Purpose::Undo;
    const char* const operation = undoing ? "undo" : "redo";
    if (from.empty()) {
        warningMessage("Kor::UndoHistory::%s: nothing to %s", operation, operation);
        return false;
    }
    // The opposite commands must form an entry of their own; inside an open
    // transaction they would be mixed into that one.
    if (CommitChangesScope::transaction()) {
        errorMessage("Kor::UndoHistory::%s: a commit scope is open on this thread", operation);
        return false;
    }

    std::unique_ptr<utils::CompositeCommand> entry = std::move(from.back());
    from.pop_back();
    bool applied = false;
    {
        CommitChangesScope scope(this, entry->name(), CommitChangesScope::Mode::Record, purpose);
        applied = entry->execute();
    }
    if (!applied)
        errorMessage("Kor::UndoHistory::%s: '%s' was not %s completely", operation, entry->name().c_str(),
                     undoing ? "undone" : "redone");
    return applied;
}

} // namespace Kor
