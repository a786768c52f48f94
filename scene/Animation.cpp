#include "scene/Animation.h"

#include "scene/FloatStore.h"

// The fields are floats, but a step is judged on the exact sum of the field and its step; only the
// lower bounds look at the value as it is stored. The sum of two floats of these magnitudes needs
// at most 34 bits, so a double and the x87 unit's extended precision both hold it exactly, and it
// is the same whether or not a compiler rounds it to double on assignment. Every stored result
// goes through StoreFloat so that the x87 build rounds where x86-64 does.

namespace {

constexpr float ANGLE_STEP_X = 0.6f;
constexpr float ANGLE_STEP_Y = 1.0f;
constexpr float ANGLE_STEP_Z = 0.4f;
constexpr float FULL_TURN = 360.0f;
constexpr float Z_OFFSET_MIN = -0.5f;
constexpr float Z_OFFSET_MAX = 0.5f;
constexpr float SCALE_MIN = 0.25f;
constexpr float SCALE_MAX = 1.65f;

// An angle that lands exactly on a full turn stays there until the next step.
void TurnAngle(float* angle, float step)
{
    const double sum = static_cast<double>(*angle) + step;
    *angle = StoreFloat(sum);
    if (sum > FULL_TURN) {
        *angle = StoreFloat(static_cast<double>(*angle) - FULL_TURN);
    }
}

// A value that reaches a bound exactly keeps going; the step that passes it is clamped to the
// bound and turns the motion round.
void Bounce(float* value, float* step, float low, float high)
{
    const double sum = static_cast<double>(*value) + *step;
    *value = StoreFloat(sum);
    if (sum > high) {
        *value = high;
        *step = -*step;
    } else if (*value < low) {
        *value = low;
        *step = -*step;
    }
}

} // namespace

AnimationState animationState = INITIAL_ANIMATION_STATE;

void StepAnimation(AnimationState* state)
{
    TurnAngle(&state->angleX, ANGLE_STEP_X);
    TurnAngle(&state->angleY, ANGLE_STEP_Y);
    TurnAngle(&state->angleZ, ANGLE_STEP_Z);
    Bounce(&state->zOffset, &state->zStep, Z_OFFSET_MIN, Z_OFFSET_MAX);
    Bounce(&state->scale, &state->scaleStep, SCALE_MIN, SCALE_MAX);
}
