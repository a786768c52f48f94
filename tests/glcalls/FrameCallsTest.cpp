#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include <GL/gl.h>

#include "GlCallMatchers.h"
#include "common/ClientSize.h"
#include "scene/Animation.h"
#include "scene/FrameDrawing.h"
#include "scene/Geometry.h"
#include "scene/SceneSetup.h"
#include "tests/common/VecTestHelpers.h"

namespace {

constexpr std::size_t FRAME_PROLOGUE_CALLS = 7; // viewport, clear, identity, 3 turns, shift
constexpr std::size_t CALLS_PER_FAN = 14;
constexpr std::size_t VERTICES_PER_FAN = 7;

// Begin; the first triangle's normal before all three of its corners; then each further triangle
// gets its normal just before the vertex that closes it.
const std::vector<std::string> FAN_PATTERN = {
    "glBegin",     "glNormal3fv", "glVertex3fv", "glVertex3fv", "glVertex3fv",
    "glNormal3fv", "glVertex3fv", "glNormal3fv", "glVertex3fv", "glNormal3fv",
    "glVertex3fv", "glNormal3fv", "glVertex3fv", "glEnd"};

// A state away from the initial one, with every field distinct.
constexpr AnimationState SOME_STATE = {123.6f, 287.0f, 41.2f, -0.315f, -0.005f, 1.42f, 0.015f};

class FrameCallsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedState = animationState;
        savedWidth = clientWidth;
        savedHeight = clientHeight;
        animationState = SOME_STATE;
        clientWidth = 640;
        clientHeight = 352;
        BuildDualVertices();
    }

    void TearDown() override
    {
        animationState = savedState;
        clientWidth = savedWidth;
        clientHeight = savedHeight;
    }

    // Checks one fan's calls against pentagon k at the given scale.
    static void ExpectFan(std::vector<GlCall>::const_iterator fan, int k, float scale, bool dualsBuilt)
    {
        SCOPED_TRACE(testing::Message() << "fan " << k);
        ASSERT_EQ(ListNames(fan, fan + CALLS_PER_FAN), FAN_PATTERN);
        EXPECT_EQ(fan[0], MakeCall("glBegin", {GL_TRIANGLE_FAN}));

        std::vector<Vec3> vertices;
        std::vector<Vec3> closingNormals; // the normal current when each vertex was sent
        Vec3 normal{};
        for (auto call = fan + 1; call != fan + CALLS_PER_FAN - 1; ++call) {
            if (call->name == "glNormal3fv") {
                normal = ReadVector(*call);
            } else {
                vertices.push_back(ReadVector(*call));
                closingNormals.push_back(normal);
            }
        }
        ASSERT_EQ(vertices.size(), VERTICES_PER_FAN);

        EXPECT_TRUE(HaveSameBits(vertices[0], Scale(icosaVertices[k], scale)));
        for (std::size_t i = 1; i < VERTICES_PER_FAN; ++i) {
            const Vec3& corner = dualVertices[pentagonFaces[k][(i - 1) % PENTAGON_CORNERS]];
            EXPECT_TRUE(HaveSameBits(vertices[i], corner)) << "vertex " << i;
        }

        // Flat shading lights each of the five triangles with the normal current at its last vertex.
        for (std::size_t last = 2; last < VERTICES_PER_FAN; ++last) {
            SCOPED_TRACE(testing::Message() << "triangle closed by vertex " << last);
            Vec3 expected{};
            ComputeFaceNormal(vertices[0], vertices[last - 1], vertices[last], &expected);
            EXPECT_TRUE(HaveSameBits(closingNormals[last], expected));
            if (dualsBuilt) {
                EXPECT_GT(ComputeDotProduct(closingNormals[last], icosaVertices[k]), 0.0)
                    << "faces outwards";
            } else {
                EXPECT_EQ(ComputeDotProduct(closingNormals[last], closingNormals[last]), 0.0);
            }
        }
    }

    AnimationState savedState{};
    std::int32_t savedWidth = 0;
    std::int32_t savedHeight = 0;
};

TEST_F(FrameCallsTest, SetsViewportAndModelViewFromTheStateThenDrawsFansBeforeTheList)
{
    const std::vector<GlCall> calls = RecordCalls([] { DrawFrame(); });
    ASSERT_EQ(calls.size(), FRAME_PROLOGUE_CALLS + PENTAGON_COUNT * CALLS_PER_FAN + 1);

    const std::vector<GlCall> prologue(calls.begin(), calls.begin() + FRAME_PROLOGUE_CALLS);
    const std::vector<GlCall> expectedPrologue = {
        MakeCall("glViewport", {0, 0, 640, 352}),
        MakeCall("glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}),
        MakeCall("glLoadIdentity"),
        MakeCall("glRotatef", {}, {SOME_STATE.angleZ, 0.0, 0.0, 1.0}),
        MakeCall("glRotatef", {}, {SOME_STATE.angleY, 0.0, 1.0, 0.0}),
        MakeCall("glRotatef", {}, {SOME_STATE.angleX, 1.0, 0.0, 0.0}),
        MakeCall("glTranslatef", {}, {0.0, 0.0, SOME_STATE.zOffset}),
    };
    EXPECT_EQ(prologue, expectedPrologue);
    for (int k = 0; k < PENTAGON_COUNT; ++k) {
        ExpectFan(calls.begin() + static_cast<std::ptrdiff_t>(FRAME_PROLOGUE_CALLS + k * CALLS_PER_FAN), k,
                  SOME_STATE.scale, true);
    }
    EXPECT_EQ(calls.back(), MakeCall("glCallList", {ICOSAHEDRON_LIST}));
}

TEST_F(FrameCallsTest, SendsTwelvePyramidFansWithEachTriangleLitByItsOwnOutwardNormal)
{
    for (float scale : {0.25f, 1.0f, SOME_STATE.scale, 1.65f}) {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        animationState.scale = scale;
        const std::vector<GlCall> calls = RecordCalls([] { DrawPyramidFans(); });
        ASSERT_EQ(calls.size(), PENTAGON_COUNT * CALLS_PER_FAN);
        for (int k = 0; k < PENTAGON_COUNT; ++k) {
            ExpectFan(calls.begin() + static_cast<std::ptrdiff_t>(k * CALLS_PER_FAN), k, scale, true);
        }
    }
}

TEST_F(FrameCallsTest, FansBeforeTheSceneIsSetUpHaveOnlyZeroNormals)
{
    // With the dual vertices still zero, every triangle has two coincident corners.
    std::fill(std::begin(dualVertices), std::end(dualVertices), Vec3{0.0f, 0.0f, 0.0f});
    const std::vector<GlCall> calls = RecordCalls([] { DrawFrame(); });
    ASSERT_EQ(calls.size(), FRAME_PROLOGUE_CALLS + PENTAGON_COUNT * CALLS_PER_FAN + 1);
    for (int k = 0; k < PENTAGON_COUNT; ++k) {
        const auto fan = calls.begin() + static_cast<std::ptrdiff_t>(FRAME_PROLOGUE_CALLS + k * CALLS_PER_FAN);
        ExpectFan(fan, k, SOME_STATE.scale, false);
    }
}

} // namespace
