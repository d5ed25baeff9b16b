#pragma once
// Non-owning reference to a run of characters (pointer and length).

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/hash.hpp"

#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace Kor {

template <typename Char>
class BasicStringRef {
public:
    constexpr BasicStringRef() noexcept = default;
    constexpr BasicStringRef(const Char* data, size_t length) noexcept : m_data(data), m_length(length) {}
    // A null pointer is a caller bug: report it and refer to the empty string.
    BasicStringRef(const Char* str) : m_data(str), m_length(0) {
        KOR_ASSERT(str != 0);
        if (str)
            m_length = std::char_traits<Char>::length(str);
        else
            m_data = emptyString();
    }
    BasicStringRef(const std::basic_string<Char>& str) noexcept : m_data(str.data()), m_length(str.size()) {}
    constexpr BasicStringRef(std::basic_string_view<Char> str) noexcept
        : m_data(str.data()), m_length(str.size()) {}

    constexpr const Char* data() const noexcept { return m_data; }
    constexpr size_t size() const noexcept { return m_length; }
    constexpr size_t length() const noexcept { return m_length; }
    constexpr bool empty() const noexcept { return m_length == 0; }
    constexpr const Char* begin() const noexcept { return m_data; }
    constexpr const Char* end() const noexcept { return m_data + m_length; }
    constexpr Char operator[](size_t i) const noexcept { return m_data[i]; }

    constexpr std::basic_string_view<Char> view() const noexcept { return {m_data, m_length}; }
    constexpr operator std::basic_string_view<Char>() const noexcept { return view(); }
    std::basic_string<Char> str() const { return std::basic_string<Char>(m_data, m_length); }

    friend bool operator==(BasicStringRef a, BasicStringRef b) noexcept { return a.view() == b.view(); }

    uint64_t hash() const noexcept {
        return hash_string(reinterpret_cast<const char*>(m_data), m_length * sizeof(Char));
    }

private:
    static const Char* emptyString() noexcept {
        static const Char empty[1] = {};
        return empty;
    }

    const Char* m_data = emptyString();
    size_t m_length = 0;
};

using StringRef = BasicStringRef<char>;

struct StringRefHash {
    template <typename Char>
    size_t operator()(BasicStringRef<Char> s) const noexcept {
        return static_cast<size_t>(s.hash());
    }
};

} // namespace Kor

template <typename Char>
struct std::hash<Kor::BasicStringRef<Char>> {
    size_t operator()(Kor::BasicStringRef<Char> s) const noexcept { return static_cast<size_t>(s.hash()); }
};
