#pragma once

// The scene's entry points for the window procedure.

#include <windows.h>

void AdvanceAnimation(HWND window); // WM_TIMER
void PaintFrame(HWND window);       // WM_PAINT
