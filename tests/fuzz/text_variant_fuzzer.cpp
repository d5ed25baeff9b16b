// Reads text as a value of a registered type (TextStream >> Variant, what the
// XML reader and a property panel do) and checks what a read promises: a
// refused read leaves the value as it was; a value read writes a text that
// reads back to a value writing the same text.
// Input: a type name, a newline, the text.

#include "platform/variant/memory_stream.hpp"
#include "platform/variant/variant.hpp"
#include "platform/variant/variant_stream.hpp"
#include "tests/fuzz/fuzz_support.hpp"

#include <string>

namespace {

std::string write(const tavi::Variant& value) {
    std::string text;
    tavi::FixedMemoryStream memory(text);
    tavi::TextStream stream(memory);
    stream << value;
    fuzz::require(!stream.fail(), "a value with a text form writes");
    return text;
}

// Whether the read took (text may be left over).
bool read(std::string_view text, tavi::Variant& value) {
    tavi::FixedMemoryStream memory(text);
    tavi::TextStream stream(memory);
    stream >> value;
    return !stream.fail();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [type, text] = fuzz::typedText(data, size);
    if (!type || !type->hasTextForm())
        return 0;
    const tavi::Variant original(type);
    if (original.isVoid())
        return 0; // not default-constructible
    const std::string before = write(original);
    tavi::Variant value = original;
    if (!read(text, value)) {
        fuzz::require(write(value) == before, "a refused read leaves the value alone");
        return 0;
    }
    const std::string once = write(value);
    tavi::Variant again = original;
    fuzz::require(read(once, again), "what was written reads back");
    fuzz::require(write(again) == once, "what reads back writes the same text");
    return 0;
}
