#pragma once
// Writes the structure signals of an object, and the value signals of the
// properties it is asked to watch, to one log in the order they arrive.

#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <string>
#include <vector>

namespace orv::test {

class Recorder {
public:
    explicit Recorder(const ReflectedObject& object) {
        const auto range = [this](const char* what) {
            return [this, what](const ReflectedObject&, size_t first, size_t count) {
                log.push_back(std::string(what) + " " + std::to_string(first) + "+" + std::to_string(count));
            };
        };
        const auto whole = [this](const char* what) {
            return [this, what](const ReflectedObject&) { log.push_back(what); };
        };
        m_connections.emplace_back(object.connectPropertyAboutToBeAdded(range("about to add")));
        m_connections.emplace_back(object.connectPropertyAdded(range("added")));
        m_connections.emplace_back(object.connectPropertyAboutToBeRemoved(range("about to remove")));
        m_connections.emplace_back(object.connectPropertyRemoved(range("removed")));
        m_connections.emplace_back(object.connectStructureAboutToBeChanged(whole("structure about")));
        m_connections.emplace_back(object.connectStructureChanged(whole("structure done")));
    }
    // Value notifications of one property.
    void watch(const BoundProperty& property) {
        const auto note = [this](const char* what) {
            return [this, what](const BoundProperty& p, NotifyFlags flags) {
                log.push_back(std::string(what) + " " + p.name() + " flags " + std::to_string(flags.value()));
            };
        };
        m_connections.emplace_back(property.connectPropertyAboutToBeChanged(note("about to change")));
        m_connections.emplace_back(property.connectPropertyChanged(note("changed")));
    }

    std::vector<std::string> log;

private:
    std::vector<zel::ScopedConnection> m_connections;
};

} // namespace orv::test
