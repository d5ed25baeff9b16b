#pragma once
// The whole math library.

#include "platform/kor/math/decomposed_matrix.hpp"
#include "platform/kor/math/euler_angles.hpp"
#include "platform/kor/math/matrix.hpp"
#include "platform/kor/math/quaternion.hpp"
#include "platform/kor/math/vector.hpp"
