#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include <GL/gl.h>

#include "GlCallMatchers.h"
#include "scene/Geometry.h"
#include "scene/SceneSetup.h"
#include "tests/common/VecTestHelpers.h"

namespace {

constexpr std::size_t CALLS_PER_LIST_TRIANGLE = 6; // begin, normal, three vertices, end

class SceneSetupCallsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::fill(std::begin(dualVertices), std::end(dualVertices), Vec3{0.0f, 0.0f, 0.0f});
        calls = RecordCalls([] { SetupScene(); });
        const GlCall newList = MakeCall("glNewList", {ICOSAHEDRON_LIST, GL_COMPILE});
        listStart = std::find(calls.begin(), calls.end(), newList);
        listEnd = std::find(calls.begin(), calls.end(), MakeCall("glEndList"));
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
        MakeCall("glMatrixMode", {GL_PROJECTION}),
        MakeCall("glLoadIdentity"),
        MakeCall("gluPerspective", {}, {45.0, 1.0, 1.0, 7.0}),
        MakeCall("glTranslatef", {}, {0.0, 0.0, -4.0}),
        MakeCall("glMatrixMode", {GL_MODELVIEW}),
        MakeCall("glLightfv", {GL_LIGHT0, GL_AMBIENT}, {1.0, 1.0, 1.0, 1.0}),
        MakeCall("glLightfv", {GL_LIGHT0, GL_DIFFUSE}, {1.0, 1.0, 1.0, 1.0}),
        MakeCall("glLightfv", {GL_LIGHT0, GL_SPECULAR}, {1.0, 1.0, 1.0, 1.0}),
        MakeCall("glLightfv", {GL_LIGHT0, GL_POSITION}, {-5.0, 5.0, 5.0, 1.0}),
        MakeCall("glLightfv", {GL_LIGHT1, GL_AMBIENT}, {1.0, 1.0, 1.0, 1.0}),
        MakeCall("glLightfv", {GL_LIGHT1, GL_DIFFUSE}, {1.0, 1.0, 1.0, 1.0}),
        MakeCall("glLightfv", {GL_LIGHT1, GL_SPECULAR}, {1.0, 1.0, 1.0, 1.0}),
        MakeCall("glLightfv", {GL_LIGHT1, GL_POSITION}, {5.0, 0.0, 0.0, 1.0}),
        MakeCall("glEnable", {GL_LIGHTING}),
        MakeCall("glEnable", {GL_LIGHT0}),
        MakeCall("glEnable", {GL_LIGHT1}),
    };
    EXPECT_EQ(before, expectedBefore);

    const std::vector<GlCall> after(listEnd + 1, calls.cend());
    // The material values are floats: compare with the floats, not the decimals.
    const std::vector<GlCall> expectedAfter = {
        MakeCall("glMaterialfv", {GL_FRONT, GL_AMBIENT}, {0.1f, 0.05f, 0.0f, 1.0f}),
        MakeCall("glMaterialfv", {GL_FRONT, GL_DIFFUSE}, {0.65f, 0.55f, 0.15f, 1.0f}),
        MakeCall("glMaterialfv", {GL_FRONT, GL_SPECULAR}, {0.85f, 0.75f, 0.45f, 1.0f}),
        MakeCall("glMaterialf", {GL_FRONT, GL_SHININESS}, {100.0f}),
        MakeCall("glEnable", {GL_DEPTH_TEST}),
        MakeCall("glDepthFunc", {GL_LESS}),
        MakeCall("glClearColor", {}, {0.0, 0.0, 0.0, 0.0}),
        MakeCall("glFrontFace", {GL_CCW}),
        MakeCall("glCullFace", {GL_BACK}),
        MakeCall("glEnable", {GL_CULL_FACE}),
        MakeCall("glShadeModel", {GL_FLAT}),
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
        ASSERT_EQ(ListNames(group, group + CALLS_PER_LIST_TRIANGLE), pattern);
        EXPECT_EQ(group[0], MakeCall("glBegin", {GL_TRIANGLES}));

        const Vec3 a = ReadVector(group[2]);
        const Vec3 b = ReadVector(group[3]);
        const Vec3 c = ReadVector(group[4]);
        EXPECT_TRUE(HaveSameBits(a, icosaVertices[icosaTriangles[t][0]]));
        EXPECT_TRUE(HaveSameBits(b, icosaVertices[icosaTriangles[t][1]]));
        EXPECT_TRUE(HaveSameBits(c, icosaVertices[icosaTriangles[t][2]]));

        const Vec3 normal = ReadVector(group[1]);
        Vec3 expected{};
        ComputeFaceNormal(a, b, c, &expected);
        EXPECT_TRUE(HaveSameBits(normal, expected));
        // Outwards, at the face's distance from the centre: culling keeps the faces seen from outside.
        EXPECT_NEAR(ComputeDotProduct(normal, ComputeCentroid(a, b, c)), 0.794654, 1e-6);
    }
}

TEST_F(SceneSetupCallsTest, LeavesTheDualVerticesBuilt)
{
    for (const Vec3& d : dualVertices) {
        EXPECT_NEAR(ComputeNorm(d), 1.0, 1e-6);
    }
}

} // namespace
