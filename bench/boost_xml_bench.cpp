// The XML peer: the scene of xml_bench written and read with
// Boost.Serialization's XML archives, under the same names
// "xml_write/boost" and "xml_read/boost". Per property and MB/s as there.

#include "bench/support/allocation_counter.hpp"
#include "bench/support/transform.hpp"
#include "bench/support/xml_scene.hpp"

#include <benchmark/benchmark.h>
#include <boost/archive/xml_iarchive.hpp>
#include <boost/archive/xml_oarchive.hpp>
#include <boost/serialization/nvp.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

#include <memory>
#include <sstream>
#include <string>

namespace Kor {
template <class Archive>
void serialize(Archive& archive, Vector3& v, unsigned) {
    archive& boost::serialization::make_nvp("x", v.x) & boost::serialization::make_nvp("y", v.y) &
        boost::serialization::make_nvp("z", v.z);
}
} // namespace Kor

namespace bench {

template <class Archive>
void serialize(Archive& archive, SceneLeaf& leaf, unsigned) {
    using boost::serialization::make_nvp;
    archive& make_nvp("name", leaf.name) & make_nvp("id", leaf.id) & make_nvp("visible", leaf.visible) &
        make_nvp("opacity", leaf.opacity) & make_nvp("mass", leaf.mass) &
        make_nvp("position", leaf.position) & make_nvp("tag", leaf.tag) & make_nvp("weights", leaf.weights);
}

template <class Archive, int D>
void serialize(Archive& archive, SceneTree<D>& tree, unsigned) {
    archive& boost::serialization::make_nvp("left", tree.left) &
        boost::serialization::make_nvp("right", tree.right);
}

} // namespace bench

namespace {

using bench::AllocationCounter;

void setCounters(benchmark::State& state, size_t bytes) {
    state.counters[bench::OPS_COUNTER] = double(bench::SCENE_PROPERTIES);
    state.counters["MB/s"] =
        benchmark::Counter(double(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

std::string write(const bench::Scene& scene) {
    std::ostringstream out;
    {
        boost::archive::xml_oarchive archive(out);
        archive << boost::serialization::make_nvp("scene", scene);
    }
    return out.str();
}

void boostXmlWrite(benchmark::State& state) {
    const auto scene = std::make_unique<bench::Scene>(bench::makeScene());
    size_t bytes = 0;
    AllocationCounter counter(state);
    for (auto _ : state) {
        std::ostringstream out;
        {
            boost::archive::xml_oarchive archive(out);
            archive << boost::serialization::make_nvp("scene", *scene);
        }
        bytes = size_t(out.tellp());
    }
    setCounters(state, bytes);
}

void boostXmlRead(benchmark::State& state) {
    const auto source = std::make_unique<bench::Scene>(bench::makeScene());
    const std::string text = write(*source);
    const auto scene = std::make_unique<bench::Scene>();
    AllocationCounter counter(state);
    for (auto _ : state) {
        std::istringstream in(text);
        boost::archive::xml_iarchive archive(in);
        archive >> boost::serialization::make_nvp("scene", *scene);
    }
    if (write(*scene) != text)
        state.SkipWithError("the scene read differs from the one written");
    setCounters(state, text.size());
}

} // namespace

BENCHMARK(boostXmlWrite)->Name("xml_write/boost")->Unit(benchmark::kMicrosecond);
BENCHMARK(boostXmlRead)->Name("xml_read/boost")->Unit(benchmark::kMicrosecond);
