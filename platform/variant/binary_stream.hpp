#pragma once
// Raw binary values over an IDataStream.
//
// Format: integers and floating-point values as their bytes in little-endian
// order (bool as one byte 0 or 1), strings as a 32-bit little-endian byte
// count followed by the bytes (wide strings as UTF-8).

#include "platform/variant/basic_stream.hpp"

#include <bit>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavi {

template <class T>
concept BinaryScalar = std::integral<T> || std::same_as<T, float> || std::same_as<T, double>;

class BinaryStream : public BasicStream {
public:
    explicit BinaryStream(IDataStream& data) noexcept : BasicStream(data) {}

    template <BinaryScalar T>
    BinaryStream& operator<<(T value);
    BinaryStream& operator<<(std::string_view text);
    BinaryStream& operator<<(const std::string& text) { return *this << std::string_view(text); }
    BinaryStream& operator<<(const char* text); // null: FAIL and a diagnostic
    BinaryStream& operator<<(std::wstring_view text);
    BinaryStream& operator<<(const std::wstring& text) { return *this << std::wstring_view(text); }

    // A short read sets FAIL (and EOF_BIT) and leaves the target unchanged.
    template <BinaryScalar T>
    BinaryStream& operator>>(T& value);
    BinaryStream& operator>>(std::string& text);
    BinaryStream& operator>>(std::wstring& text);

private:
    void writeLittleEndian(std::uint64_t bits, size_t size);
    bool readLittleEndian(std::uint64_t& bits, size_t size);
};

template <BinaryScalar T>
BinaryStream& BinaryStream::operator<<(T value) {
    if constexpr (std::same_as<T, float>)
        writeLittleEndian(std::bit_cast<std::uint32_t>(value), 4);
    else if constexpr (std::same_as<T, double>)
        writeLittleEndian(std::bit_cast<std::uint64_t>(value), 8);
    else if constexpr (std::same_as<T, bool>)
        writeLittleEndian(value ? 1 : 0, 1);
    else
        writeLittleEndian(static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value)), sizeof(T));
    return *this;
}

template <BinaryScalar T>
BinaryStream& BinaryStream::operator>>(T& value) {
    std::uint64_t bits = 0;
    if (!readLittleEndian(bits, std::same_as<T, bool> ? 1 : sizeof(T)))
        return *this;
    if constexpr (std::same_as<T, float>)
        value = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    else if constexpr (std::same_as<T, double>)
        value = std::bit_cast<double>(bits);
    else if constexpr (std::same_as<T, bool>) {
        if (bits > 1)
            setState(FAIL); // not a byte this stream writes for a bool
        else
            value = bits != 0;
    } else
        value = static_cast<T>(static_cast<std::make_unsigned_t<T>>(bits));
    return *this;
}

} // namespace tavi
