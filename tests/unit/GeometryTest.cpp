#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>

#include "scene/Geometry.h"
#include "tests/common/VecTestHelpers.h"

namespace {

std::uint32_t ReadBits(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

Vec3 Subtract(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 ComputeNormal(const Vec3& p, const Vec3& q, const Vec3& r)
{
    Vec3 n{};
    ComputeFaceNormal(p, q, r, &n);
    return n;
}

// The length rounded to the nearest float.
float RoundLengthToFloat(const Vec3& v)
{
    return static_cast<float>(ComputeNorm(v));
}

const Vec3& GetCorner(int triangle, int i)
{
    return icosaVertices[icosaTriangles[triangle][i]];
}

bool TriangleHasVertex(int triangle, std::uint32_t vertex)
{
    const auto* corners = icosaTriangles[triangle];
    return std::find(corners, corners + 3, vertex) != corners + 3;
}

int CountSharedVertices(std::uint32_t triangleA, std::uint32_t triangleB)
{
    int shared = 0;
    for (int i = 0; i < 3; ++i) {
        shared += TriangleHasVertex(static_cast<int>(triangleB), icosaTriangles[triangleA][i]) ? 1 : 0;
    }
    return shared;
}

// The pentagon under icosahedron vertex k, as the dual vertices it lists.
std::array<Vec3, PENTAGON_CORNERS> CollectPentagon(int k)
{
    std::array<Vec3, PENTAGON_CORNERS> corners{};
    for (int i = 0; i < PENTAGON_CORNERS; ++i) {
        corners[i] = dualVertices[pentagonFaces[k][i]];
    }
    return corners;
}

Vec3 ComputePentagonCentre(int k)
{
    Vec3 centre{0.0f, 0.0f, 0.0f};
    for (const Vec3& corner : CollectPentagon(k)) {
        centre = {centre.x + corner.x / 5.0f, centre.y + corner.y / 5.0f, centre.z + corner.z / 5.0f};
    }
    return centre;
}

class DualVertexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::fill(std::begin(dualVertices), std::end(dualVertices), Vec3{0.0f, 0.0f, 0.0f});
        BuildDualVertices();
    }
};

TEST(IcosahedronTest, CoordinatesAreTheNearestFloatsNotTheShortDecimals)
{
    EXPECT_EQ(ReadBits(icosaVertices[1].x), 0x3F069650u);
    EXPECT_EQ(ReadBits(icosaVertices[1].z), 0x3F59C440u);
    EXPECT_NE(ReadBits(icosaVertices[1].x), ReadBits(0.525731f));
    EXPECT_NE(ReadBits(icosaVertices[1].z), ReadBits(0.850651f));
}

TEST(IcosahedronTest, VerticesAreDistinctAndOnTheUnitSphere)
{
    std::set<std::array<float, 3>> seen;
    for (const Vec3& v : icosaVertices) {
        EXPECT_NEAR(ComputeNorm(v), 1.0, 1e-7);
        seen.insert({v.x, v.y, v.z});
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(ICOSA_VERTEX_COUNT));
}

TEST(IcosahedronTest, TrianglesAreEquilateralWithTheEdgeOfARegularIcosahedron)
{
    // Circumradius 1 gives edge 1 / sin(72°).
    const double edge = 1.0 / std::sin(std::acos(-1.0) * 2.0 / 5.0);
    for (int t = 0; t < ICOSA_TRIANGLE_COUNT; ++t) {
        SCOPED_TRACE(t);
        EXPECT_NEAR(ComputeNorm(Subtract(GetCorner(t, 0), GetCorner(t, 1))), edge, 1e-6);
        EXPECT_NEAR(ComputeNorm(Subtract(GetCorner(t, 1), GetCorner(t, 2))), edge, 1e-6);
        EXPECT_NEAR(ComputeNorm(Subtract(GetCorner(t, 2), GetCorner(t, 0))), edge, 1e-6);
    }
}

TEST(IcosahedronTest, TrianglesCloseTheSurfaceWithOneWinding)
{
    // Each directed edge once: every edge is shared by two triangles that run it in opposite
    // directions, as on a closed surface wound one way throughout.
    std::set<std::pair<std::uint32_t, std::uint32_t>> directedEdges;
    for (const auto& corners : icosaTriangles) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(directedEdges.insert({corners[i], corners[(i + 1) % 3]}).second);
        }
    }
    EXPECT_EQ(directedEdges.size(), 60u);
    for (const auto& edge : directedEdges) {
        EXPECT_EQ(directedEdges.count({edge.second, edge.first}), 1u);
    }
}

