// WinMain, which the exe's entry point (ProgramEntry.cpp) calls, and the window procedure: every
// message of the main window enters here and is handled or routed to the subsystem that handles
// it.

#include <windows.h>

#include "app/resource.h"
#include "common/ClientSize.h"
#include "common/WindowTitle.h"
#include "probe/DriverProbe.h"
#include "probe/RenderingContext.h"
#include "scene/AnimationTick.h"
#include "scene/FramePaint.h"
#include "scene/SceneSetup.h"

namespace {

constexpr const char* WINDOW_CLASS_NAME = "OVRIN_OpenGL_Query";
constexpr UINT_PTR ANIMATION_TIMER_ID = 42;
constexpr UINT ANIMATION_PERIOD_MS = 1;
constexpr int WINDOW_SIZE = 400;

HACCEL acceleratorTable = nullptr;
// What SetTimer returned; 0 when the timer never started, and then there is none to kill.
UINT_PTR timerStarted = 0;

// Escape posts WM_DESTROY to the window instead of destroying it, so nothing keeps a second one
// from coming. Escape pressed again on the keyboard does not bring it before the first has run
// (GetMessage hands out posted messages before input, so the first WM_DESTROY is taken before the
// second Escape is translated), but key messages that are themselves posted, as automation posts
// them, are all translated first, and anything may post or send one, even while the exit notice's
// modal loop runs. Whenever a second WM_DESTROY comes, it does nothing: the destroy sequence
// (timer, context, exit notice, quit message) runs once.
bool destroySequenceDone = false;

void RunCreateSequence(HWND window)
{
    HDC dc = GetDC(window);
    if (CreateRenderingContext(dc)) {
        RunDriverReport(dc);
        SetupScene();
        FinishStartupRendering(dc);
    }
    ReleaseDC(window, dc);

    RECT client = {};
    GetClientRect(window, &client);
    clientWidth = client.right - client.left;
    clientHeight = client.bottom - client.top;

    timerStarted = SetTimer(window, ANIMATION_TIMER_ID, ANIMATION_PERIOD_MS, nullptr);
}

void RunDestroySequence(HWND window)
{
    if (destroySequenceDone) {
        return;
    }
    destroySequenceDone = true;
    if (timerStarted != 0) {
        KillTimer(window, ANIMATION_TIMER_ID);
    }
    DeleteRenderingContext(window);
    ShowExitNoticeIfForeign();
    PostQuitMessage(0);
}

} // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        RunCreateSequence(window);
        return 0;
    case WM_DESTROY:
        RunDestroySequence(window);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_SIZE:
        clientWidth = LOWORD(lParam);
        clientHeight = HIWORD(lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_PAINT:
        PaintFrame(window);
        return 0;
    case WM_ERASEBKGND:
        // Never erased. With the context bound, each frame clears the whole client area itself and
        // erasing first would only make it flicker; without it nothing is drawn and the client area
        // is left as it was.
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCMD_QUIT) {
            PostMessageA(window, WM_DESTROY, 0, 0);
        }
        return 0;
    case WM_TIMER:
        AdvanceAnimation(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR /*commandLine*/,
                   int showCommand)
{
    if (previousInstance == nullptr) {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = MainWndProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APPICON));
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = WINDOW_CLASS_NAME;
        if (RegisterClassA(&windowClass) == 0) {
            return 0;
        }
    }

    HWND window = CreateWindowExA(0, WINDOW_CLASS_NAME, WINDOW_TITLE,
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                                  CW_USEDEFAULT, CW_USEDEFAULT, WINDOW_SIZE, WINDOW_SIZE, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr) {
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    acceleratorTable = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAIN));

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0)) {
        if (TranslateAcceleratorA(message.hwnd, acceleratorTable, &message) == 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return static_cast<int>(message.wParam);
}
