#pragma once
// The scene the XML benchmarks write and read, as plain C++: a binary tree
// of nodes DEPTH levels deep whose leaves carry ten properties each (text,
// numbers, a flag, a vector, and a list of two weights). Each serialization
// system describes it in its own benchmark program; fill() gives every
// program the same data.

#include "platform/kor/math/vector.hpp"

#include <cstddef>
#include <string>
#include <type_traits>
#include <vector>

namespace bench {

struct SceneLeaf {
    std::string name;
    int id = 0;
    bool visible = true;
    float opacity = 1;
    double mass = 0;
    Kor::Vector3 position;
    std::string tag;
    std::vector<float> weights; // a collection: one property and one per element
};

template <int D>
struct SceneTree;

// Level 0 is a leaf, every other level a pair of subtrees.
template <int D>
using SceneNode = std::conditional_t<D == 0, SceneLeaf, SceneTree<D>>;

template <int D>
struct SceneTree {
    SceneNode<D - 1> left;
    SceneNode<D - 1> right;
};

inline constexpr int SCENE_DEPTH = 10;
using Scene = SceneTree<SCENE_DEPTH>;

inline constexpr size_t SCENE_LEAVES = size_t(1) << SCENE_DEPTH;
inline constexpr size_t LEAF_WEIGHTS = 2;
inline constexpr size_t LEAF_PROPERTIES = 8 + LEAF_WEIGHTS;
// Every value written: the leaves' values and one property per subtree.
inline constexpr size_t SCENE_PROPERTIES = SCENE_LEAVES * LEAF_PROPERTIES + 2 * (SCENE_LEAVES - 1);

inline void fill(SceneLeaf& leaf, size_t& counter) {
    const size_t i = counter++;
    leaf.name = "node " + std::to_string(i);
    leaf.id = static_cast<int>(i);
    leaf.visible = i % 3 != 0;
    leaf.opacity = 1.0f / static_cast<float>(i % 7 + 1);
    leaf.mass = 0.1 * static_cast<double>(i);
    leaf.position = Kor::Vector3(static_cast<float>(i), 0.5f, -static_cast<float>(i % 10));
    leaf.tag = i % 5 == 0 ? "light & <shadow>" : "prop";
    leaf.weights = {0.25f * static_cast<float>(i % 4), static_cast<float>(i % 2)};
}

template <int D>
void fill(SceneTree<D>& tree, size_t& counter) {
    fill(tree.left, counter);
    fill(tree.right, counter);
}

inline Scene makeScene() {
    Scene scene;
    size_t counter = 0;
    fill(scene, counter);
    return scene;
}

} // namespace bench
