#pragma once
// The text form of a value, as keys and names use it.

#include "platform/variant/variant.hpp"
#include "platform/variant/variant_converter.hpp"

#include <optional>
#include <string>

namespace orv::variant_text_details {

// The string `value` holds, or what the value converter makes of it;
// nothing when it has no text form.
inline std::optional<std::string> textOf(const tavi::Variant& value) {
    if (const std::string* text = value.isType<std::string>() ? value.castPtr<std::string>() : nullptr)
        return *text;
    tavi::Variant converted{std::string()};
    if (tavi::VariantConverter::convert(converted, value))
        return *converted.castPtr<std::string>();
    return std::nullopt;
}

} // namespace orv::variant_text_details
