#pragma once
// Undoable commands.
//
// A command restores one piece of state. Executing it performs the change
// through the ordinary write paths of the data it touches; those paths record
// the opposite command in whatever transaction is open at that moment. So no
// command holds both an old and a new value and none swaps values itself: undo
// and redo are both "execute and let the write path record the inverse".

#include "platform/zel_core/flags.hpp"

#include <boost/container/small_vector.hpp>

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace Kor::utils {

class Command {
public:
    enum class Flag : std::uint32_t {
        // Not a user-visible step of its own (notify brackets, minor property
        // changes): a minor command never gives its transaction its name.
        Minor = 0x1,
    };
    using Flags = zel::Flags<Flag>;

    explicit Command(std::string name = {}, Flags flags = {}) : m_name(std::move(name)), m_flags(flags) {}

    Command(const Command&) = default;
    Command(Command&&) noexcept = default;
    Command& operator=(const Command&) = default;
    Command& operator=(Command&&) noexcept = default;

    virtual ~Command();

    // A copy of this command. The base cannot copy a derived object, so it
    // returns null ("not copyable"); commands that can be copied override it.
    virtual std::unique_ptr<Command> clone() const;

    // Absorbs `other` into this command and returns true, or declines with
    // false. The base declines.
    virtual bool merge(Command& other);

    // Performs the change; false when it could not be made (the command
    // reports why).
    virtual bool execute() = 0;

    // Lazily named commands make their name here, on the first request.
    const std::string& name() const;
    void setName(std::string name) {
        m_name = std::move(name);
        m_nameMaker = nullptr;
        m_namedAfter = nullptr;
    }
    Flags flags() const { return m_flags; }
    void setFlags(Flags flags) { m_flags = flags; }
    bool isMinor() const { return m_flags.test(Flag::Minor); }

protected:
    // Makes the name of a command from the command's own state.
    using NameMaker = std::string (*)(const Command&);

    // Names this command with `maker(*this)` when the name is first asked
    // for. A name derived from state (a property path) costs formatting and,
    // being long, an allocation, while most recorded commands are never shown
    // by name. The maker is copied with the command and then names the copy.
    // Not for commands shared between threads: the first request writes.
    void nameLazily(NameMaker maker) {
        m_name.clear();
        m_nameMaker = maker;
        m_namedAfter = nullptr;
    }
    // Takes the name of `other`, which outlives this command, from now on
    // (made when asked for, if `other` names itself lazily).
    void referToNameOf(const Command& other) {
        m_name.clear();
        m_nameMaker = nullptr;
        m_namedAfter = &other;
    }

private:
    mutable std::string m_name;
    mutable NameMaker m_nameMaker = nullptr;
    const Command* m_namedAfter = nullptr;
    Flags m_flags;
};

namespace command_details {

// Deletes a child a composite owns and leaves a shared one alone (see
// CompositeCommand::push_front_shared).
struct ChildDeleter {
    bool owned = true;
    void operator()(Command* command) const {
        if (owned)
            delete command;
    }
};

} // namespace command_details

// An ordered list of commands executed as one, owned (or shared, see
// push_front_shared).
//
// Transactions record with push_front, so the newest change is at the front.
// execute() runs the children front to back: newest first, which is the order
// in which the changes of a transaction must be taken back. It does not stop at
// a failing child: later children may close what earlier ones opened (notify
// brackets), so stopping half-way would leave that state unbalanced. It returns
// false when any child failed. A composite cannot be executed re-entrantly nor
// take children while it executes (both are reported and refused).
class CompositeCommand : public Command {
    using ChildDeleter = command_details::ChildDeleter;
    using Child = std::unique_ptr<Command, ChildDeleter>;
    // Held newest last: recording appends, and the front of the composite is
    // the back of the list (the iterators walk it backwards). Most
    // transactions hold a change and its two notify brackets: room for a few
    // is kept inline.
    using Container = boost::container::small_vector<Child, 4>;

    // Walks the owned children as commands rather than as owning pointers.
    template <typename Base, typename Value>
    class ChildIterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = Command;
        using difference_type = std::ptrdiff_t;
        using pointer = Value*;
        using reference = Value&;

        ChildIterator() = default;
        explicit ChildIterator(Base base) : m_base(base) {}

        reference operator*() const { return **m_base; }
        pointer operator->() const { return m_base->get(); }
        ChildIterator& operator++() {
            ++m_base;
            return *this;
        }
        ChildIterator operator++(int) { return ChildIterator(m_base++); }
        ChildIterator& operator--() {
            --m_base;
            return *this;
        }
        ChildIterator operator--(int) { return ChildIterator(m_base--); }
        friend bool operator==(const ChildIterator& a, const ChildIterator& b) {
            return a.m_base == b.m_base;
        }

    private:
        Base m_base{};
    };

public:
    using iterator = ChildIterator<Container::reverse_iterator, Command>;
    using const_iterator = ChildIterator<Container::const_reverse_iterator, const Command>;

    explicit CompositeCommand(std::string name = {}, Flags flags = {}) : Command(std::move(name), flags) {}

    // Children are owned; copying goes through clone().
    CompositeCommand(const CompositeCommand&) = delete;
    CompositeCommand& operator=(const CompositeCommand&) = delete;
    CompositeCommand(CompositeCommand&&) noexcept = default;
    CompositeCommand& operator=(CompositeCommand&&) noexcept = default;
    ~CompositeCommand() override;

    // Clones every child (a shared one is shared by the copy too); null when
    // any child cannot be cloned, since a partial copy would replay
    // something else.
    std::unique_ptr<Command> clone() const override;
    bool execute() override;

    // Take ownership of `command`; true when it was added. Null commands are
    // ignored (false). Recording uses push_front, which is cheap; push_back
    // moves every child.
    bool push_front(std::unique_ptr<Command> command);
    bool push_back(std::unique_ptr<Command> command);
    // Refer to `command` without owning it: for a command without state
    // that lives as long as the program (a notify bracket), recorded by every
    // transaction, so one object serves them all instead of one made per
    // transaction. The composite never changes it; neither may anybody else
    // (it may stand in composites of several threads at once).
    bool push_front_shared(Command& command);

    // Names this composite after one of its children, referring to the
    // child's name rather than copying it (a child lives as long as its
    // composite), so that a name nobody asks for is never made.
    void nameAfter(const Command& child) { referToNameOf(child); }

    std::size_t size() const { return m_commands.size(); }
    bool empty() const { return m_commands.empty(); }

    iterator begin() { return iterator(m_commands.rbegin()); }
    iterator end() { return iterator(m_commands.rend()); }
    const_iterator begin() const { return const_iterator(m_commands.rbegin()); }
    const_iterator end() const { return const_iterator(m_commands.rend()); }

private:
    bool acceptsChildren() const;

    Container m_commands;
    bool m_executing = false;
};

} // namespace Kor::utils
