#include "platform/corekit/format.hpp"

#include <cstdio>

namespace Kor {

std::string kor_vformat(const char* format, va_list args) {
    if (!format)
        return {};
    char buffer[256];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (needed < 0)
        return {};
    if (static_cast<size_t>(needed) < sizeof buffer)
        return std::string(buffer, static_cast<size_t>(needed));
    std::string result(static_cast<size_t>(needed), '\0');
    std::vsnprintf(result.data(), result.size() + 1, format, args);
    return result;
}

std::string kor_format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = kor_vformat(format, args);
    va_end(args);
    return result;
}

} // namespace Kor
