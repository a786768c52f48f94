#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "scene/Animation.h"

namespace {

// The state after `ticks` steps from the start of a run.
AnimationState StepFromStart(int ticks)
{
    AnimationState state = INITIAL_ANIMATION_STATE;
    for (int i = 0; i < ticks; ++i) {
        StepAnimation(&state);
    }
    return state;
}

// The ticks (counted from 1) on which the step's sign flips, within the first `ticks`.
std::vector<int> FindTurningTicks(float AnimationState::*step, int ticks)
{
    std::vector<int> turns;
    AnimationState state = INITIAL_ANIMATION_STATE;
    for (int tick = 1; tick <= ticks; ++tick) {
        const float before = state.*step;
        StepAnimation(&state);
        if ((state.*step > 0.0f) != (before > 0.0f)) {
            turns.push_back(tick);
        }
    }
    return turns;
}

TEST(AnimationRunTest, ZOffsetBouncesBetweenItsBounds)
{
    const AnimationState beforeTop = StepFromStart(100);
    EXPECT_LT(beforeTop.zOffset, 0.5f);
    EXPECT_GT(beforeTop.zOffset, 0.499f);
    EXPECT_EQ(beforeTop.zStep, 0.005f);

    const AnimationState top = StepFromStart(101);
    EXPECT_EQ(top.zOffset, 0.5f);
    EXPECT_EQ(top.zStep, -0.005f);

    const AnimationState beforeBottom = StepFromStart(301);
    EXPECT_GT(beforeBottom.zOffset, -0.5f);
    EXPECT_LT(beforeBottom.zOffset, -0.499f);
    const AnimationState bottom = StepFromStart(302);
    EXPECT_EQ(bottom.zOffset, -0.5f);
    EXPECT_EQ(bottom.zStep, 0.005f);

    // From then on a full sweep of 1.0 takes 200 steps; rounding decides whether the bound is
    // reached on the 200th and passed on the 201st.
    const std::vector<int> turns = FindTurningTicks(&AnimationState::zStep, 3000);
    ASSERT_GE(turns.size(), 3u);
    EXPECT_EQ(turns[0], 101);
    EXPECT_EQ(turns[1], 302);
    for (std::size_t i = 2; i < turns.size(); ++i) {
        const int gap = turns[i] - turns[i - 1];
        EXPECT_TRUE(gap == 200 || gap == 201) << "turn " << i << " after " << gap;
    }
}

TEST(AnimationRunTest, ScaleTurnsAtItsBoundsThenEvery94Ticks)
{
    EXPECT_EQ(StepFromStart(44).scale, 1.65f);
    EXPECT_EQ(StepFromStart(44).scaleStep, -0.015f);
    EXPECT_EQ(StepFromStart(138).scale, 0.25f);
    EXPECT_EQ(StepFromStart(138).scaleStep, 0.015f);

    const std::vector<int> turns = FindTurningTicks(&AnimationState::scaleStep, 5000);
    ASSERT_GE(turns.size(), 3u);
    EXPECT_EQ(turns[0], 44);
    EXPECT_EQ(turns[1], 138);
    for (std::size_t i = 2; i < turns.size(); ++i) {
        EXPECT_EQ(turns[i] - turns[i - 1], 94) << "turn " << i;
    }
    EXPECT_EQ(turns.size(), 1u + (5000u - 44u) / 94u);
}

TEST(AnimationRunTest, AnglesWrapOnceTheyPassAFullTurn)
{
    EXPECT_EQ(StepFromStart(359).angleY, 359.0f);
    EXPECT_EQ(StepFromStart(360).angleY, 360.0f); // landing on 360 is not passing it
    EXPECT_EQ(StepFromStart(361).angleY, 1.0f);

    EXPECT_GT(StepFromStart(599).angleX, 359.0f);
    const float wrappedX = StepFromStart(600).angleX;
    EXPECT_GT(wrappedX, 0.0f);
    EXPECT_NEAR(wrappedX, 0.002, 0.0005);
}

TEST(AnimationStepTest, ReachingABoundExactlyNeitherClampsNorTurns)
{
    AnimationState state = INITIAL_ANIMATION_STATE;
    state.zOffset = 0.25f;
    state.zStep = 0.25f;
    state.scale = 0.5f;
    state.scaleStep = -0.25f;
    StepAnimation(&state);
    EXPECT_EQ(state.zOffset, 0.5f);
    EXPECT_EQ(state.zStep, 0.25f);
    EXPECT_EQ(state.scale, 0.25f);
    EXPECT_EQ(state.scaleStep, -0.25f);

    StepAnimation(&state);
    EXPECT_EQ(state.zOffset, 0.5f);
    EXPECT_EQ(state.zStep, -0.25f);
    EXPECT_EQ(state.scale, 0.25f);
    EXPECT_EQ(state.scaleStep, 0.25f);
}

TEST(AnimationStepTest, UpperBoundsJudgeTheExactSumLowerBoundsTheStoredValue)
{
    // Each sum is 2^-40 past its bound, but rounds to the bound itself when stored.
    const float justBelowTop = 0.5f - std::ldexp(1.0f, -25);
    const float justAboveBottom = 0.25f + std::ldexp(1.0f, -25);
    const float stepPast = std::ldexp(1.0f, -25) + std::ldexp(1.0f, -40);

    AnimationState state = INITIAL_ANIMATION_STATE;
    state.zOffset = justBelowTop;
    state.zStep = stepPast;
    state.scale = justAboveBottom;
    state.scaleStep = -stepPast;
    StepAnimation(&state);
    EXPECT_EQ(state.zOffset, 0.5f);
    EXPECT_EQ(state.zStep, -stepPast) << "the exact sum passed 0.5";
    EXPECT_EQ(state.scale, 0.25f);
    EXPECT_EQ(state.scaleStep, -stepPast) << "the stored value only reached 0.25";

    state.zOffset = -justBelowTop;
    state.zStep = -stepPast;
    // The bound as a float object: a float literal in an expression may carry more precision
    // (on the x87 unit under GCC 13 and later), and the step must pass the float 1.65 by 2^-40.
    const float scaleTop = 1.65f;
    state.scale = std::nextafter(scaleTop, 0.0f);
    const float scaleStepPast = (scaleTop - state.scale) + std::ldexp(1.0f, -40);
    state.scaleStep = scaleStepPast;
    StepAnimation(&state);
    EXPECT_EQ(state.zOffset, -0.5f);
    EXPECT_EQ(state.zStep, -stepPast) << "the stored value only reached -0.5";
    EXPECT_EQ(state.scale, 1.65f);
    EXPECT_EQ(state.scaleStep, -scaleStepPast) << "the exact sum passed 1.65";
}

TEST(AnimationStepTest, AngleWrapJudgesTheExactSumAndSubtractsFromTheStoredValue)
{
    // 359.600006103515625 + 0.4f passes 360 by 205 * 2^-25 but rounds to 360 when stored.
    AnimationState state = INITIAL_ANIMATION_STATE;
    state.angleZ = 11783373.0f * std::ldexp(1.0f, -15);
    StepAnimation(&state);
    EXPECT_EQ(state.angleZ, 0.0f);
}

} // namespace
