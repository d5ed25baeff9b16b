#include "platform/variant/math_text.hpp"

#include <initializer_list>

namespace tavi {
namespace {

void writeFloats(TextStream& stream, std::initializer_list<float> values) {
    bool first = true;
    for (const float value : values) {
        if (!first)
            stream << ' ';
        stream << value;
        first = false;
    }
}

// Reads into a copy and commits it only when all of it was read.
template <class T, class Read>
TextStream& readAll(TextStream& stream, T& target, Read read) {
    T value = target;
    read(value);
    if (!stream.fail())
        target = value;
    return stream;
}

} // namespace

TextStream& operator<<(TextStream& stream, const Kor::Vector2& v) {
    writeFloats(stream, {v.x, v.y});
    return stream;
}
TextStream& operator>>(TextStream& stream, Kor::Vector2& v) {
    return readAll(stream, v, [&](Kor::Vector2& r) { stream >> r.x >> r.y; });
}

TextStream& operator<<(TextStream& stream, const Kor::Vector3& v) {
    writeFloats(stream, {v.x, v.y, v.z});
    return stream;
}
TextStream& operator>>(TextStream& stream, Kor::Vector3& v) {
    return readAll(stream, v, [&](Kor::Vector3& r) { stream >> r.x >> r.y >> r.z; });
}

TextStream& operator<<(TextStream& stream, const Kor::Vector4& v) {
    writeFloats(stream, {v.x, v.y, v.z, v.w});
    return stream;
}
TextStream& operator>>(TextStream& stream, Kor::Vector4& v) {
    return readAll(stream, v, [&](Kor::Vector4& r) { stream >> r.x >> r.y >> r.z >> r.w; });
}

TextStream& operator<<(TextStream& stream, const Kor::Quaternion& q) {
    writeFloats(stream, {q.x, q.y, q.z, q.w});
    return stream;
}
TextStream& operator>>(TextStream& stream, Kor::Quaternion& q) {
    return readAll(stream, q, [&](Kor::Quaternion& r) { stream >> r.x >> r.y >> r.z >> r.w; });
}

TextStream& operator<<(TextStream& stream, const Kor::Matrix& m) {
    for (int row = 0; row < 4; ++row) {
        if (row != 0)
            stream << ' ';
        stream << m[row];
    }
    return stream;
}
TextStream& operator>>(TextStream& stream, Kor::Matrix& m) {
    return readAll(stream, m, [&](Kor::Matrix& r) {
        for (int row = 0; row < 4; ++row)
            stream >> r[row];
    });
}

TextStream& operator<<(TextStream& stream, const Kor::EulerAngles& e) {
    writeFloats(stream, {e.yaw, e.pitch, e.roll});
    return stream;
}
TextStream& operator>>(TextStream& stream, Kor::EulerAngles& e) {
    return readAll(stream, e, [&](Kor::EulerAngles& r) { stream >> r.yaw >> r.pitch >> r.roll; });
}

TextStream& operator<<(TextStream& stream, const Kor::DecomposedMatrix& d) {
    return stream << d.scale << ' ' << d.rotation << ' ' << d.translation;
}
TextStream& operator>>(TextStream& stream, Kor::DecomposedMatrix& d) {
    return readAll(stream, d,
                   [&](Kor::DecomposedMatrix& r) { stream >> r.scale >> r.rotation >> r.translation; });
}

TextStream& operator<<(TextStream& stream, const Kor::DecomposedMatrixPYR& d) {
    return stream << d.scale << ' ' << d.pitchYawRoll << ' ' << d.translation;
}
TextStream& operator>>(TextStream& stream, Kor::DecomposedMatrixPYR& d) {
    return readAll(stream, d, [&](Kor::DecomposedMatrixPYR& r) {
        stream >> r.scale >> r.pitchYawRoll >> r.translation;
    });
}

} // namespace tavi
