#include "scene/AnimationTick.h"

#include "scene/Animation.h"

void AdvanceAnimation(HWND window)
{
    StepAnimation(&animationState);
    // No erase: a frame drawn with the context clears the whole client area itself; without one
    // nothing is drawn, and nothing is erased either.
    InvalidateRect(window, nullptr, FALSE);
}
