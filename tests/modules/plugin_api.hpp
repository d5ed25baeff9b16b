#pragma once
// The PluginApi of a plugin that declares `Node`, a SceneNode of its own.

#include "tests/modules/scene_types.hpp"

namespace module_test {

template <class Node>
const PluginApi* pluginApiOf() {
    static zel::ScopedConnection s_watch;
    static int s_changes = 0;
    static const PluginApi api{
        orv::metaObjectOf<Node>().name().c_str(),
        []() -> SceneNode* { return new Node; },
        [](SceneNode* node) { delete node; },
        []() -> const orv::MetaObject* { return &orv::metaObjectOf<SceneNode>(); },
        []() -> const orv::MetaObject* { return &orv::metaObjectOf<Node>(); },
        [](SceneNode* node, const char* path) {
            return orv::ReflectedObject(tavi::Variant(node)).findPropertyByName(path).get();
        },
        [](SceneNode* node, const char* path, const tavi::Variant& value) {
            return orv::ReflectedObject(tavi::Variant(node)).findPropertyByName(path).set(value);
        },
        [](SceneNode* node, const char* path) {
            s_changes = 0;
            s_watch =
                orv::ReflectedObject(tavi::Variant(node)).findPropertyByName(path).connectPropertyChanged([] {
                    ++s_changes;
                });
        },
        [] { return s_changes; },
        [] { s_watch.disconnect(); },
    };
    return &api;
}

} // namespace module_test
