// Writing and reading a scene of about 12,000 properties (nested objects
// and collections) as XML through
// orv::XMLSerializer ("ours"), next to a bare expat parse of the same text
// ("expat", the floor any reader on that parser stands on).
// boost_xml_bench writes and reads the same scene with Boost.Serialization's
// XML archives ("boost"). Times are per property ("ops" counts the
// properties of the scene); the "MB/s" counter is the document's size over
// the time of one pass.
//
// The reader's working memory: BM_XmlReaderMemory reads documents that grow
// in length but not depth, and documents that grow in depth, and reports the
// most memory allocated at once during the read ("peak_bytes"). The first
// stays flat; the second grows with the depth.

#include "platform/variant/memory_stream.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include "bench/support/allocation_counter.hpp"
#include "bench/support/transform.hpp"
#include "bench/support/xml_scene.hpp"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <memory>
#include <string>
#include <vector>

namespace bench {

// Memory per depth: a chain of objects, each holding the next.
struct Chain {
    int value = 0;
    Chain* next = nullptr;
};

inline constexpr const char* TREE_NAMES[] = {"",      "Tree1", "Tree2", "Tree3", "Tree4", "Tree5",
                                             "Tree6", "Tree7", "Tree8", "Tree9", "Tree10"};

} // namespace bench

template <>
struct orv::TypeDeclaration<bench::SceneLeaf> {
    static constexpr const char* name = "SceneLeaf";
    static void declare(orv::Builder<bench::SceneLeaf>& type) {
        using L = bench::SceneLeaf;
        type.property("name", &L::name)
            .property("id", &L::id)
            .property("visible", &L::visible)
            .property("opacity", &L::opacity)
            .property("mass", &L::mass)
            .property("position", &L::position)
            .property("tag", &L::tag)
            .collection("weights", &L::weights);
    }
};

template <int D>
struct orv::TypeDeclaration<bench::SceneTree<D>> {
    static constexpr const char* name = bench::TREE_NAMES[D];
    static void declare(orv::Builder<bench::SceneTree<D>>& type) {
        type.object("left", &bench::SceneTree<D>::left).object("right", &bench::SceneTree<D>::right);
    }
};

template <>
struct orv::TypeDeclaration<bench::Chain> {
    static constexpr const char* name = "Chain";
    static void declare(orv::Builder<bench::Chain>& type) {
        type.property("value", &bench::Chain::value).property("next", [](const bench::Chain* c) {
            return c->next;
        });
    }
};

