#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include <GL/gl.h>

#include "GlCallMatchers.h"
#include "scene/Geometry.h"
#include "scene/SceneSetup.h"

namespace {

constexpr std::size_t CALLS_PER_LIST_TRIANGLE = 6; // begin, normal, three vertices, end

class SceneSetupCallsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::fill(std::begin(dualVertices), std::end(dualVertices), Vec3{0.0f, 0.0f, 0.0f});
        calls = RecordCalls([] { SetupScene(); });
        listStart = std::find(calls.begin(), calls.end(), Call("glNewList", {ICOSAHEDRON_LIST, GL_COMPILE}));
        listEnd = std::find(calls.begin(), calls.end(), Call("glEndList"));
        ASSERT_NE(listStart, calls.end());
        ASSERT_NE(listEnd, calls.end());
        ASSERT_LT(listStart, listEnd);
    }

    std::vector<GlCall> calls;
    std::vector<GlCall>::const_iterator listStart;
    std::vector<GlCall>::const_iterator listEnd;
};

TEST_F(SceneSetupCallsTest, SetsProjectionAndLightsBeforeTheListThenMaterialAndRasterState)
{
    const std::vector<GlCall> before(calls.cbegin(), listStart);
    const std::vector<GlCall> expectedBefore = {
        Call("glMatrixMode", {GL_PROJECTION}),
        Call("glLoadIdentity"),
        Call("gluPerspective", {}, {45.0, 1.0, 1.0, 7.0}),
        Call("glTranslatef", {}, {0.0, 0.0, -4.0}),
        Call("glMatrixMode", {GL_MODELVIEW}),
        Call("glLightfv", {GL_LIGHT0, GL_AMBIENT}, {1.0, 1.0, 1.0, 1.0}),
        Call("glLightfv", {GL_LIGHT0, GL_DIFFUSE}, {1.0, 1.0, 1.0, 1.0}),
        Call("glLightfv", {GL_LIGHT0, GL_SPECULAR}, {1.0, 1.0, 1.0, 1.0}),
        Call("glLightfv", {GL_LIGHT0, GL_POSITION}, {-5.0, 5.0, 5.0, 1.0}),
        Call("glLightfv", {GL_LIGHT1, GL_AMBIENT}, {1.0, 1.0, 1.0, 1.0}),
        Call("glLightfv", {GL_LIGHT1, GL_DIFFUSE}, {1.0, 1.0, 1.0, 1.0}),
        Call("glLightfv", {GL_LIGHT1, GL_SPECULAR}, {1.0, 1.0, 1.0, 1.0}),
        Call("glLightfv", {GL_LIGHT1, GL_POSITION}, {5.0, 0.0, 0.0, 1.0}),
        Call("glEnable", {GL_LIGHTING}),
        Call("glEnable", {GL_LIGHT0}),
        Call("glEnable", {GL_LIGHT1}),
    };
    EXPECT_EQ(before, expectedBefore);

    const std::vector<GlCall> after(listEnd + 1, calls.cend());
    // The material values are floats: compare with the floats, not the decimals.
    const std::vector<GlCall> expectedAfter = {
        Call("glMaterialfv", {GL_FRONT, GL_AMBIENT}, {0.1f, 0.05f, 0.0f, 1.0f}),
        Call("glMaterialfv", {GL_FRONT, GL_DIFFUSE}, {0.65f, 0.55f, 0.15f, 1.0f}),
        Call("glMaterialfv", {GL_FRONT, GL_SPECULAR}, {0.85f, 0.75f, 0.45f, 1.0f}),
        Call("glMaterialf", {GL_FRONT, GL_SHININESS}, {100.0f}),
        Call("glEnable", {GL_DEPTH_TEST}),
        Call("glDepthFunc", {GL_LESS}),
        Call("glClearColor", {}, {0.0, 0.0, 0.0, 0.0}),
        Call("glFrontFace", {GL_CCW}),
        Call("glCullFace", {GL_BACK}),
        Call("glEnable", {GL_CULL_FACE}),
        Call("glShadeModel", {GL_FLAT}),
    };
    EXPECT_EQ(after, expectedAfter);
}

TEST_F(SceneSetupCallsTest, ListHoldsEachIcosahedronTriangleWithItsOwnNormalFirst)
{
    const auto body = listStart + 1;
    ASSERT_EQ(static_cast<std::size_t>(listEnd - body), ICOSA_TRIANGLE_COUNT * CALLS_PER_LIST_TRIANGLE);
    const std::vector<std::string> pattern = {"glBegin",     "glNormal3fv", "glVertex3fv",
                                              "glVertex3fv", "glVertex3fv", "glEnd"};

    for (int t = 0; t < ICOSA_TRIANGLE_COUNT; ++t) {
        SCOPED_TRACE(t);
        const auto group = body + static_cast<std::ptrdiff_t>(t * CALLS_PER_LIST_TRIANGLE);
        ASSERT_EQ(Names(group, group + CALLS_PER_LIST_TRIANGLE), pattern);
        EXPECT_EQ(group[0], Call("glBegin", {GL_TRIANGLES}));

        const Vec3 a = VectorOf(group[2]);
        const Vec3 b = VectorOf(group[3]);
        const Vec3 c = VectorOf(group[4]);
        EXPECT_TRUE(SameBits(a, icosaVertices[icosaTriangles[t][0]]));
        EXPECT_TRUE(SameBits(b, icosaVertices[icosaTriangles[t][1]]));
        EXPECT_TRUE(SameBits(c, icosaVertices[icosaTriangles[t][2]]));

        const Vec3 normal = VectorOf(group[1]);
        Vec3 expected{};
        ComputeFaceNormal(a, b, c, &expected);
        EXPECT_TRUE(SameBits(normal, expected));
        // Outwards, at the face's distance from the centre: culling keeps the faces seen from outside.
        const Vec3 centroid{(a.x + b.x + c.x) / 3.0f, (a.y + b.y + c.y) / 3.0f, (a.z + b.z + c.z) / 3.0f};
        EXPECT_NEAR(Dot(normal, centroid), 0.794654, 1e-6);
    }
}

TEST_F(SceneSetupCallsTest, LeavesTheDualVerticesBuilt)
{
    for (const Vec3& d : dualVertices) {
        EXPECT_NEAR(std::sqrt(Dot(d, d)), 1.0, 1e-6);
    }
}

} // namespace
