#include "platform/variant/memory_stream.hpp"

#include <algorithm>
#include <cstring>

namespace tavi {

FixedMemoryStream::FixedMemoryStream(std::string& buffer, Mode mode) noexcept
    : m_string(&buffer), m_mode(mode) {}

FixedMemoryStream::FixedMemoryStream(char* buffer, size_t capacity) noexcept
    : m_span(buffer, buffer ? capacity : 0) {}

FixedMemoryStream::FixedMemoryStream(std::string_view text) noexcept : m_text(text) {}

size_t FixedMemoryStream::size() const noexcept {
    if (m_string)
        return m_string->size();
    if (m_span.data())
        return m_spanUsed;
    return m_text.size();
}

const char* FixedMemoryStream::data() const noexcept {
    if (m_string)
        return m_string->data();
    if (m_span.data())
        return m_span.data();
    return m_text.data();
}

size_t FixedMemoryStream::read(void* buffer, size_t size) {
    if (m_closed)
        return 0;
    const size_t available = this->size() > m_position ? this->size() - m_position : 0;
    const size_t count = std::min(size, available);
    if (count != 0)
        std::memcpy(buffer, data() + m_position, count);
    m_position += count;
    return count;
}

size_t FixedMemoryStream::write(const void* source, size_t size) {
    if (!isWritable() || size == 0)
        return 0;
    const auto* bytes = static_cast<const char*>(source);
    if (m_string) {
        if (m_mode == Mode::APPEND) {
            m_string->append(bytes, size);
            return size;
        }
        m_position = std::min(m_position, m_string->size()); // the owner may have shortened it
        const size_t overlap = std::min(size, m_string->size() - m_position);
        m_string->replace(m_position, overlap, bytes, size);
        m_position += size;
        return size;
    }
    const size_t count = std::min(size, m_span.size() - m_position);
    if (count != 0)
        std::memcpy(m_span.data() + m_position, bytes, count);
    m_position += count;
    m_spanUsed = std::max(m_spanUsed, m_position);
    return count;
}

bool FixedMemoryStream::seek(long long offset, int origin) {
    if (m_closed)
        return false;
    long long base;
    switch (origin) {
        case BEGIN:
            base = 0;
            break;
        case CURRENT:
            base = static_cast<long long>(m_position);
            break;
        case END:
            base = static_cast<long long>(size());
            break;
        default:
            return false;
    }
    // Compared before adding, which could overflow: 0 <= base + offset <= size.
    const auto end = static_cast<long long>(size());
    if (offset < -base || offset > end - base)
        return false;
    m_position = static_cast<size_t>(base + offset);
    return true;
}

} // namespace tavi
