#pragma once
// The host program's scene type, which plugins derive from, and what every
// plugin of the module test exports.

#include "shared_libs/reflection/reflection.hpp"

#include <string>

namespace module_test {

struct SceneNode {
    virtual ~SceneNode() = default;
    std::string name = "node";
    int revision = 0;
};

// One table per plugin, returned by its exported `pluginApi` function.
struct PluginApi {
    const char* typeName;
    SceneNode* (*create)();
    void (*destroy)(SceneNode* node);
    // The plugin's own view of the meta objects.
    const orv::MetaObject* (*hostMeta)();
    const orv::MetaObject* (*ownMeta)();
    // Reads and writes any node's property through reflection.
    tavi::Variant (*get)(SceneNode* node, const char* path);
    bool (*set)(SceneNode* node, const char* path, const tavi::Variant& value);
    // Counts the changes of one property of one node, through a connection
    // the plugin keeps until unwatch().
    void (*watch)(SceneNode* node, const char* path);
    int (*changes)();
    void (*unwatch)();
};

using PluginEntry = const PluginApi* (*)();

} // namespace module_test

template <>
struct orv::TypeDeclaration<module_test::SceneNode> {
    static constexpr const char* name = "module_test::SceneNode";
    static void declare(orv::Builder<module_test::SceneNode>& type) {
        type.property("name", &module_test::SceneNode::name)
            .property("revision", &module_test::SceneNode::revision);
    }
};
