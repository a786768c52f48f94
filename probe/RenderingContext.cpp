#include "probe/RenderingContext.h"

#include "common/GlHeaders.h"
#include "probe/DriverLogic.h"
#include "probe/ReportBuffers.h"
#include "probe/SystemBox.h"
#include "probe/TextFormat.h"

namespace {

// Created by the create handler, deleted by the destroy handler; none before and after, and
// none at all when it could not be created.
HGLRC renderingContext = nullptr;

// Double-buffered RGBA with 24 colour and 24 depth bits; nothing else is asked for. The report
// describes the driver that answers this very request, so it stays as the program has always
// made it: PFD_DRAW_TO_WINDOW is not among the flags.
PIXELFORMATDESCRIPTOR BuildPixelFormatRequest()
{
    PIXELFORMATDESCRIPTOR descriptor = {};
    descriptor.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 24;
    descriptor.cDepthBits = 24;
    descriptor.iLayerType = PFD_MAIN_PLANE;
    return descriptor;
}

bool Fail(const char* text)
{
    FormatText(ReportBuffer, REPORT_BUFFER_SIZE, text, nullptr, nullptr);
    ShowSystemBox(ReportBuffer, BOX_ICON_HAND);
    return false;
}

} // namespace

static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "the descriptor's size is part of the request");

bool CreateRenderingContext(HDC dc)
{
    const PIXELFORMATDESCRIPTOR descriptor = BuildPixelFormatRequest();
    const int format = ChoosePixelFormat(dc, &descriptor);
    if (format == 0) {
        return Fail("ChoosePixelFormat returned 0.");
    }
    if (!SetPixelFormat(dc, format, &descriptor)) {
        return Fail("SetPixelFormat returned FALSE.");
    }
    renderingContext = wglCreateContext(dc);
    if (renderingContext == nullptr) {
        return Fail("wglCreateContext returned NULL.");
    }
    if (!wglMakeCurrent(dc, renderingContext)) {
        // The context stays: each paint tries to bind it again.
        return Fail("wglMakeCurrent returned FALSE.");
    }
    return true;
}

void FinishStartupRendering(HDC dc)
{
    glFinish();
    wglMakeCurrent(dc, nullptr);
}

bool BindForPaint(HDC dc)
{
    if (renderingContext == nullptr) {
        return false;
    }
    return wglMakeCurrent(dc, renderingContext) != FALSE;
}

void UnbindAfterPaint(HDC dc)
{
    wglMakeCurrent(dc, nullptr);
}

void DeleteRenderingContext(HWND window)
{
    if (renderingContext == nullptr) {
        return;
    }
    HDC dc = GetDC(window);
    if (dc != nullptr) {
        if (wglMakeCurrent(dc, renderingContext)) {
            wglMakeCurrent(dc, nullptr);
        }
        ReleaseDC(window, dc);
    }
    wglDeleteContext(renderingContext);
    // Nothing may bind the deleted context again, not even a paint behind the exit notice.
    renderingContext = nullptr;
}
