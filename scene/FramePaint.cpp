#include "scene/FramePaint.h"

#include "probe/RenderingContext.h"
#include "scene/FrameDrawing.h"

void PaintFrame(HWND window)
{
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window, &paint);
    if (BindForPaint(dc)) {
        DrawFrame();
        SwapBuffers(dc);
        UnbindAfterPaint(dc);
    }
    // Even when nothing could be drawn, so that the update region is validated.
    EndPaint(window, &paint);
}
