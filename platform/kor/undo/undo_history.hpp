#pragma once
// Undo and redo stacks of committed transactions.
//
// Replay. undo() takes the newest undo entry and executes its composite inside
// a new transaction of its own. The composite runs front to back, i.e. newest
// recorded command first, so the changes of the entry are taken back in the
// reverse order of their making. Each command writes through the ordinary
// paths, which record the opposite commands in that new transaction; it is
// committed as one entry (with the undone entry's name) onto the redo stack.
// redo() is the same with the stacks exchanged. Replaying therefore records;
// it never suppresses undo recording.
//
// Entries whose replay fails part-way are still consumed: what was applied is
// what the opposite entry takes back, so the two stacks keep describing the
// real state. The failure is reported and undo()/redo() return false.
//
// A history belongs to one thread at a time; it is not locked.

#include "platform/kor/undo/command.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace Kor {

class UndoHistory {
public:
    // Makes `history` the one that scopes opened on this thread commit to,
    // unless a scope names its own. The previous attachment comes back when
    // the guard goes.
    class ThreadAttachment {
    public:
        explicit ThreadAttachment(UndoHistory& history);
        ~ThreadAttachment();
        ThreadAttachment(const ThreadAttachment&) = delete;
        ThreadAttachment& operator=(const ThreadAttachment&) = delete;

    private:
        UndoHistory* m_previous;
    };

    UndoHistory() = default;
    // Scopes refer to a history by address, so it stays where it is.
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;
    ~UndoHistory();

    // The history attached to this thread, or null.
    static UndoHistory* current();

    // Replay the newest undo (redo) entry; false when there is none, when a
    // commit scope is open on this thread, or when a command failed.
    bool undo();
    bool redo();

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // Name of the entry the next undo() (redo()) replays; empty when none.
    std::string undoName() const;
    std::string redoName() const;
    // Names of all undo (redo) entries, the next one to replay last.
    std::vector<std::string> undoNames() const { return namesOf(m_undo); }
    std::vector<std::string> redoNames() const { return namesOf(m_redo); }
    std::size_t undoCount() const { return m_undo.size(); }
    std::size_t redoCount() const { return m_redo.size(); }
    void clear();

private:
    friend class CommitChangesScope;
    using Stack = std::vector<std::unique_ptr<utils::CompositeCommand>>;

    void accept(std::unique_ptr<utils::CompositeCommand> entry, CommitChangesScope::Purpose purpose);
    bool replay(Stack& from, CommitChangesScope::Purpose purpose);
    static std::vector<std::string> namesOf(const Stack& stack);

    Stack m_undo;
    Stack m_redo;
};

} // namespace Kor
