// The least a timer-driven double-buffered GL window can do: on the same 1 ms timer as the
// program, every tick asks for a paint, and every paint clears and swaps. tools/measure-animation
// runs it beside the program, so that what the platform costs (timer, messages, buffer swaps)
// can be told from what the program's own drawing costs.
//
// It registers the program's window class so that the end-to-end driver finds it and can press
// Escape on it. Each paint turns the (otherwise unused) model-view matrix by the tick count in
// degrees, which puts the tick count into a GL trace the same way the program's angle about y
// does, one degree a tick.

#include <windows.h>

#include <GL/gl.h>

#include "ProgramPixelFormat.h"

namespace {

constexpr const char* WINDOW_CLASS_NAME = "OVRIN_OpenGL_Query";
constexpr UINT_PTR TIMER_ID = 1;
constexpr int WINDOW_SIZE = 400;

HDC windowDc = nullptr;
unsigned long ticks = 0;

bool CreateContext(HWND window)
{
    const PIXELFORMATDESCRIPTOR format = ProgramPixelFormat();
    // CS_OWNDC keeps this device context for the window's whole life, so the context stays
    // current on it and no paint pays for binding it again.
    windowDc = GetDC(window);
    const int index = ChoosePixelFormat(windowDc, &format);
    if (index == 0 || !SetPixelFormat(windowDc, index, &format)) {
        return false;
    }
    HGLRC context = wglCreateContext(windowDc);
    return context != nullptr && wglMakeCurrent(windowDc, context);
}

void Paint(HWND window)
{
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    RECT client = {};
    GetClientRect(window, &client);
    glViewport(0, 0, client.right, client.bottom);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glRotatef(static_cast<float>(ticks % 360), 0.0f, 1.0f, 0.0f);
    SwapBuffers(windowDc);
    EndPaint(window, &paint);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        if (!CreateContext(window)) {
            return -1;
        }
        SetTimer(window, TIMER_ID, 1, nullptr);
        return 0;
    case WM_TIMER:
        ++ticks;
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY: {
        KillTimer(window, TIMER_ID);
        HGLRC context = wglGetCurrentContext();
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(context);
        PostQuitMessage(0);
        return 0;
    }
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = WINDOW_CLASS_NAME;
    if (RegisterClassA(&windowClass) == 0) {
        return 1;
    }
    HWND window = CreateWindowExA(0, WINDOW_CLASS_NAME, "bare swap",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                  CW_USEDEFAULT, CW_USEDEFAULT, WINDOW_SIZE, WINDOW_SIZE, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr) {
        return 1;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
