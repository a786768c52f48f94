#pragma once

#include <windows.h>

// WM_PAINT: draws one frame into the back buffer and shows it.
void PaintFrame(HWND window);
