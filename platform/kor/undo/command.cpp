#include "platform/kor/undo/command.hpp"

#include "platform/corekit/diagnostics.hpp"

namespace Kor::utils {

static_assert(std::bidirectional_iterator<CompositeCommand::iterator>);
static_assert(std::bidirectional_iterator<CompositeCommand::const_iterator>);

Command::~Command() = default;

const std::string& Command::name() const {
    if (m_namedAfter)
        return m_namedAfter->name();
    if (m_nameMaker) {
        m_name = m_nameMaker(*this);
        m_nameMaker = nullptr;
    }
    return m_name;
}

std::unique_ptr<Command> Command::clone() const { return nullptr; }

bool Command::merge(Command&) { return false; }

CompositeCommand::~CompositeCommand() = default;

std::unique_ptr<Command> CompositeCommand::clone() const {
    auto copy = std::make_unique<CompositeCommand>(name(), flags());
    copy->m_commands.reserve(m_commands.size());
    for (const Child& child : m_commands) {
        if (!child.get_deleter().owned) {
            copy->m_commands.push_back(Child(child.get(), ChildDeleter{false}));
            continue;
        }
        std::unique_ptr<Command> childCopy = child->clone();
        if (!childCopy)
            return nullptr;
        copy->m_commands.push_back(Child(childCopy.release()));
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
    m_commands.push_back(Child(command.release()));
    return true;
}

bool CompositeCommand::push_front_shared(Command& command) {
    if (!acceptsChildren())
        return false;
    m_commands.push_back(Child(&command, ChildDeleter{false}));
    return true;
}

bool CompositeCommand::push_back(std::unique_ptr<Command> command) {
    if (!command || !acceptsChildren())
        return false;
    m_commands.insert(m_commands.begin(), Child(command.release()));
    return true;
}

} // namespace Kor::utils
