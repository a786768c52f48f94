#include "common/ProcessState.h"
#include "scene/Animation.h"
#include "scene/ScenePlatform.h"

void AdvanceAnimation(HWND window)
{
    StepAnimation(&animationState);
    // The frame covers the whole client area; erasing first would only make it flicker.
    InvalidateRect(window, nullptr, FALSE);
}
