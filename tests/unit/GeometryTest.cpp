#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>

#include "scene/Geometry.h"

namespace {

std::uint32_t Bits(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double Dot(const Vec3& a, const Vec3& b)
{
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
           static_cast<double>(a.z) * b.z;
}

double Norm(const Vec3& v)
{
    return std::sqrt(Dot(v, v));
}

Vec3 Minus(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 Scaled(const Vec3& v, float factor)
{
    return {v.x * factor, v.y * factor, v.z * factor};
}

Vec3 Normal(const Vec3& p, const Vec3& q, const Vec3& r)
{
    Vec3 n{};
    ComputeFaceNormal(p, q, r, &n);
    return n;
}

Vec3 Centroid(const Vec3& a, const Vec3& b, const Vec3& c)
{
    return {(a.x + b.x + c.x) / 3.0f, (a.y + b.y + c.y) / 3.0f, (a.z + b.z + c.z) / 3.0f};
}

// The length rounded to the nearest float.
float FloatLength(const Vec3& v)
{
    return static_cast<float>(Norm(v));
}

const Vec3& Corner(int triangle, int i)
{
    return icosaVertices[icosaTriangles[triangle][i]];
}

bool TriangleHasVertex(int triangle, std::uint32_t vertex)
{
    const auto* corners = icosaTriangles[triangle];
    return std::find(corners, corners + 3, vertex) != corners + 3;
}

int SharedVertexCount(std::uint32_t triangleA, std::uint32_t triangleB)
{
    int shared = 0;
    for (int i = 0; i < 3; ++i) {
        shared += TriangleHasVertex(static_cast<int>(triangleB), icosaTriangles[triangleA][i]) ? 1 : 0;
    }
    return shared;
}

// The pentagon under icosahedron vertex k, as the dual vertices it lists.
std::array<Vec3, PENTAGON_CORNERS> Pentagon(int k)
{
    std::array<Vec3, PENTAGON_CORNERS> corners{};
    for (int i = 0; i < PENTAGON_CORNERS; ++i) {
        corners[i] = dualVertices[pentagonFaces[k][i]];
    }
    return corners;
}

Vec3 PentagonCentre(int k)
{
    Vec3 centre{0.0f, 0.0f, 0.0f};
    for (const Vec3& corner : Pentagon(k)) {
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
    EXPECT_EQ(Bits(icosaVertices[1].x), 0x3F069650u);
    EXPECT_EQ(Bits(icosaVertices[1].z), 0x3F59C440u);
    EXPECT_NE(Bits(icosaVertices[1].x), Bits(0.525731f));
    EXPECT_NE(Bits(icosaVertices[1].z), Bits(0.850651f));
}

TEST(IcosahedronTest, VerticesAreDistinctAndOnTheUnitSphere)
{
    std::set<std::array<float, 3>> seen;
    for (const Vec3& v : icosaVertices) {
        EXPECT_NEAR(Norm(v), 1.0, 1e-7);
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
        EXPECT_NEAR(Norm(Minus(Corner(t, 0), Corner(t, 1))), edge, 1e-6);
        EXPECT_NEAR(Norm(Minus(Corner(t, 1), Corner(t, 2))), edge, 1e-6);
        EXPECT_NEAR(Norm(Minus(Corner(t, 2), Corner(t, 0))), edge, 1e-6);
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
        const Vec3 n = Normal(Corner(t, 0), Corner(t, 1), Corner(t, 2));
        EXPECT_NEAR(Norm(n), 1.0, 1e-6);
        // Outwards: along the face's centroid, and square to its edges.
        EXPECT_NEAR(Dot(n, Centroid(Corner(t, 0), Corner(t, 1), Corner(t, 2))), 0.794654, 1e-6);
        EXPECT_NEAR(Dot(n, Minus(Corner(t, 1), Corner(t, 0))), 0.0, 1e-6);
    }
    const Vec3 first = Normal(Corner(0, 0), Corner(0, 1), Corner(0, 2));
    EXPECT_GT(first.y, 0.0f);
    EXPECT_GT(first.z, 0.0f);
}

TEST(FaceNormalTest, CounterClockwiseTrianglePointsTowardsTheViewer)
{
    const Vec3 origin{0.0f, 0.0f, 0.0f};
    const Vec3 alongX{2.0f, 0.0f, 0.0f};
    const Vec3 alongY{0.0f, 3.0f, 0.0f};
    const Vec3 up = Normal(origin, alongX, alongY);
    EXPECT_EQ(up.x, 0.0f);
    EXPECT_EQ(up.y, 0.0f);
    EXPECT_EQ(up.z, 1.0f);
    EXPECT_EQ(Normal(origin, alongY, alongX).z, -1.0f);
}

TEST(FaceNormalTest, DegenerateAndTinyTrianglesAreLeftUnnormalised)
{
    const Vec3 point{0.3f, -0.7f, 0.2f};
    const Vec3 zero = Normal(point, point, point);
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);

    // Two coincident corners, as in a fan drawn before the dual vertices exist.
    const Vec3 origin{0.0f, 0.0f, 0.0f};
    EXPECT_EQ(Norm(Normal(icosaVertices[0], origin, origin)), 0.0);

    // A cross product of length 1e-10 is at or below the 1e-8 threshold: it stays as it is.
    const Vec3 tiny = Normal(origin, Vec3{1e-5f, 0.0f, 0.0f}, Vec3{0.0f, 1e-5f, 0.0f});
    EXPECT_NEAR(tiny.z, 1e-10, 1e-14);
    // Length 1e-6 is above it: normalised.
    const Vec3 small = Normal(origin, Vec3{1e-3f, 0.0f, 0.0f}, Vec3{0.0f, 1e-3f, 0.0f});
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
        EXPECT_EQ(FloatLength(d), 1.0f);
        const Vec3 centroid = Centroid(Corner(t, 0), Corner(t, 1), Corner(t, 2));
        EXPECT_NEAR(Dot(d, centroid), Norm(centroid), 1e-6);
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

        const auto corners = Pentagon(k);
        for (int i = 0; i < PENTAGON_CORNERS; ++i) {
            const int next = (i + 1) % PENTAGON_CORNERS;
            // Neighbours in the ring share an edge of the icosahedron: two vertices.
            EXPECT_EQ(SharedVertexCount(ring[i], ring[next]), 2);
            const Vec3 turn = Normal(corners[i], corners[next], corners[(i + 2) % PENTAGON_CORNERS]);
            EXPECT_GT(Dot(turn, icosaVertices[k]), 0.99);
        }
    }
}

TEST_F(DualVertexTest, PentagonPlanesLieBetweenTheDimpleAndTheSpikeApexes)
{
    for (int k = 0; k < PENTAGON_COUNT; ++k) {
        SCOPED_TRACE(k);
        const Vec3& axis = icosaVertices[k];
        const Vec3 centre = PentagonCentre(k);
        EXPECT_NEAR(Norm(centre), 0.794654, 1e-6);
        EXPECT_NEAR(Dot(centre, axis), Norm(centre), 1e-6);
        for (const Vec3& corner : Pentagon(k)) {
            EXPECT_NEAR(Dot(corner, axis), 0.794654, 1e-6); // one plane square to the axis
        }
        // Inside the plane at 0.25, 0.65 beyond the corner at 1.65.
        EXPECT_LT(Norm(Scaled(axis, 0.25f)), Norm(centre));
        EXPECT_NEAR(Norm(Scaled(axis, 1.65f)) - Norm(axis), 0.65, 1e-6);
    }
}

TEST_F(DualVertexTest, FanTrianglesPointOutwardsForDimplesCornersAndSpikes)
{
    for (float scale : {0.25f, 1.0f, 1.65f}) {
        for (int k = 0; k < PENTAGON_COUNT; ++k) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << " pentagon " << k);
            const Vec3 apex = Scaled(icosaVertices[k], scale);
            const auto corners = Pentagon(k);
            for (int i = 0; i < PENTAGON_CORNERS; ++i) {
                const Vec3& from = corners[i];
                const Vec3& to = corners[(i + 1) % PENTAGON_CORNERS];
                const Vec3 n = Normal(apex, from, to);
                EXPECT_NEAR(Norm(n), 1.0, 1e-6);
                EXPECT_GT(Dot(n, icosaVertices[k]), 0.0);
                EXPECT_NEAR(Dot(n, Minus(from, apex)), 0.0, 1e-6);
                EXPECT_NEAR(Dot(n, Minus(to, apex)), 0.0, 1e-6);
            }
        }
    }
}

} // namespace
