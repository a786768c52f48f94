// The tests' own witness of the OpenGL driver: creates a context the way any double-buffered
// program would and prints the four driver strings and the screen metrics as JSON, so the tests
// can say exactly what the program's report must contain on this screen with this driver. It
// also tells how many monitors the desktop has and how large the whole desktop is, so a case
// can be sure of the desktop it runs on.

#include <windows.h>

#include "JsonText.h"
#include "ProgramPixelFormat.h"

#include <GL/gl.h>

#include <cstdio>
#include <string>

namespace {

const char* Get(GLenum name)
{
    return reinterpret_cast<const char*>(glGetString(name));
}

} // namespace

int main()
{
    HWND window = CreateWindowExA(0, "STATIC", "glstrings", WS_POPUP, 0, 0, 16, 16, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
    HDC dc = GetDC(window);
    std::printf("{\"xres\":%d,\"yres\":%d,\"bits\":%d,\"monitors\":%d,\"desktop\":[%d,%d]",
                GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, BITSPIXEL),
                GetSystemMetrics(SM_CMONITORS), GetDeviceCaps(dc, DESKTOPHORZRES),
                GetDeviceCaps(dc, DESKTOPVERTRES));
    const PIXELFORMATDESCRIPTOR pfd = ProgramPixelFormat();
    const int format = ChoosePixelFormat(dc, &pfd);
    HGLRC context = nullptr;
    if (format != 0 && SetPixelFormat(dc, format, &pfd) && (context = wglCreateContext(dc)) != nullptr &&
        wglMakeCurrent(dc, context)) {
        std::printf(",\"vendor\":%s,\"renderer\":%s,\"version\":%s,\"extensions\":%s",
                    Json(Get(GL_VENDOR)).c_str(), Json(Get(GL_RENDERER)).c_str(),
                    Json(Get(GL_VERSION)).c_str(), Json(Get(GL_EXTENSIONS)).c_str());
        wglMakeCurrent(nullptr, nullptr);
    }
    if (context != nullptr) {
        wglDeleteContext(context);
    }
    std::printf(",\"format\":%d}\n", format);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    return 0;
}
