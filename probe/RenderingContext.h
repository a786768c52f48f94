#pragma once

// The program's one OpenGL rendering context: created and bound while the main window is
// created, lent to each paint, deleted by the WM_DESTROY handler (which Escape reaches with the
// window still there).

#include <windows.h>

bool CreateRenderingContext(HDC dc);
void FinishStartupRendering(HDC dc);
bool BindForPaint(HDC dc);
void UnbindAfterPaint(HDC dc);
void DeleteRenderingContext(HWND window);
