// Undo commands, commit scopes and the undo history, exercised on a tiny
// model: integer slots whose set() records, once per slot and transaction, a
// command that writes the old value back through the same set().

#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/undo/command.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using Kor::CommitChangesScope;
using Kor::UndoHistory;
using Kor::utils::Command;
using Kor::utils::CompositeCommand;

std::vector<std::string> g_log;

struct Slot {
    std::string label;
    int value = 0;

    void set(int v);
};

class RestoreSlot : public Command {
public:
    RestoreSlot(Slot& slot, int value, Flags flags = {})
        : Command("Change " + slot.label, flags), m_slot(&slot), m_value(value) {}

    std::unique_ptr<Command> clone() const override { return std::make_unique<RestoreSlot>(*this); }
    bool execute() override {
        m_slot->set(m_value);
        return true;
    }
    int value() const { return m_value; }

private:
    Slot* m_slot;
    int m_value;
};

void Slot::set(int v) {
    CommitChangesScope::makeUniqueUndo<RestoreSlot>(tavi::Variant(label), *this, value);
    g_log.push_back(label + "=" + std::to_string(v));
    value = v;
}

// Logs its execution; does not clone (base behaviour).
class LogCommand : public Command {
public:
    LogCommand(std::string name, bool succeeds = true, Flags flags = {})
        : Command(std::move(name), flags), m_succeeds(succeeds) {}
    bool execute() override {
        g_log.push_back(name());
        return m_succeeds;
    }

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

TEST_F(UndoTest, NothingIsRecordedWithoutScope) {
    a.set(1);
    EXPECT_EQ(CommitChangesScope::transaction(), nullptr);
    EXPECT_FALSE(CommitChangesScope::ignoresUndos());
    EXPECT_EQ(CommitChangesScope::makeUndo<LogCommand>("x"), nullptr);
    EXPECT_FALSE(history.canUndo());
}

TEST_F(UndoTest, NestedScopesFormOneTransaction) {
    {
        CommitChangesScope outer("Edit");
        CommitChangesScope::Transaction* transaction = CommitChangesScope::transaction();
        ASSERT_NE(transaction, nullptr);
        a.set(1);
        {
            CommitChangesScope inner("Inner");
            EXPECT_EQ(CommitChangesScope::transaction(), transaction);
            b.set(2);
        }
        EXPECT_EQ(CommitChangesScope::transaction(), transaction);
        EXPECT_EQ(transaction->command()->size(), 2u);
        EXPECT_FALSE(history.canUndo());
    }
    EXPECT_EQ(CommitChangesScope::transaction(), nullptr);
    EXPECT_EQ(history.undoCount(), 1u);
    EXPECT_EQ(history.undoName(), "Edit");
}

TEST_F(UndoTest, UniqueCommandKeepsOldestValuePerKey) {
    CommitChangesScope scope;
    a.set(1);
    Command* first = CommitChangesScope::transaction()->uniqueCommands().at(tavi::Variant(std::string("a")));
    a.set(2);
    b.set(5);
    a.set(3);
    CommitChangesScope::Transaction* transaction = CommitChangesScope::transaction();
    EXPECT_EQ(transaction->command()->size(), 2u);
    EXPECT_EQ(transaction->uniqueCommands().size(), 2u);
    EXPECT_EQ(static_cast<RestoreSlot*>(first)->value(), 0);
    EXPECT_EQ(CommitChangesScope::makeUniqueUndo<RestoreSlot>(tavi::Variant(std::string("a")), a, 42), first);
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
        EXPECT_GT(transaction->uniqueCommands().bucket_count(), buckets);  // rehashed meanwhile
        // The key got its command first from within: that one stands, once.
        EXPECT_EQ(transaction->uniqueCommands().at(key), recorded);
        EXPECT_NE(dynamic_cast<RestoreSlot*>(recorded), nullptr);
        EXPECT_EQ(transaction->uniqueCommands().size(), others.size() + 1);
        EXPECT_EQ(transaction->command()->size(), others.size() + 1);
    }
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(a.value, 0);
    for (const Slot& other : others)
        EXPECT_EQ(other.value, 0) << other.label;
}

TEST_F(UndoTest, UndoAndRedoRestoreEverySlotOfATransaction) {
    {
        CommitChangesScope scope("Move");
        a.set(1);
        b.set(2);
        a.set(3);
    }
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(a.value, 0);
    EXPECT_EQ(b.value, 0);
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(history.redoName(), "Move");

    ASSERT_TRUE(history.redo());
    EXPECT_EQ(a.value, 3);
    EXPECT_EQ(b.value, 2);
    EXPECT_EQ(history.undoName(), "Move");
    EXPECT_FALSE(history.canRedo());

    // The entry re-recorded by redo undoes again.
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(a.value, 0);
    EXPECT_EQ(b.value, 0);
}

TEST_F(UndoTest, ReplayTakesChangesBackNewestFirstAndRedoesOldestFirst) {
    {
        CommitChangesScope scope;
        a.set(1);
        b.set(2);
        CommitChangesScope::makeUndo<LogCommand>("newest");
    }
    g_log.clear();
    history.undo();
    EXPECT_EQ(g_log, (std::vector<std::string>{"newest", "b=0", "a=0"}));
    g_log.clear();
    history.redo();
    EXPECT_EQ(g_log, (std::vector<std::string>{"a=1", "b=2"}));
}

