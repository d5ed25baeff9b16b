#pragma once
// What the fuzz targets share: quiet diagnostics, a check that stops the run
// with a message, and inputs of the form "<type name>\n<text>".

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/meta_type.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz {

// Diagnostics are expected on bad input; printing them would slow the fuzzer down.
inline void silenceDiagnostics() {
    Kor::setMessageSink([](const Kor::DebugMessage&) {});
}

// A broken promise: libFuzzer keeps the input that caused it.
inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

// A registered type named by the input's first line, and the rest of the input.
struct TypedText {
    const tavi::MetaType* type = nullptr;
    std::string_view text;
};

inline TypedText typedText(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t newline = input.find('\n');
    if (newline == std::string_view::npos)
        return {};
    return {tavi::MetaType::find(input.substr(0, newline)), input.substr(newline + 1)};
}

} // namespace fuzz
