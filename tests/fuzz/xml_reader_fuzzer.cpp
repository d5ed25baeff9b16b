// libFuzzer target of the XML reader: any bytes, read into a registered
// scene type, into a collection and into a void target. Whatever reads into a void target must
// write again, and what it writes must read back and write to the same text.

#include "platform/variant/memory_stream.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"
#include "tests/fuzz/fuzz_support.hpp"
#include "tests/support/keyed_list.hpp"
#include "tests/support/xml_scene.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool read(std::string_view text, tavi::Variant& target) {
    tavi::FixedMemoryStream memory(text);
    orv::XMLSerializer serializer(memory);
    return serializer.deserialize(target);
}

bool write(const tavi::Variant& value, std::string& text) {
    tavi::FixedMemoryStream memory(text);
    orv::XMLSerializer serializer(memory);
    return serializer.serialize(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (fuzz::silenceDiagnostics(), true);
    (void)silenced;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    xml_scene::Sample sample;
    tavi::Variant into(&sample);
    read(text, into);
    orv::test::KeyedList list;
    tavi::Variant intoList(&list);
    read(text, intoList);

    tavi::Variant fresh;
    if (!read(text, fresh))
        return 0;
    std::string first;
    if (!write(fresh, first))
        return 0; // a value read from text that cannot be written again (e.g. an unwritable character)
    tavi::Variant again;
    std::string second;
    fuzz::require(read(first, again), "what was read and written again reads back");
    fuzz::require(write(again, second) && first == second, "and writes to the same text");
    return 0;
}
