#include "scene/Geometry.h"

#include <cmath>

#include "scene/FloatStore.h"

// The arithmetic is done in double and every result that is kept goes through StoreDouble or
// StoreFloat, which round it to double, and to float where the program keeps it in single
// precision. The x86-64 build rounds there anyway; the 32-bit build's x87 unit computes each
// operation in extended precision, and the explicit stores round it at the same places, under
// either compiler's rule of excess precision. The products of two floats are exact in double;
// what the x87 unit could still round differently from SSE is a sum or difference needing more
// than its 64 bits, which the x87 build of the call-stream test would show for the values it
// sends (the scene's setup and 4,001 frames).

namespace {

// X and Z (X² + Z² = 1) are the single-precision roundings of 0.525731112119133606 and
// 0.850650808352039932. They are written in hex because the short decimals 0.525731 and
// 0.850651 round to neighbouring floats. The checks compare with decimals cast to float: a float
// literal in an expression may carry more precision than a float (it does on the x87 unit under
// GCC 13 and later), a cast never does.
constexpr float X = 0x1.0d2ca0p-1f;
constexpr float Z = 0x1.b38880p-1f;
static_assert(X == static_cast<float>(0.525731112119133606L) &&
                  Z == static_cast<float>(0.850650808352039932L),
              "X and Z must be the nearest floats to the exact coordinates");
static_assert(X != static_cast<float>(0.525731L) && Z != static_cast<float>(0.850651L),
              "the short decimals are different floats");

// Lengths at or below this are treated as zero: the vector is left as it is.
constexpr double MIN_LENGTH = 1e-8;

float Subtract(float a, float b)
{
    return StoreFloat(static_cast<double>(a) - b);
}

Vec3 Subtract(const Vec3& a, const Vec3& b)
{
    return {Subtract(a.x, b.x), Subtract(a.y, b.y), Subtract(a.z, b.z)};
}

Vec3 Add(const Vec3& a, const Vec3& b)
{
    return {StoreFloat(static_cast<double>(a.x) + b.x), StoreFloat(static_cast<double>(a.y) + b.y),
            StoreFloat(static_cast<double>(a.z) + b.z)};
}

float ComputeCrossComponent(float a1, float b2, float a2, float b1)
{
    return StoreFloat(static_cast<double>(a1) * b2 - static_cast<double>(a2) * b1);
}

// The vector's length. Each partial sum is rounded to double as SSE rounds it, and the root is
// taken of the sum as a double. The root itself is taken in long double, which is what the x87
// unit's square root instruction computes, and rounded to double before anything compares or
// divides by it: every build gets the same root, and the 32-bit build gets the instruction itself.
// A compiler that follows the standard's excess precision would not use it for a double (it could
// not round the result there), and would call the C runtime's sqrt, which is built for a newer
// processor.
double Measure(const Vec3& v)
{
    const double xy = StoreDouble(static_cast<double>(v.x) * v.x + static_cast<double>(v.y) * v.y);
    const long double sum = StoreDouble(xy + static_cast<double>(v.z) * v.z);
    return StoreDouble(static_cast<double>(std::sqrt(sum)));
}

void ScaleBy(Vec3* v, double factor)
{
    const double f = StoreDouble(factor);
    v->x = StoreFloat(v->x * f);
    v->y = StoreFloat(v->y * f);
    v->z = StoreFloat(v->z * f);
}

} // namespace

const Vec3 icosaVertices[ICOSA_VERTEX_COUNT] = {
    {-X, 0.0f, Z}, {X, 0.0f, Z},  {-X, 0.0f, -Z}, {X, 0.0f, -Z}, {0.0f, Z, X},  {0.0f, Z, -X},
    {0.0f, -Z, X}, {0.0f, -Z, -X}, {Z, X, 0.0f},  {-Z, X, 0.0f}, {Z, -X, 0.0f}, {-Z, -X, 0.0f},
};

// Counter-clockwise seen from outside, so each face normal points away from the centre.
const std::uint32_t icosaTriangles[ICOSA_TRIANGLE_COUNT][3] = {
    {0, 1, 4},  {0, 4, 9},  {0, 9, 11}, {0, 6, 1},  {0, 11, 6}, {1, 6, 10}, {1, 10, 8},
    {1, 8, 4},  {2, 3, 7},  {2, 5, 3},  {2, 9, 5},  {2, 11, 9}, {2, 7, 11}, {3, 5, 8},
    {3, 8, 10}, {3, 10, 7}, {4, 5, 9},  {4, 8, 5},  {6, 7, 10}, {6, 11, 7},
};

// Row k: the triangles around icosahedron vertex k, counter-clockwise seen from outside, which
// are the corners (dual vertices) of the dodecahedron face under that vertex.
const std::uint32_t pentagonFaces[PENTAGON_COUNT][PENTAGON_CORNERS] = {
    {0, 1, 2, 4, 3},     {0, 3, 5, 6, 7},     {9, 8, 12, 11, 10},  {9, 13, 14, 15, 8},
    {0, 7, 17, 16, 1},   {9, 10, 16, 17, 13}, {18, 5, 3, 4, 19},   {15, 18, 19, 12, 8},
    {6, 14, 13, 17, 7},  {1, 16, 10, 11, 2},  {5, 18, 15, 14, 6},  {2, 11, 12, 19, 4},
};

Vec3 dualVertices[DUAL_VERTEX_COUNT] = {};

void ComputeFaceNormal(const Vec3& p, const Vec3& q, const Vec3& r, Vec3* out)
{
    const Vec3 a = Subtract(p, q);
    const Vec3 b = Subtract(q, r);
    out->x = ComputeCrossComponent(a.y, b.z, a.z, b.y);
    out->y = ComputeCrossComponent(a.z, b.x, a.x, b.z);
    out->z = ComputeCrossComponent(a.x, b.y, a.y, b.x);

    // The threshold sees the length as a double; the scaling uses it rounded to float.
    const double length = Measure(*out);
    if (length > MIN_LENGTH) {
        ScaleBy(out, 1.0 / StoreFloat(length));
    }
}

void BuildDualVertices()
{
    for (int t = 0; t < ICOSA_TRIANGLE_COUNT; ++t) {
        const std::uint32_t* corners = icosaTriangles[t];
        Vec3 sum = Add(Add(icosaVertices[corners[1]], icosaVertices[corners[2]]),
                       icosaVertices[corners[0]]);
        const double length = Measure(sum);
        if (length > MIN_LENGTH) {
            ScaleBy(&sum, 1.0 / length);
        }
        dualVertices[t] = sum;
    }
}
