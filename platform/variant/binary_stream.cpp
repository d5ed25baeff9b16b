#include "platform/variant/binary_stream.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/text_conversion.hpp"

#include <algorithm>
#include <limits>

namespace tavi {

void BinaryStream::writeLittleEndian(std::uint64_t bits, size_t size) {
    unsigned char bytes[8];
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
    write(bytes, size);
}

bool BinaryStream::readLittleEndian(std::uint64_t& bits, size_t size) {
    if (fail())
        return false;
    unsigned char bytes[8];
    if (read(bytes, size) != size) {
        setState(FAIL);
        return false;
    }
    bits = 0;
    for (size_t i = 0; i < size; ++i)
        bits |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return true;
}

BinaryStream& BinaryStream::operator<<(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        Kor::errorMessage("tavi::BinaryStream: string of %zu bytes is too long", text.size());
        setState(FAIL);
        return *this;
    }
    writeLittleEndian(text.size(), 4);
    write(text.data(), text.size());
    return *this;
}

BinaryStream& BinaryStream::operator<<(const char* text) {
    if (!text) {
        Kor::warningMessage("tavi::BinaryStream: null string written");
        setState(FAIL);
        return *this;
    }
    return *this << std::string_view(text);
}

BinaryStream& BinaryStream::operator<<(std::wstring_view text) { return *this << upcast(text); }

BinaryStream& BinaryStream::operator>>(std::string& text) {
    std::uint64_t length = 0;
    if (!readLittleEndian(length, 4))
        return *this;
    // Grow as the bytes arrive, so a corrupt length cannot demand a huge allocation.
    std::string result;
    char chunk[4096];
    while (result.size() < length) {
        const size_t want = std::min<std::uint64_t>(sizeof chunk, length - result.size());
        const size_t got = read(chunk, want);
        result.append(chunk, got);
        if (got != want) {
            setState(FAIL);
            return *this;
        }
    }
    text = std::move(result);
    return *this;
}

BinaryStream& BinaryStream::operator>>(std::wstring& text) {
    std::string utf8;
    if (*this >> utf8)
        text = downcast(utf8);
    return *this;
}

} // namespace tavi
