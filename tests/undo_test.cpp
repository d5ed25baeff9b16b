// Undo commands, commit scopes and the undo history, exercised on a tiny
// model: integer slots whose set() records, once per slot and transaction, a
// command that writes the old value back through the same set().

#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/undo/command.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Kor::CommitChangesScope;
using Kor::UndoHistory;
using Kor::utils::Command;

std::vector<std::string> g_log;

struct Slot {
    std::string label;
    int value = 0;

    void set(int v);
};

class RestoreSlot : public Command {
public:
    RestoreSlot(Slot& slot, int value) : Command("Change " + slot.label), m_slot(&slot), m_value(value) {}

    bool execute() override {
        m_slot->set(m_value);
        return true;
    }

private:
    Slot* m_slot;
    int m_value;
};

void Slot::set(int v) {
    CommitChangesScope::makeUniqueUndo<RestoreSlot>(tavi::Variant(label), *this, value);
    g_log.push_back(label + "=" + std::to_string(v));
    value = v;
}

// Logs its execution and fails if told to.
class LogCommand : public Command {
public:
    LogCommand(std::string name, bool succeeds = true, Flags flags = {})
        : Command(std::move(name), flags), m_succeeds(succeeds) {}
    bool execute() override {
        g_log.push_back(name());
        return m_succeeds;
    }
    std::unique_ptr<Command> clone() const override { return std::make_unique<LogCommand>(*this); }

private:
    bool m_succeeds;
};

class UndoTest : public ::testing::Test {
protected:
    void SetUp() override { g_log.clear(); }

    UndoHistory history;
    UndoHistory::ThreadAttachment attachment{history};
    Slot a{"a"};
    Slot b{"b"};
};

TEST_F(UndoTest, NestedScopesFormOneTransactionPerThread) {
    a.set(1); // no scope: nothing recorded
    {
        CommitChangesScope outer("Edit");
        CommitChangesScope::Transaction* transaction = CommitChangesScope::transaction();
        {
            CommitChangesScope inner("Inner");
            EXPECT_EQ(CommitChangesScope::transaction(), transaction);
            b.set(2);
        }
        std::thread([&] { transaction = CommitChangesScope::transaction(); }).join();
        EXPECT_EQ(transaction, nullptr);
        EXPECT_FALSE(history.canUndo());
    }
    EXPECT_EQ(history.undoCount(), 1u);
    EXPECT_EQ(history.undoName(), "Edit");
}

// While it is built, changes `others` and then `own`: user code that records
// under other keys (growing the table of unique commands) and under its own.
class BusyCommand : public Command {
public:
    BusyCommand(Slot& own, std::vector<Slot>& others) : Command("Busy") {
        for (Slot& other : others)
            other.set(other.value + 1);
        own.set(own.value + 1);
    }
    bool execute() override { return true; }
};

TEST_F(UndoTest, UniqueCommandSurvivesRecordingsMadeWhileItIsBuilt) {
    std::vector<Slot> others;
    for (int i = 0; i < 64; ++i)
        others.push_back(Slot{"o" + std::to_string(i)});
    {
        CommitChangesScope scope("Busy");
        CommitChangesScope::Transaction* transaction = CommitChangesScope::transaction();
        const size_t buckets = transaction->uniqueCommands().bucket_count();
        const tavi::Variant key(std::string("a"));
        Command* recorded = CommitChangesScope::makeUniqueUndo<BusyCommand>(key, a, others);
        EXPECT_GT(transaction->uniqueCommands().bucket_count(), buckets); // rehashed meanwhile
        // The key got its command first from within: that one stands, once.
        EXPECT_EQ(transaction->uniqueCommands().at(key), recorded);
        EXPECT_NE(dynamic_cast<RestoreSlot*>(recorded), nullptr);
        EXPECT_EQ(transaction->command()->size(), others.size() + 1);
    }
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(a.value, 0);
    EXPECT_EQ(others.back().value, 0);
}

TEST_F(UndoTest, UndoRestoresOldestValuesNewestFirstRedoOldestFirstAndNewCommitsClearRedo) {
    {
        CommitChangesScope scope("Move");
        a.set(1);
        b.set(2);
        a.set(3); // the first recording for the slot stands
        CommitChangesScope::makeUndo<LogCommand>("newest");
    }
    g_log.clear();
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(g_log, (std::vector<std::string>{"newest", "b=0", "a=0"}));
    EXPECT_EQ(history.redoName(), "Move");
    g_log.clear();
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(g_log, (std::vector<std::string>{"a=3", "b=2"}));
    // The entry re-recorded by redo undoes again.
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(a.value, 0);
    { CommitChangesScope empty("Nothing"); }
    EXPECT_TRUE(history.canRedo()); // an empty transaction leaves redo alone, a new commit clears it
    {
        CommitChangesScope scope;
        b.set(7);
    }
    EXPECT_FALSE(history.canRedo());
}

