#include "platform/variant/basic_stream.hpp"

#include <cstring>
#include <limits>

namespace tavi {

size_t BasicStream::read(void* buffer, size_t size) {
    if (fail() || size == 0)
        return 0;
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < size && !m_pushedBack.empty()) {
        out[done++] = m_pushedBack.back();
        m_pushedBack.pop_back();
    }
    // Data streams may return less than asked for before their end (a socket,
    // the escaping stream), so keep reading until one returns nothing.
    while (done < size) {
        const size_t got = m_data->read(out + done, size - done);
        if (got == 0)
            break;
        done += got;
    }
    if (done < size)
        setState(EOF_BIT);
    return done;
}

size_t BasicStream::write(const void* data, size_t size) {
    if (fail() || size == 0)
        return 0;
    const size_t written = m_data->write(data, size);
    if (written < size)
        setState(BAD);
    return written;
}

bool BasicStream::seek(long long offset, int origin) {
    if (bad())
        return false;
    // A position relative to the current one counts from what the caller has
    // read, which excludes pushed-back bytes.
    bool inRange = true;
    if (origin == IDataStream::CURRENT) {
        const auto pushedBack = static_cast<long long>(m_pushedBack.size());
        // Lower than that is before any position a stream can have (and would overflow).
        inRange = offset >= std::numeric_limits<long long>::min() + pushedBack;
        if (inRange)
            offset -= pushedBack;
    }
    m_pushedBack.clear();
    if (!inRange || !m_data->seek(offset, origin)) {
        setState(FAIL);
        return false;
    }
    clearState(EOF_BIT);
    return true;
}

long long BasicStream::tell() const {
    const long long position = m_data->tell();
    if (position < 0)
        return -1;
    return position - static_cast<long long>(m_pushedBack.size());
}

bool BasicStream::sync() {
    if (bad())
        return false;
    if (!m_data->sync()) {
        setState(BAD);
        return false;
    }
    return true;
}

int BasicStream::get() {
    // Text is parsed a byte at a time, mostly after a peek: a pushed-back
    // byte is taken without going through read().
    if (!fail() && !m_pushedBack.empty()) {
        const auto byte = static_cast<unsigned char>(m_pushedBack.back());
        m_pushedBack.pop_back();
        return byte;
    }
    unsigned char byte;
    if (read(&byte, 1) != 1)
        return END_OF_STREAM;
    return byte;
}

int BasicStream::peek() {
    // A byte already pushed back is the answer; looking again changes nothing.
    if (!fail() && !m_pushedBack.empty())
        return static_cast<unsigned char>(m_pushedBack.back());
    const int c = get();
    if (c != END_OF_STREAM)
        m_pushedBack.push_back(static_cast<char>(c));
    return c;
}

bool BasicStream::unget(char c) {
    if (fail())
        return false;
    m_pushedBack.push_back(c);
    clearState(EOF_BIT);
    return true;
}

} // namespace tavi
