#include "platform/kor/undo/commit_changes_scope.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/undo/undo_history.hpp"

#include <iterator>

namespace Kor {

thread_local constinit CommitChangesScope::Transaction* commit_changes_scope_details::t_transaction = nullptr;

namespace {

struct ScopeStack {
    std::unique_ptr<CommitChangesScope::Transaction> transaction;
    // The last closed transaction, emptied, for the next outermost scope: a
    // stream of one-change transactions allocates neither it nor its table.
    std::unique_ptr<CommitChangesScope::Transaction> spare;
    std::size_t depth = 0;
};

thread_local ScopeStack t_scopes;

// Buckets and nodes of the unique-command table a kept transaction may keep.
constexpr std::size_t s_keptBuckets = 64;
constexpr std::size_t s_keptNodes = 4;

// A transaction without an explicit name is named after the first command
// it recorded that is a step of its own; recording pushes to the front, so
// that is searched from the back. Only minor commands: the oldest of them.
// Not empty.
const utils::Command& namingCommand(const utils::CompositeCommand& commands) {
    const auto oldest = std::make_reverse_iterator(commands.end());
    const auto newest = std::make_reverse_iterator(commands.begin());
    for (auto it = oldest; it != newest; ++it)
        if (!it->isMinor())
            return *it;
    return *oldest;
}

} // namespace

CommitChangesScope::CommitChangesScope(UndoHistory* history, std::string name, Mode mode, Purpose purpose) {
    ScopeStack& scopes = t_scopes;
    if (scopes.depth == 0) {
        if (scopes.spare)
            scopes.transaction = std::move(scopes.spare);
        else
            scopes.transaction.reset(new Transaction());
        scopes.transaction->m_history = history ? history : UndoHistory::current();
        scopes.transaction->m_purpose = purpose;
        commit_changes_scope_details::t_transaction = scopes.transaction.get();
    } else if (history && history != scopes.transaction->m_history) {
        // A nested scope joins the open transaction; it may supply the
        // history the outer scopes did not have, but not replace one.
        if (scopes.transaction->m_history)
            warningMessage(
                "Kor::CommitChangesScope: a nested scope names another undo history; "
                "its changes go to the history of the open transaction");
        else
            scopes.transaction->m_history = history;
    }
    Transaction& transaction = *scopes.transaction;
    if (transaction.m_name.empty())
        transaction.m_name = std::move(name);
    if (mode == Mode::IgnoreUndos) {
        m_ignoring = true;
        ++transaction.m_ignoreDepth;
    }
    ++scopes.depth;
}

CommitChangesScope::~CommitChangesScope() {
    ScopeStack& scopes = t_scopes;
    if (scopes.depth == 0 || !scopes.transaction) {
        assertionFailed("depth > 0", __FILE__, __LINE__, "CommitChangesScope closed twice");
        return;
    }
    if (m_ignoring)
        --scopes.transaction->m_ignoreDepth;
    if (--scopes.depth > 0)
        return;

    // Detach first: destroying or committing commands may open new scopes.
    std::unique_ptr<Transaction> finished = std::move(scopes.transaction);
    commit_changes_scope_details::t_transaction = nullptr;
    std::unique_ptr<utils::CompositeCommand> commands = std::move(finished->m_command);
    UndoHistory* const history = finished->m_history;
    const Purpose purpose = finished->m_purpose;
    if (!commands->empty() && history) {
        if (finished->m_name.empty())
            commands->nameAfter(namingCommand(*commands));
        else
            commands->setName(std::move(finished->m_name));
    }
    // Kept for the next transaction before anything else runs: a scope the
    // commit opens takes it or makes its own. A composite that recorded
    // nothing serves again; a big table is not kept.
    finished->forgetCommands();
    finished->m_name.clear();
    finished->m_history = nullptr;
    finished->m_purpose = Purpose::Change;
    finished->m_ignoreDepth = 0;
    finished->m_command =
        commands->empty() ? std::move(commands) : std::make_unique<utils::CompositeCommand>();
    if (!scopes.spare)
        scopes.spare = std::move(finished);
    if (commands && !commands->empty() && history)
        history->accept(std::move(commands), purpose);
}

void CommitChangesScope::Transaction::remember(tavi::Variant key, utils::Command* command) {
    if (m_spareNodes.empty()) {
        m_uniqueCommands.insert_or_assign(std::move(key), command);
        return;
    }
    UniqueCommands::node_type node = std::move(m_spareNodes.back());
    m_spareNodes.pop_back();
    node.key() = std::move(key);
    node.mapped() = command;
    m_uniqueCommands.insert(std::move(node));
}

void CommitChangesScope::Transaction::forgetCommands() {
    // A kept node holds no key: a key may refer to objects (a handle).
    while (!m_uniqueCommands.empty() && m_spareNodes.size() < s_keptNodes) {
        UniqueCommands::node_type node = m_uniqueCommands.extract(m_uniqueCommands.cbegin());
        node.key().reset();
        m_spareNodes.push_back(std::move(node));
    }
    m_uniqueCommands.clear();
    if (m_uniqueCommands.bucket_count() > s_keptBuckets)
        m_uniqueCommands = UniqueCommands();
}

bool CommitChangesScope::ignoresUndos() {
    const Transaction* current = transaction();
    return current && current->m_ignoreDepth > 0;
}

} // namespace Kor