TEST(IcosahedronTest, EveryTriangleNormalIsAUnitVectorPointingOutwards)
{
    for (int t = 0; t < ICOSA_TRIANGLE_COUNT; ++t) {
        SCOPED_TRACE(t);
        const Vec3 n = ComputeNormal(GetCorner(t, 0), GetCorner(t, 1), GetCorner(t, 2));
        EXPECT_NEAR(ComputeNorm(n), 1.0, 1e-6);
        // Outwards: along the face's centroid, and square to its edges.
        const Vec3 centroid = ComputeCentroid(GetCorner(t, 0), GetCorner(t, 1), GetCorner(t, 2));
        EXPECT_NEAR(ComputeDotProduct(n, centroid), 0.794654, 1e-6);
        EXPECT_NEAR(ComputeDotProduct(n, Subtract(GetCorner(t, 1), GetCorner(t, 0))), 0.0, 1e-6);
    }
    const Vec3 first = ComputeNormal(GetCorner(0, 0), GetCorner(0, 1), GetCorner(0, 2));
    EXPECT_GT(first.y, 0.0f);
    EXPECT_GT(first.z, 0.0f);
}

TEST(FaceNormalTest, CounterClockwiseTrianglePointsTowardsTheViewer)
{
    const Vec3 origin{0.0f, 0.0f, 0.0f};
    const Vec3 alongX{2.0f, 0.0f, 0.0f};
    const Vec3 alongY{0.0f, 3.0f, 0.0f};
    const Vec3 up = ComputeNormal(origin, alongX, alongY);
    EXPECT_EQ(up.x, 0.0f);
    EXPECT_EQ(up.y, 0.0f);
    EXPECT_EQ(up.z, 1.0f);
    EXPECT_EQ(ComputeNormal(origin, alongY, alongX).z, -1.0f);
}

TEST(FaceNormalTest, DegenerateAndTinyTrianglesAreLeftUnnormalised)
{
    const Vec3 point{0.3f, -0.7f, 0.2f};
    const Vec3 zero = ComputeNormal(point, point, point);
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);

    // Two coincident corners, as in a fan drawn before the dual vertices exist.
    const Vec3 origin{0.0f, 0.0f, 0.0f};
    EXPECT_EQ(ComputeNorm(ComputeNormal(icosaVertices[0], origin, origin)), 0.0);

    // A cross product of length 1e-10 is at or below the 1e-8 threshold: it stays as it is.
    const Vec3 tiny = ComputeNormal(origin, Vec3{1e-5f, 0.0f, 0.0f}, Vec3{0.0f, 1e-5f, 0.0f});
    EXPECT_NEAR(tiny.z, 1e-10, 1e-14);
    // Length 1e-6 is above it: normalised.
    const Vec3 small = ComputeNormal(origin, Vec3{1e-3f, 0.0f, 0.0f}, Vec3{0.0f, 1e-3f, 0.0f});
    EXPECT_FLOAT_EQ(small.z, 1.0f);
}

TEST_F(DualVertexTest, FirstDualVertexIsTheCentreOfTheFirstFace)
{
    EXPECT_NEAR(dualVertices[0].x, 0.0, 5e-7);
    EXPECT_NEAR(dualVertices[0].y, 0.356822, 5e-7);
    EXPECT_NEAR(dualVertices[0].z, 0.934172, 5e-7);
}

