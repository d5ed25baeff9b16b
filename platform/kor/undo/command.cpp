#include "platform/kor/undo/command.hpp"

#include "platform/corekit/diagnostics.hpp"

namespace Kor::utils {

static_assert(std::bidirectional_iterator<CompositeCommand::iterator>);
static_assert(std::bidirectional_iterator<CompositeCommand::const_iterator>);

Command::~Command() = default;

std::unique_ptr<Command> Command::clone() const { return nullptr; }

bool Command::merge(Command&) { return false; }

CompositeCommand::~CompositeCommand() = default;

std::unique_ptr<Command> CompositeCommand::clone() const {
    auto copy = std::make_unique<CompositeCommand>(name(), flags());
    copy->m_commands.reserve(m_commands.size());
    for (const std::unique_ptr<Command>& child : m_commands) {
        std::unique_ptr<Command> childCopy = child->clone();
        if (!childCopy)
            return nullptr;
        copy->m_commands.push_back(std::move(childCopy));
    }
    return copy;
}

bool CompositeCommand::execute() {
    // Executing the composite that is recording (for instance the command of
    // the open transaction) would make it record into the list it walks.
    if (m_executing) {
        errorMessage("Kor::utils::CompositeCommand::execute: '%s' is already executing", name().c_str());
        return false;
    }
    struct ExecutingGuard {
        bool& flag;
        explicit ExecutingGuard(bool& f) : flag(f) { flag = true; }
        ~ExecutingGuard() { flag = false; }
    } guard(m_executing); // a throwing child must not lock the composite for good
    bool succeeded = true;
    for (Command& child : *this)
        succeeded = child.execute() && succeeded;
    return succeeded;
}

bool CompositeCommand::acceptsChildren() const {
    if (!m_executing)
        return true;
    errorMessage("Kor::utils::CompositeCommand: '%s' cannot take commands while it executes; command dropped",
                 name().c_str());
    return false;
}

bool CompositeCommand::push_front(std::unique_ptr<Command> command) {
    if (!command || !acceptsChildren())
        return false;
    // Most transactions hold a change and its two notify brackets: one
    // allocation for the first few.
    if (m_commands.empty())
        m_commands.reserve(s_firstCapacity);
    m_commands.push_back(std::move(command));
    return true;
}

bool CompositeCommand::push_back(std::unique_ptr<Command> command) {
    if (!command || !acceptsChildren())
        return false;
    m_commands.insert(m_commands.begin(), std::move(command));
    return true;
}

} // namespace Kor::utils