namespace {

using bench::AllocationCounter;

std::string write(const tavi::Variant& value) {
    std::string text;
    tavi::FixedMemoryStream memory(text);
    orv::XMLSerializer serializer(memory);
    serializer.serialize(value);
    return text;
}

void setCounters(benchmark::State& state, size_t bytes) {
    state.counters[bench::OPS_COUNTER] = double(bench::SCENE_PROPERTIES);
    state.counters["MB/s"] =
        benchmark::Counter(double(bytes) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// The scene as a value, and through the editor's long-lived handle, whose
// cached property contexts are reused from one pass to the next.
tavi::Variant asValue(bench::Scene& scene) { return tavi::Variant(&scene); }
orv::ReflectedObject asHandle(bench::Scene& scene) { return orv::reflect(scene); }

// A long-lived handle has met the scene before: one untimed pass fills its
// caches, so that the timed passes measure what the editor sees on every
// save or load after the first. (Without it the first pass of each run,
// which builds every cache, is averaged into the few passes a run makes.)
// A fresh value has no caches to fill.
void warmUp(const tavi::Variant&, const std::string&) {}
void warmUp(const orv::ReflectedObject& handle, const std::string& document) {
    std::string text;
    tavi::FixedMemoryStream output(text);
    orv::XMLSerializer(output).serialize(handle);
    if (!document.empty()) {
        tavi::FixedMemoryStream input(document);
        orv::XMLSerializer(input).deserialize(handle);
    }
}

template <auto handleOf>
void oursXmlWrite(benchmark::State& state) {
    const auto scene = std::make_unique<bench::Scene>(bench::makeScene());
    const auto source = handleOf(*scene);
    std::string text;
    text.reserve(write(tavi::Variant(scene.get())).size());
    warmUp(source, {});
    AllocationCounter counter(state);
    for (auto _ : state) {
        text.clear();
        tavi::FixedMemoryStream memory(text, tavi::FixedMemoryStream::Mode::APPEND);
        orv::XMLSerializer serializer(memory);
        if (!serializer.serialize(source))
            state.SkipWithError("the document was not written");
    }
    setCounters(state, text.size());
}

template <auto handleOf>
void oursXmlRead(benchmark::State& state) {
    const auto source = std::make_unique<bench::Scene>(bench::makeScene());
    const std::string text = write(tavi::Variant(source.get()));
    const auto scene = std::make_unique<bench::Scene>();
    auto target = handleOf(*scene);
    warmUp(target, text);
    AllocationCounter counter(state);
    for (auto _ : state) {
        tavi::FixedMemoryStream memory(text);
        orv::XMLSerializer serializer(memory);
        if (!serializer.deserialize(target))
            state.SkipWithError("the document was not read");
    }
    if (write(tavi::Variant(scene.get())) != text)
        state.SkipWithError("the scene read differs from the one written");
    setCounters(state, text.size());
}

// The floor: expat parses the same text and calls handlers that only count.
struct ExpatCounts {
    size_t elements = 0;
    size_t characters = 0;
};

void expatXmlRead(benchmark::State& state) {
    const auto source = std::make_unique<bench::Scene>(bench::makeScene());
    const std::string text = write(tavi::Variant(source.get()));
    ExpatCounts counts;
    AllocationCounter counter(state);
    for (auto _ : state) {
        XML_Parser parser = XML_ParserCreate(nullptr);
        XML_SetUserData(parser, &counts);
        XML_SetElementHandler(
            parser,
            [](void* data, const XML_Char*, const XML_Char**) {
                ++static_cast<ExpatCounts*>(data)->elements;
            },
            [](void*, const XML_Char*) {});
        XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char*, int length) {
            static_cast<ExpatCounts*>(data)->characters += size_t(length);
        });
        if (XML_Parse(parser, text.data(), static_cast<int>(text.size()), XML_TRUE) != XML_STATUS_OK)
            state.SkipWithError("expat failed");
        XML_ParserFree(parser);
    }
    benchmark::DoNotOptimize(counts);
    setCounters(state, text.size());
}

// --- working memory -------------------------------------------------------------

// A chain of `depth` objects and the document that nests that deep, with
// `repeats` values at each level.
struct ChainDocument {
    std::vector<bench::Chain> links;
    std::string text;

    ChainDocument(size_t depth, size_t repeats) : links(depth) {
        for (size_t i = 0; i + 1 < depth; ++i)
            links[i].next = &links[i + 1];
        text = "<root type=\"Chain\">";
        for (size_t level = 0; level < depth; ++level) {
            if (level != 0)
                text += "<property name=\"next\">";
            for (size_t i = 0; i < repeats; ++i)
                text += "<property name=\"value\" type=\"int\">" + std::to_string(i) + "</property>";
        }
        for (size_t level = 1; level < depth; ++level)
            text += "</property>";
        text += "</root>";
    }
};

void readChain(benchmark::State& state, size_t depth, size_t repeats) {
    ChainDocument document(depth, repeats);
    tavi::Variant target(document.links.data());
    size_t peak = 0;
    for (auto _ : state) {
        bench::PeakMemory memory;
        tavi::FixedMemoryStream stream(document.text);
        orv::XMLSerializer serializer(stream);
        if (!serializer.deserialize(target))
            state.SkipWithError("the document was not read");
        peak = memory.peakBytes();
    }
    state.counters["peak_bytes"] = double(peak);
    state.counters["document_bytes"] = double(document.text.size());
}

void BM_XmlReaderMemoryLength(benchmark::State& state) { readChain(state, 1, size_t(state.range(0))); }
void BM_XmlReaderMemoryDepth(benchmark::State& state) { readChain(state, size_t(state.range(0)), 1); }

} // namespace

BENCHMARK(oursXmlWrite<asValue>)->Name("xml_write/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(oursXmlWrite<asHandle>)->Name("xml_write_handle/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(oursXmlRead<asValue>)->Name("xml_read/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(oursXmlRead<asHandle>)->Name("xml_read_handle/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK(expatXmlRead)->Name("xml_read/expat")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_XmlReaderMemoryLength)->Arg(10)->Arg(1000)->Arg(100000);
BENCHMARK(BM_XmlReaderMemoryDepth)->Arg(10)->Arg(100)->Arg(1000);