TEST_F(DualVertexTest, EachDualVertexIsItsFaceCentreOnTheUnitSphere)
{
    for (int t = 0; t < DUAL_VERTEX_COUNT; ++t) {
        SCOPED_TRACE(t);
        const Vec3& d = dualVertices[t];
        EXPECT_EQ(RoundLengthToFloat(d), 1.0f);
        const Vec3 centroid = ComputeCentroid(GetCorner(t, 0), GetCorner(t, 1), GetCorner(t, 2));
        EXPECT_NEAR(ComputeDotProduct(d, centroid), ComputeNorm(centroid), 1e-6);
    }
}

TEST_F(DualVertexTest, EachPentagonRingsItsVertexCounterClockwiseThroughNeighbouringTriangles)
{
    for (int k = 0; k < PENTAGON_COUNT; ++k) {
        SCOPED_TRACE(k);
        const std::uint32_t* ring = pentagonFaces[k];
        std::set<std::uint32_t> members(ring, ring + PENTAGON_CORNERS);
        std::set<std::uint32_t> aroundVertex;
        for (int t = 0; t < ICOSA_TRIANGLE_COUNT; ++t) {
            if (TriangleHasVertex(t, static_cast<std::uint32_t>(k))) {
                aroundVertex.insert(static_cast<std::uint32_t>(t));
            }
        }
        EXPECT_EQ(members, aroundVertex);

        const auto corners = CollectPentagon(k);
        for (int i = 0; i < PENTAGON_CORNERS; ++i) {
            const int next = (i + 1) % PENTAGON_CORNERS;
            const int afterNext = (i + 2) % PENTAGON_CORNERS;
            // Neighbours in the ring share an edge of the icosahedron: two vertices.
            EXPECT_EQ(CountSharedVertices(ring[i], ring[next]), 2);
            const Vec3 turn = ComputeNormal(corners[i], corners[next], corners[afterNext]);
            EXPECT_GT(ComputeDotProduct(turn, icosaVertices[k]), 0.99);
        }
    }
}

TEST_F(DualVertexTest, PentagonPlanesLieBetweenTheDimpleAndTheSpikeApexes)
{
    for (int k = 0; k < PENTAGON_COUNT; ++k) {
        SCOPED_TRACE(k);
        const Vec3& axis = icosaVertices[k];
        const Vec3 centre = ComputePentagonCentre(k);
        EXPECT_NEAR(ComputeNorm(centre), 0.794654, 1e-6);
        EXPECT_NEAR(ComputeDotProduct(centre, axis), ComputeNorm(centre), 1e-6);
        // The corners lie in one plane square to the axis.
        for (const Vec3& corner : CollectPentagon(k)) {
            EXPECT_NEAR(ComputeDotProduct(corner, axis), 0.794654, 1e-6);
        }
        // Inside the plane at 0.25, 0.65 beyond the corner at 1.65.
        EXPECT_LT(ComputeNorm(Scale(axis, 0.25f)), ComputeNorm(centre));
        EXPECT_NEAR(ComputeNorm(Scale(axis, 1.65f)) - ComputeNorm(axis), 0.65, 1e-6);
    }
}

TEST_F(DualVertexTest, FanTrianglesPointOutwardsForDimplesCornersAndSpikes)
{
    for (float scale : {0.25f, 1.0f, 1.65f}) {
        for (int k = 0; k < PENTAGON_COUNT; ++k) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << " pentagon " << k);
            const Vec3 apex = Scale(icosaVertices[k], scale);
            const auto corners = CollectPentagon(k);
            for (int i = 0; i < PENTAGON_CORNERS; ++i) {
                const Vec3& from = corners[i];
                const Vec3& to = corners[(i + 1) % PENTAGON_CORNERS];
                const Vec3 n = ComputeNormal(apex, from, to);
                EXPECT_NEAR(ComputeNorm(n), 1.0, 1e-6);
                EXPECT_GT(ComputeDotProduct(n, icosaVertices[k]), 0.0);
                EXPECT_NEAR(ComputeDotProduct(n, Subtract(from, apex)), 0.0, 1e-6);
                EXPECT_NEAR(ComputeDotProduct(n, Subtract(to, apex)), 0.0, 1e-6);
            }
        }
    }
}

} // namespace
