#pragma once

#include <windows.h>

// WM_TIMER: one step of the animation and a repaint of the whole client area.
void AdvanceAnimation(HWND window);