TEST_F(UndoTest, NewCommitClearsRedoButEmptyTransactionDoesNot) {
    {
        CommitChangesScope scope;
        a.set(1);
    }
    {
        CommitChangesScope scope;
        a.set(2);
    }
    history.undo();
    ASSERT_TRUE(history.canRedo());
    {
        CommitChangesScope empty("Nothing");
    }
    EXPECT_EQ(history.undoCount(), 1u);
    EXPECT_EQ(history.redoCount(), 1u);
    {
        CommitChangesScope scope;
        b.set(7);
    }
    EXPECT_FALSE(history.canRedo());
    EXPECT_EQ(history.undoCount(), 2u);
    history.undo();
    history.undo();
    EXPECT_EQ(a.value, 0);
    EXPECT_EQ(b.value, 0);
}

TEST_F(UndoTest, IgnoreUndosSuppressesRecordingOnlyWhileOpen) {
    {
        CommitChangesScope ignoring(CommitChangesScope::Mode::IgnoreUndos);
        EXPECT_TRUE(CommitChangesScope::ignoresUndos());
        a.set(1);
    }
    EXPECT_FALSE(CommitChangesScope::ignoresUndos());
    EXPECT_FALSE(history.canUndo());

    {
        CommitChangesScope scope;
        {
            CommitChangesScope ignoring(CommitChangesScope::Mode::IgnoreUndos);
            CommitChangesScope joined; // joining does not resume recording
            EXPECT_TRUE(CommitChangesScope::ignoresUndos());
            EXPECT_EQ(CommitChangesScope::transaction()->command(), nullptr);
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
        CommitChangesScope::makeUndo<LogCommand>("bracket", true, Command::Flag::Minor);
    }
    EXPECT_EQ(history.undoName(), "Change a");
    history.clear();
    {
        CommitChangesScope scope;
        CommitChangesScope::makeUndo<LogCommand>("first", true, Command::Flag::Minor);
        CommitChangesScope::makeUndo<LogCommand>("second", true, Command::Flag::Minor);
    }
    EXPECT_EQ(history.undoName(), "first");
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
    EXPECT_EQ(b.value, 0);
    EXPECT_FALSE(history.canUndo());
    ASSERT_EQ(history.redoCount(), 1u);
    EXPECT_TRUE(history.redo());
    EXPECT_EQ(a.value, 1);
    EXPECT_EQ(b.value, 2);
}

TEST_F(UndoTest, ReplayIsRefusedInsideAnOpenScopeAndOnEmptyStacks) {
    {
        CommitChangesScope scope;
        a.set(1);
    }
    Kor::MessageCapture capture;
    EXPECT_FALSE(history.redo());
    {
        CommitChangesScope scope;
        EXPECT_FALSE(history.undo());
    }
    EXPECT_EQ(capture.count(), 2u);
    EXPECT_EQ(a.value, 1);
    EXPECT_EQ(history.undoCount(), 1u);
}

TEST_F(UndoTest, ExplicitHistoryWinsOverAttachmentAndAttachmentsNest) {
    UndoHistory other;
    {
        CommitChangesScope scope(other);
        a.set(1);
    }
    EXPECT_EQ(other.undoCount(), 1u);
    EXPECT_FALSE(history.canUndo());
    {
        UndoHistory::ThreadAttachment inner(other);
        EXPECT_EQ(UndoHistory::current(), &other);
    }
    EXPECT_EQ(UndoHistory::current(), &history);
}

TEST_F(UndoTest, TransactionsArePerThread) {
    CommitChangesScope scope;
    CommitChangesScope::Transaction* seen = CommitChangesScope::transaction();
    ASSERT_NE(seen, nullptr);
    std::thread([&] { seen = CommitChangesScope::transaction(); }).join();
    EXPECT_EQ(seen, nullptr);
}

TEST(CommandTest, BaseCloneAndMergeDecline) {
    LogCommand plain("plain", true, Command::Flag::Minor);
    LogCommand other("other");
    EXPECT_EQ(plain.clone(), nullptr);
    EXPECT_FALSE(plain.merge(other));
    EXPECT_TRUE(plain.isMinor());
    EXPECT_FALSE(other.isMinor());
}

TEST(CommandTest, CompositeCloneCopiesChildrenOrFailsAsAWhole) {
    Slot slot{"s", 5};
    CompositeCommand composite("Group", Command::Flag::Minor);
    composite.push_back(std::make_unique<RestoreSlot>(slot, 1));
    composite.push_front(std::make_unique<RestoreSlot>(slot, 2));
    EXPECT_FALSE(composite.push_back(nullptr));

    std::unique_ptr<Command> copy = composite.clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->name(), "Group");
    EXPECT_EQ(copy->flags(), Command::Flags(Command::Flag::Minor));
    auto& copied = static_cast<CompositeCommand&>(*copy);
    ASSERT_EQ(copied.size(), 2u);
    EXPECT_EQ(static_cast<RestoreSlot&>(*copied.begin()).value(), 2);
    EXPECT_NE(&*copied.begin(), &*composite.begin());
    EXPECT_TRUE(copy->execute());
    EXPECT_EQ(slot.value, 1);

    composite.push_back(std::make_unique<LogCommand>("uncloneable"));
    EXPECT_EQ(composite.clone(), nullptr);
}

} // namespace
