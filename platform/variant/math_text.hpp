#pragma once
// Text form of the engine math types: their float components separated by
// single blanks, in the order listed per type below. Reading accepts any
// whitespace between the numbers and changes the target only when every
// component was read.

#include "platform/kor/math/math.hpp"
#include "platform/variant/text_stream.hpp"

namespace tavi {

// x y
TextStream& operator<<(TextStream& stream, const Kor::Vector2& v);
TextStream& operator>>(TextStream& stream, Kor::Vector2& v);
// x y z
TextStream& operator<<(TextStream& stream, const Kor::Vector3& v);
TextStream& operator>>(TextStream& stream, Kor::Vector3& v);
// x y z w
TextStream& operator<<(TextStream& stream, const Kor::Vector4& v);
TextStream& operator>>(TextStream& stream, Kor::Vector4& v);
// x y z w
TextStream& operator<<(TextStream& stream, const Kor::Quaternion& q);
TextStream& operator>>(TextStream& stream, Kor::Quaternion& q);
// 16 elements, row by row
TextStream& operator<<(TextStream& stream, const Kor::Matrix& m);
TextStream& operator>>(TextStream& stream, Kor::Matrix& m);
// yaw pitch roll
TextStream& operator<<(TextStream& stream, const Kor::EulerAngles& e);
TextStream& operator>>(TextStream& stream, Kor::EulerAngles& e);
// scale (3), rotation (4), translation (3)
TextStream& operator<<(TextStream& stream, const Kor::DecomposedMatrix& d);
TextStream& operator>>(TextStream& stream, Kor::DecomposedMatrix& d);
// scale (3), pitchYawRoll (3), translation (3)
TextStream& operator<<(TextStream& stream, const Kor::DecomposedMatrixPYR& d);
TextStream& operator>>(TextStream& stream, Kor::DecomposedMatrixPYR& d);

} // namespace tavi
