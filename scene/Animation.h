#pragma once

// Everything that moves, in single precision; advanced by one fixed step per timer tick.
struct AnimationState {
    float angleX;    // degrees about x
    float angleY;    // degrees about y
    float angleZ;    // degrees about z
    float zOffset;   // translation along the object's own z axis
    float zStep;     // current z velocity
    float scale;     // distance of the pyramid apexes from the centre
    float scaleStep; // current scale velocity
};

constexpr AnimationState INITIAL_ANIMATION_STATE = {0.0f, 0.0f, 0.0f, 0.0f, 0.005f, 1.0f, 0.015f};

// The program's one animation: advanced by each timer tick, read by each frame.
extern AnimationState animationState;

// One timer tick of the animation, without the repaint request.
void StepAnimation(AnimationState* state);
