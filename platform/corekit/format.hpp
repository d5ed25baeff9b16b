#pragma once
// printf-style formatting into a std::string.

#include <cstdarg>
#include <string>

namespace Kor {

std::string kor_format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string kor_vformat(const char* format, va_list args);

} // namespace Kor

using Kor::kor_format;
