#include "scene/AnimationTick.h"

#include "scene/Animation.h"

void AdvanceAnimation(HWND window)
{
    StepAnimation(&animationState);
    // No erase: the frame covers the whole client area.
    InvalidateRect(window, nullptr, FALSE);
}
