// Converts text to a value of a registered type (VariantConverter, what a
// property panel's text box does) and checks what a conversion promises: a
// refused one leaves the target as it was; a value made from text that
// converts back to text converts from that text to the same value again.
// Input: a type name, a newline, the text.

#include "platform/variant/variant.hpp"
#include "platform/variant/variant_converter.hpp"
#include "tests/fuzz/fuzz_support.hpp"

#include <string>

namespace {

// The value as text, when it converts to text at all.
bool asText(const tavi::Variant& value, std::string& text) {
    tavi::Variant converted{std::string()};
    if (!tavi::VariantConverter::convert(converted, value))
        return false;
    text = *converted.castPtr<std::string>();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [type, text] = fuzz::typedText(data, size);
    if (!type)
        return 0;
    const tavi::Variant original(type);
    if (original.isVoid())
        return 0;
    tavi::Variant value = original;
    if (!tavi::VariantConverter::convert(value, tavi::Variant(std::string(text)))) {
        if (type->hasEquality())
            fuzz::require(value == original, "a refused conversion leaves the target alone");
        return 0;
    }
    std::string back;
    if (!asText(value, back))
        return 0;
    tavi::Variant again = original;
    fuzz::require(tavi::VariantConverter::convert(again, tavi::Variant(back)),
                  "the text of a value converts");
    std::string backAgain;
    fuzz::require(asText(again, backAgain) && backAgain == back, "and gives the same value");
    return 0;
}
