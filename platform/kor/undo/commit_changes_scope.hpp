#pragma once
// Undo transactions.
//
// A CommitChangesScope brackets one user-level change. The outermost scope on
// a thread opens a transaction; the write paths executed meanwhile record the
// commands that take their changes back (makeUndo / makeUniqueUndo). Nested
// scopes join the open transaction. When the outermost scope closes, a
// transaction that recorded something becomes one entry of the undo history it
// was opened for; an empty one is dropped. Every thread has its own scopes and
// its own transaction.

#include "platform/kor/undo/command.hpp"
#include "platform/variant/variant.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Kor {

class UndoHistory;

class CommitChangesScope {
    // Where a closed transaction goes: a new change, or the opposite of an
    // entry the history is replaying.
    enum class Purpose { Change, Undo, Redo };

public:
    enum class Mode {
        Record,
        // Nothing is recorded while this scope is open, even if it joins a
        // recording transaction: the changes made meanwhile are not undoable.
        IgnoreUndos,
    };

    // Keys of UniqueCommands: Variants, also looked up by the plain value a
    // Variant would hold, so that a write finding its change already
    // recorded makes no Variant (which may allocate).
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(const tavi::Variant& key) const { return key.hash(); }
        template <class T>
        size_t operator()(const T& key) const {
            return tavi::Variant::hashOf(key);
        }
    };
    struct KeyEqual {
        using is_transparent = void;
        bool operator()(const tavi::Variant& a, const tavi::Variant& b) const { return a == b; }
        template <class T>
        bool operator()(const tavi::Variant& a, const T& b) const {
            return a.equals(b);
        }
        template <class T>
        bool operator()(const T& a, const tavi::Variant& b) const {
            return b.equals(a);
        }
    };

    // The command recorded for a key (a property, an element...) in the open
    // transaction, so that one change is recorded once however often it is
    // made. The commands are owned by the transaction's composite.
    using UniqueCommands = std::unordered_map<tavi::Variant, utils::Command*, KeyHash, KeyEqual>;

    class Transaction {
    public:
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;

        // The composite that records, or null while recording is suppressed.
        // Commands go to its front: it reads newest first.
        utils::CompositeCommand* command() { return m_ignoreDepth == 0 ? m_command.get() : nullptr; }
        UniqueCommands& uniqueCommands() { return m_uniqueCommands; }
        // The name given by the first scope that named it; may be empty.
        const std::string& name() const { return m_name; }

    private:
        friend class CommitChangesScope;
        friend class UndoHistory;
        Transaction() = default;

        std::unique_ptr<utils::CompositeCommand> m_command = std::make_unique<utils::CompositeCommand>();
        // Inserts `key` (not in the table) with its command, in a node kept
        // from an earlier transaction when there is one.
        void remember(tavi::Variant key, utils::Command* command);
        // Empties the table, keeping a few nodes for the next transaction.
        void forgetCommands();

        UniqueCommands m_uniqueCommands;
        std::vector<UniqueCommands::node_type> m_spareNodes;
        std::string m_name;
        UndoHistory* m_history = nullptr;
        Purpose m_purpose = Purpose::Change;
        std::size_t m_ignoreDepth = 0;
    };

    // Opens a scope that commits to the history attached to this thread
    // (UndoHistory::ThreadAttachment), if any.
    CommitChangesScope() : CommitChangesScope(nullptr, {}, Mode::Record) {}
    explicit CommitChangesScope(Mode mode) : CommitChangesScope(nullptr, {}, mode) {}
    explicit CommitChangesScope(std::string name, Mode mode = Mode::Record)
        : CommitChangesScope(nullptr, std::move(name), mode) {}
    // Opens a scope that commits to `history`, whatever is attached.
    explicit CommitChangesScope(UndoHistory& history, std::string name = {}, Mode mode = Mode::Record)
        : CommitChangesScope(&history, std::move(name), mode) {}

    CommitChangesScope(const CommitChangesScope&) = delete;
    CommitChangesScope& operator=(const CommitChangesScope&) = delete;
    // Closing the outermost scope commits, also while an exception unwinds:
    // the changes made up to then did happen and stay undoable.
    ~CommitChangesScope();

    // The open transaction of this thread, or null outside every scope.
    // Inline: every property write asks.
    static Transaction* transaction() noexcept;
    // True while a transaction is open whose recording is suppressed.
    static bool ignoresUndos();

    // Records a new C(args...) at the front of the recording composite.
    // Returns it, or null (and creates nothing) when nothing records.
    template <typename C, typename... Args>
    static C* makeUndo(Args&&... args) {
        Transaction* current = transaction();
        utils::CompositeCommand* composite = current ? current->command() : nullptr;
        if (!composite)
            return nullptr;
        auto command = std::make_unique<C>(std::forward<Args>(args)...);
        C* raw = command.get();
        return composite->push_front(std::move(command)) ? raw : nullptr;
    }

    // As makeUndo, but only when nothing was recorded under `key` in this
    // transaction yet; then the command is remembered under the key. So the
    // first recording wins and keeps the oldest state. Returns the command
    // now recorded under the key (new or earlier), or null when nothing
    // records. `key` is a Variant or a value a Variant would hold.
    template <typename C, typename Key, typename... Args>
    static utils::Command* makeUniqueUndo(const Key& key, Args&&... args) {
        Transaction* current = transaction();
        utils::CompositeCommand* composite = current ? current->command() : nullptr;
        if (!composite)
            return nullptr;
        UniqueCommands& recorded = current->uniqueCommands();
        if (utils::Command* earlier = recordedUnder(recorded, key))
            return earlier;
        // The key goes in only once the command exists: its constructor is
        // user code, which may record other keys (rehashing the table) or even
        // this one.
        auto command = std::make_unique<C>(std::forward<Args>(args)...);
        if (utils::Command* earlier = recordedUnder(recorded, key))
            return earlier;
        utils::Command* raw = command.get();
        if (!composite->push_front(std::move(command)))
            return nullptr;
        current->remember(tavi::Variant(key), raw);
        return raw;
    }

    // The command recorded under `key` in the transaction that is recording
    // now; null when there is none or nothing records.
    template <typename Key>
    static utils::Command* recordedUndo(const Key& key) {
        Transaction* current = transaction();
        return current && current->command() ? recordedUnder(current->uniqueCommands(), key) : nullptr;
    }

private:
    friend class UndoHistory;

    template <typename Key>
    static utils::Command* recordedUnder(const UniqueCommands& recorded, const Key& key) {
        const auto it = recorded.find(key);
        return it == recorded.end() ? nullptr : it->second;
    }

    CommitChangesScope(UndoHistory* history, std::string name, Mode mode)
        : CommitChangesScope(history, std::move(name), mode, Purpose::Change) {}
    CommitChangesScope(UndoHistory* history, std::string name, Mode mode, Purpose purpose);

    bool m_ignoring = false;
};

namespace commit_changes_scope_details {
// The open transaction of this thread, mirrored where a read is one plain
// thread-local load (the scope stack itself has a destructor, so reading it
// from another library would go through an initialisation wrapper).
extern thread_local constinit CommitChangesScope::Transaction* t_transaction;
} // namespace commit_changes_scope_details

inline CommitChangesScope::Transaction* CommitChangesScope::transaction() noexcept {
    return commit_changes_scope_details::t_transaction;
}

} // namespace Kor
