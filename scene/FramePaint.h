#pragma once

#include <windows.h>

// WM_PAINT: when the rendering context can be bound, draws one frame into the back buffer and
// shows it; in any case validates the update region.
void PaintFrame(HWND window);
