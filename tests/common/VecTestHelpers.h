#pragma once

// The small vector helpers that the unit suite (tests/unit) and the GL call-sequence tests
// (tests/glcalls) share: plain float and double arithmetic, a reference beside the program's own.

#include <cmath>

#include "common/Vec3.h"

inline double ComputeDotProduct(const Vec3& a, const Vec3& b)
{
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
           static_cast<double>(a.z) * b.z;
}

inline double ComputeNorm(const Vec3& v)
{
    return std::sqrt(ComputeDotProduct(v, v));
}

// Each coordinate rounded once to float: what the program's rounding stores give for a product of
// two floats too, as that product is exact in double.
inline Vec3 Scale(const Vec3& v, float factor)
{
    return {v.x * factor, v.y * factor, v.z * factor};
}

inline Vec3 ComputeCentroid(const Vec3& a, const Vec3& b, const Vec3& c)
{
    return {(a.x + b.x + c.x) / 3.0f, (a.y + b.y + c.y) / 3.0f, (a.z + b.z + c.z) / 3.0f};
}
