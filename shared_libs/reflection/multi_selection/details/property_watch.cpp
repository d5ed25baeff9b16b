#include "shared_libs/reflection/multi_selection/details/property_watch.hpp"

#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <algorithm>
#include <utility>

namespace orv::multi_selection_details {

PropertyWatch::PropertyWatch(Callback callback) : m_callback(std::move(callback)) {}

PropertyWatch::~PropertyWatch() = default;

void PropertyWatch::add(const BoundProperty& property, Events events) {
    if (!property.isValid())
        return;
    // The callback is copied for each call: it may destroy this watch.
    const auto forward = [this](Event event) {
        return [this, event](const BoundProperty& changed, SetterFlags setterFlags, NotifyFlags notifyFlags) {
            const Callback callback = m_callback;
            callback(event, changed, setterFlags, notifyFlags);
        };
    };
    if (property.propertyData()) {
        Own& own = m_own[property];
        if (own.count++ == 0) {
            own.aboutToChange = property.connectPropertyAboutToBeChanged(forward(Event::AboutToChange));
            if (events == Events::All)
                own.changed = property.connectPropertyChanged(forward(Event::Changed));
        }
        return;
    }
    Shared* shared = sharedOf(property.metaPropertyAddress());
    if (!shared)
        shared = makeShared(property.metaProperty(), events);
    if (shared)
        shared->added.push_back(objectIdentity(property.object()));
}

bool PropertyWatch::addInstance(const MetaProperty& description, const void* identity) {
    Shared* shared = sharedOf(&description);
    if (!shared)
        return false;
    shared->added.push_back(identity);
    return true;
}

IdentityCounts& PropertyWatch::Shared::instances() {
    if (!added.empty()) {
        counted.reserve(added.size());
        for (const void* instance : added)
            counted.add(instance);
        added.clear();
    }
    return counted;
}

PropertyWatch::Shared* PropertyWatch::sharedOf(const MetaProperty* description) const {
    // Few descriptions per watch, and usually the same one as last time.
    for (auto it = m_shared.rbegin(); it != m_shared.rend(); ++it)
        if ((*it)->description.get() == description)
            return it->get();
    return nullptr;
}

PropertyWatch::Shared* PropertyWatch::makeShared(std::shared_ptr<MetaProperty> description, Events events) {
    if (!description)
        return nullptr;
    auto shared = std::make_unique<Shared>();
    Shared* group = shared.get();
    const auto forward = [this, group](Event event) {
        return [this, group, event](const BoundProperty& changed, SetterFlags setterFlags,
                                    NotifyFlags notifyFlags) {
            if (!group->instances().contains(objectIdentity(changed.object())))
                return;
            const Callback callback = m_callback;
            callback(event, changed, setterFlags, notifyFlags);
        };
    };
    group->aboutToChange = description->connectPropertyAboutToBeChanged(forward(Event::AboutToChange));
    if (events == Events::All)
        group->changed = description->connectPropertyChanged(forward(Event::Changed));
    group->description = std::move(description);
    m_shared.push_back(std::move(shared));
    return group;
}

void PropertyWatch::dropShared(const Shared* shared) {
    const auto it = std::find_if(m_shared.begin(), m_shared.end(),
                                 [shared](const std::unique_ptr<Shared>& s) { return s.get() == shared; });
    if (it != m_shared.end())
        m_shared.erase(it);
}

void PropertyWatch::release(const BoundProperty& property, uint32_t n) {
    if (const auto own = m_own.find(property); own != m_own.end()) {
        if (n == 0 || own->second.count <= n)
            m_own.erase(own);
        else
            own->second.count -= n;
        return;
    }
    Shared* shared = sharedOf(property.metaPropertyAddress());
    if (!shared)
        return;
    if (shared->instances().release(objectIdentity(property.object()), n) && shared->instances().empty())
        dropShared(shared);
}

void PropertyWatch::remove(const BoundProperty& property) { release(property, 1); }

void PropertyWatch::removeAll(const BoundProperty& property) { release(property, 0); }

void PropertyWatch::removeInstance(const void* instance) {
    for (auto it = m_own.begin(); it != m_own.end();)
        it = objectIdentity(it->first.object()) == instance ? m_own.erase(it) : std::next(it);
    for (size_t i = m_shared.size(); i-- > 0;) {
        if (m_shared[i]->instances().release(instance, 0) && m_shared[i]->instances().empty())
            m_shared.erase(m_shared.begin() + std::ptrdiff_t(i));
    }
}

void PropertyWatch::clear() {
    m_own.clear();
    m_shared.clear();
}

bool PropertyWatch::contains(const BoundProperty& property) const {
    if (m_own.count(property) != 0)
        return true;
    Shared* shared = sharedOf(property.metaPropertyAddress());
    return shared && shared->instances().contains(objectIdentity(property.object()));
}

} // namespace orv::multi_selection_details
