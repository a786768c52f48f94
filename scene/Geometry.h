#pragma once

#include <cstdint>

#include "common/Vec3.h"

constexpr int ICOSA_VERTEX_COUNT = 12;
constexpr int ICOSA_TRIANGLE_COUNT = 20;
constexpr int PENTAGON_COUNT = 12;
constexpr int PENTAGON_CORNERS = 5;
// One dual vertex per icosahedron face: the dodecahedron's corners.
constexpr int DUAL_VERTEX_COUNT = ICOSA_TRIANGLE_COUNT;

extern const Vec3 icosaVertices[ICOSA_VERTEX_COUNT];
extern const std::uint32_t icosaTriangles[ICOSA_TRIANGLE_COUNT][3];
extern const std::uint32_t pentagonFaces[PENTAGON_COUNT][PENTAGON_CORNERS];

// All zero until BuildDualVertices runs at scene setup; entry t belongs to triangle t.
extern Vec3 dualVertices[DUAL_VERTEX_COUNT];

// Normal of the triangle p, q, r (drawing order): unit length, except that a cross product of
// length 1e-8 or less (a degenerate or tiny triangle) is left as it is.
void ComputeFaceNormal(const Vec3& p, const Vec3& q, const Vec3& r, Vec3* out);

// Fills dualVertices: the face centres of the icosahedron pushed out onto the unit sphere.
void BuildDualVertices();
