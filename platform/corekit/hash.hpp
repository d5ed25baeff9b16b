#pragma once
// Hashing of byte strings and combining of hashes.

#include <cstddef>
#include <cstdint>

namespace Kor {

// 64-bit FNV-1a over `length` bytes: cheap, stable across runs, good enough
// for the short names the registries key on.
constexpr uint64_t hash_string(const char* data, size_t length) noexcept {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i) {
        h ^= static_cast<unsigned char>(data[i]);
        h *= 1099511628211ull;
    }
    return h;
}

constexpr uint64_t hash_combine(uint64_t seed, uint64_t value) noexcept {
    return seed ^ (value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2));
}

} // namespace Kor