TEST_F(UndoTest, IgnoreUndosSuppressesRecordingOnlyWhileOpen) {
    {
        CommitChangesScope scope;
        {
            CommitChangesScope ignoring(CommitChangesScope::Mode::IgnoreUndos);
            CommitChangesScope joined; // joining does not resume recording
            EXPECT_TRUE(CommitChangesScope::ignoresUndos());
            a.set(2);
        }
        EXPECT_FALSE(CommitChangesScope::ignoresUndos());
        b.set(3);
    }
    history.undo();
    EXPECT_EQ(a.value, 2);
    EXPECT_EQ(b.value, 0);
}

TEST_F(UndoTest, EntryIsNamedAfterFirstRecordedNonMinorCommand) {
    {
        CommitChangesScope scope;
        CommitChangesScope::makeUndo<LogCommand>("bracket", true, Command::Flag::Minor);
        a.set(1);
        b.set(1);
    }
    EXPECT_EQ(history.undoName(), "Change a");
    {
        CommitChangesScope scope;
        CommitChangesScope::makeUndo<LogCommand>("first", true, Command::Flag::Minor);
        CommitChangesScope::makeUndo<LogCommand>("second", true, Command::Flag::Minor);
    }
    EXPECT_EQ(history.undoName(), "first");
}

TEST_F(UndoTest, NamesListBothStacksNextToReplayLast) {
    for (const char* name : {"one", "two", "three"}) {
        CommitChangesScope scope(name);
        a.set(a.value + 1);
    }
    history.undo();
    EXPECT_EQ(history.undoNames(), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(history.redoNames(), (std::vector<std::string>{"three"}));
    history.undo();
    EXPECT_EQ(history.redoNames(), (std::vector<std::string>{"three", "two"}));
    EXPECT_EQ(history.redoName(), "two");
}

TEST_F(UndoTest, FailingCommandIsReportedAndHistoryStaysConsistent) {
    {
        CommitChangesScope scope("Edit");
        a.set(1);
        CommitChangesScope::makeUndo<LogCommand>("broken", false);
        b.set(2);
    }
    Kor::MessageCapture capture;
    EXPECT_FALSE(history.undo());
    EXPECT_TRUE(capture.contains("'Edit' was not undone completely"));
    // The rest of the entry still ran, and what it changed can be redone.
    EXPECT_EQ(a.value, 0);
    EXPECT_TRUE(history.redo());
    EXPECT_EQ(a.value, 1);
}

TEST_F(UndoTest, ReplayIsRefusedInsideAnOpenScopeAndExplicitHistoryWins) {
    UndoHistory other;
    {
        CommitChangesScope scope(other);
        a.set(1);
    }
    EXPECT_EQ(other.undoCount(), 1u);
    EXPECT_FALSE(history.canUndo());
    Kor::MessageCapture capture;
    {
        CommitChangesScope scope;
        EXPECT_FALSE(other.undo());
    }
    EXPECT_EQ(capture.count(), 1u);
    EXPECT_EQ(a.value, 1);
}

// A shared child (a notify bracket) stands in many composites: none of them
// deletes it, a copy shares it, and each executes it in its place.
TEST_F(UndoTest, SharedChildrenAreExecutedInPlaceButNeitherCopiedNorDeleted) {
    LogCommand shared("shared", true, Command::Flag::Minor);
    std::unique_ptr<Command> copy;
    {
        Kor::utils::CompositeCommand first;
        first.push_front_shared(shared);
        first.push_front(std::make_unique<LogCommand>("own"));
        first.push_front_shared(shared);
        copy = first.clone();
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(&*static_cast<Kor::utils::CompositeCommand&>(*copy).begin(), &shared);
        first.nameAfter(*std::next(first.begin()));
        Kor::utils::CompositeCommand moved(std::move(first));
        EXPECT_EQ(moved.name(), "own");
    }
    EXPECT_TRUE(copy->execute());
    EXPECT_EQ(g_log, (std::vector<std::string>{"shared", "own", "shared"}));
    EXPECT_TRUE(shared.execute()) << "still alive after its composites";
}

} // namespace
