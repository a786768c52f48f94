#pragma once

#include <windows.h>

// WM_TIMER: one step of the animation, and the whole client area invalidated, without erasing,
// for the next WM_PAINT.
void AdvanceAnimation(HWND window);
