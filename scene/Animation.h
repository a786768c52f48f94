#pragma once

#include "scene/AnimationState.h"

// One timer tick of the animation, without the repaint request.
void StepAnimation(AnimationState* state);
