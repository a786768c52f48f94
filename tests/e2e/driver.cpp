// Drives the program like a person at the screen: starts it, waits for each message box, reads
// it, presses its button, watches the main window, presses keys, and reports the exit code.
// It runs in the same Wine session as the program and prints one JSON object per line, which
// the Python side of the tests compares with exact expectations.
//
// usage: driver.exe PROGRAM STEP...
//   box[:NAME]       wait for a message box, report it, press its OK button; with NAME, pause
//                    as pause:NAME does before pressing it (a screenshot of the box)
//   box-escape       wait for a message box, report it, press Escape on it
//   window           wait until the main window is visible, report it
//   escape[:N]       press Escape N times (default 1) on the main window, all at once
//   close            close the main window through its system menu, as the close button does
//   command:N        post WM_COMMAND with wParam N to the main window
//   resize:W:H       give the main window this outer size (0:0 minimises, restore:W:H restores)
//                    and wait until it has it
//   changes[:N]      wait until the main window's client area on screen has shown another
//                    picture N times (default 1), each new after the one before, report the
//                    client size
//   pause:NAME       print {"pause":NAME} and wait for a line on standard input (screenshots)
//   sleep:MS         wait
//   sample:S:MS      for S seconds, every MS milliseconds, report the time (the soak test reads
//                    the program's memory from outside at each sample)
//   exit             wait for the program to end, report its exit code; a message box that
//                    appears meanwhile fails the run at once, named by its caption and text

#include <windows.h>

#include "JsonText.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD STEP_TIMEOUT_MS = 120000;
constexpr const char* MAIN_CLASS = "OVRIN_OpenGL_Query";

PROCESS_INFORMATION program = {};
std::vector<HWND> seenBoxes;

void Emit(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string& why)
{
    Emit("{\"error\":" + Json(why) + "}");
    if (program.hProcess != nullptr) {
        TerminateProcess(program.hProcess, 99);
    }
    std::exit(2);
}

std::string ClassOf(HWND window)
{
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window)
{
    // WM_GETTEXT works across processes where GetWindowText of a foreign window does not.
    const LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(std::char_traits<char>::length(text.c_str()));
    return text;
}

struct Search {
    const char* className;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != program.dwProcessId || ClassOf(window) != search->className) {
        return TRUE;
    }
    if (search->visibleOnly && !IsWindowVisible(window)) {
        return TRUE;
    }
    for (HWND seen : seenBoxes) {
        if (seen == window) {
            return TRUE;
        }
    }
    search->found = window;
    return FALSE;
}

HWND FindWindowOfProgram(const char* className, bool visibleOnly)
{
    Search search = {className, visibleOnly, nullptr};
    EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool ProgramEnded()
{
    return WaitForSingleObject(program.hProcess, 0) == WAIT_OBJECT_0;
}

// Polls `done` every 20 ms until it holds or the time is up; returns whether it held.
template <typename Condition>
bool WaitUntil(Condition done, DWORD timeoutMs = STEP_TIMEOUT_MS)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

HWND WaitForBox()
{
    HWND box = nullptr;
    bool ended = false;
    WaitUntil([&] {
        box = FindWindowOfProgram("#32770", true);
        ended = box == nullptr && ProgramEnded();
        return box != nullptr || ended;
    });
    if (box == nullptr) {
        Fail(ended ? "program ended while a message box was expected" : "no message box appeared");
    }
    return box;
}

HWND MainWindow()
{
    HWND window = FindWindowOfProgram(MAIN_CLASS, false);
    if (window == nullptr) {
        Fail("the main window does not exist");
    }
    return window;
}

struct Children {
    std::vector<HWND> list;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM param)
{
    reinterpret_cast<Children*>(param)->list.push_back(window);
    return TRUE;
}

// The box's icon is another process's HICON, so it is told apart by the colours it shows.
std::string IconColour(HWND iconWindow)
{
    RECT rect = {};
    GetWindowRect(iconWindow, &rect);
    HDC screen = GetDC(nullptr);
    int red = 0, yellow = 0, blue = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            const COLORREF c = GetPixel(screen, x, y);
            const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
            if (r > 150 && g > 150 && b < 100) {
                ++yellow;
            } else if (r > 150 && g < 100 && b < 100) {
                ++red;
            } else if (b > 150 && r < 120 && g < 150) {
                ++blue;
            }
        }
    }
    ReleaseDC(nullptr, screen);
    const int most = red > yellow ? (red > blue ? red : blue) : (yellow > blue ? yellow : blue);
    if (most < 20) {
        return "none";
    }
    return most == red ? "red" : most == yellow ? "yellow" : "blue";
}

void Pause(const std::string& name)
{
    Emit("{\"pause\":" + Json(name) + "}");
    char line[64];
    if (std::fgets(line, sizeof line, stdin) == nullptr) {
        Fail("standard input closed during a pause");
    }
}

// The box paints its icon some time after it appears: its colour is read once two looks in a
// row agree on one.
std::string SettledIconColour(HWND iconWindow)
{
    std::string previous = "none", current;
    WaitUntil([&] {
        current = IconColour(iconWindow);
        const bool settled = current != "none" && current == previous;
        previous = current;
        return settled;
    }, 10000);
    return current;
}

// The texts of a box's Static children: its message.
std::string BoxText(HWND box)
{
    Children children;
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
    std::string text;
    for (HWND child : children.list) {
        if (ClassOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) {
            text += TextOf(child);
        }
    }
    return text;
}

// A box that no step expects ends the run at once, named, instead of when a deadline runs out.
void FailOnUnexpectedBox(const std::string& during)
{
    if (HWND box = FindWindowOfProgram("#32770", true)) {
        Fail("a message box appeared " + during + ": \"" + TextOf(box) + "\": \"" + BoxText(box) +
             "\"");
    }
}

void ReportAndAnswerBox(HWND box, bool withEscape, const std::string& pauseName = "")
{
    Children children;
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
    const std::string text = BoxText(box);
    std::string buttons = "[", icon = "none";
    HWND okButton = nullptr;
    int iconCount = 0;
    for (HWND child : children.list) {
        const std::string cls = ClassOf(child);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if (cls == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
            ++iconCount;
            icon = SettledIconColour(child);
        } else if (cls == "Button") {
            buttons += (buttons.size() > 1 ? "," : "") + Json(TextOf(child));
            if (GetDlgCtrlID(child) == IDOK) {
                okButton = child;
            }
        }
    }
    buttons += "]";
    HWND owner = GetWindow(box, GW_OWNER);
    HWND mainWindow = FindWindowOfProgram(MAIN_CLASS, false);
    const LONG exStyle = GetWindowLongA(box, GWL_EXSTYLE);
    Emit(std::string("{\"box\":{\"caption\":") + Json(TextOf(box)) + ",\"text\":" + Json(text) +
         ",\"buttons\":" + buttons + ",\"icon\":" + Json(icon) +
         ",\"icons\":" + std::to_string(iconCount) +
         ",\"topmost\":" + ((exStyle & WS_EX_TOPMOST) ? "true" : "false") +
         ",\"owned_by_main\":" + (owner != nullptr && owner == mainWindow ? "true" : "false") +
         ",\"main_visible\":" +
         (mainWindow != nullptr && IsWindowVisible(mainWindow) ? "true" : "false") + "}}");

    seenBoxes.push_back(box);
    if (!pauseName.empty()) {
        Pause(pauseName);
    }
    if (withEscape) {
        PostMessageA(box, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(box, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    } else {
        if (okButton == nullptr) {
            Fail("the box has no OK button");
        }
        PostMessageA(okButton, BM_CLICK, 0, 0);
    }
    if (!WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); })) {
        Fail("the box did not go away");
    }
}

void ReportWindow()
{
    HWND window = nullptr;
    if (!WaitUntil([&] {
            window = FindWindowOfProgram(MAIN_CLASS, true);
            if (window == nullptr && ProgramEnded()) {
                Fail("program ended before its window was shown");
            }
            return window != nullptr;
        })) {
        Fail("the main window was not shown");
    }
    RECT outer = {}, client = {};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const LONG style = GetWindowLongA(window, GWL_STYLE);
    char styleText[16];
    std::snprintf(styleText, sizeof styleText, "%08lx", static_cast<unsigned long>(style));
    Emit("{\"window\":{\"title\":" + Json(TextOf(window)) +
         ",\"style\":" + Json(styleText) +
         ",\"class_style\":" + std::to_string(GetClassLongPtrA(window, GCL_STYLE)) +
         ",\"outer\":[" + std::to_string(outer.left) + "," + std::to_string(outer.top) + "," +
         std::to_string(outer.right - outer.left) + "," + std::to_string(outer.bottom - outer.top) +
         "],\"client\":[" + std::to_string(client.right) + "," + std::to_string(client.bottom) +
         "],\"client_origin\":[" + std::to_string(origin.x) + "," + std::to_string(origin.y) +
         "]}}");
}

void PressEscape(int times)
{
    HWND window = MainWindow();
    for (int i = 0; i < times; ++i) {
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(window, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    }
    Emit("{\"pressed\":\"escape\",\"times\":" + std::to_string(times) + "}");
}

std::string SizeJson(const RECT& rect)
{
    return "[" + std::to_string(rect.right - rect.left) + "," + std::to_string(rect.bottom - rect.top) + "]";
}

void Resize(const std::string& spec)
{
    HWND window = MainWindow();
    int width = 0, height = 0;
    if (spec.rfind("restore:", 0) == 0) {
        ShowWindowAsync(window, SW_RESTORE);
        if (!WaitUntil([&] { return !IsIconic(window) && IsWindowVisible(window); })) {
            Fail("the window was not restored");
        }
        std::sscanf(spec.c_str() + 8, "%d:%d", &width, &height);
    } else {
        std::sscanf(spec.c_str(), "%d:%d", &width, &height);
        if (width == 0 && height == 0) {
            ShowWindowAsync(window, SW_MINIMIZE);
            if (!WaitUntil([&] { return IsIconic(window) != FALSE; })) {
                Fail("the window was not minimised");
            }
            Emit("{\"resized\":[0,0]}");
            return;
        }
    }
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_ASYNCWINDOWPOS);
    // The move is sent to the program's thread, which handles sent messages in order: once it
    // has answered this one too, the window has its new size (or the least it may have).
    DWORD_PTR answer = 0;
    if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, STEP_TIMEOUT_MS, &answer) == 0) {
        Fail("the window did not answer after the resize");
    }
    RECT outer = {}, client = {};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    Emit("{\"resized\":[" + std::to_string(width) + "," + std::to_string(height) + "],\"outer\":" +
         SizeJson(outer) + ",\"client\":" + SizeJson(client) + "}");
}

// The main window's client area as it is on screen, 32 bits a pixel; empty when it has none.
std::vector<unsigned char> CaptureClient(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    if (client.right <= 0 || client.bottom <= 0 || IsIconic(window)) {
        return {};
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, client.right, client.bottom, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    const unsigned char* first = static_cast<const unsigned char*>(bits);
    std::vector<unsigned char> pixels(first, first + 4 * client.right * client.bottom);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Each change is a frame the program drew after the one seen before it.
void WaitForChanges(int times)
{
    HWND window = MainWindow();
    std::vector<unsigned char> before = CaptureClient(window);
    for (int i = 0; i < times; ++i) {
        if (!WaitUntil([&] {
                if (ProgramEnded()) {
                    Fail("the program ended while its picture was watched");
                }
                FailOnUnexpectedBox("while the picture was watched");
                std::vector<unsigned char> now = CaptureClient(window);
                if (now.empty() || now == before) {
                    return false;
                }
                before.swap(now);
                return true;
            })) {
            Fail("the window's picture did not change (" + std::to_string(i) + " changes seen)");
        }
    }
    RECT client = {};
    GetClientRect(window, &client);
    Emit("{\"changed\":{\"client\":" + SizeJson(client) + "}}");
}

void Sample(const std::string& spec)
{
    int seconds = 0, intervalMs = 0;
    std::sscanf(spec.c_str(), "%d:%d", &seconds, &intervalMs);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(seconds) * 1000u) {
        if (ProgramEnded()) {
            Fail("the program ended during the soak");
        }
        Emit("{\"sample\":{\"ms\":" + std::to_string(GetTickCount() - start) +
             ",\"tick\":" + std::to_string(GetTickCount()) + "}}");
        Sleep(static_cast<DWORD>(intervalMs));
    }
}

void WaitForExit()
{
    // A box holds the program until someone answers it, so none can come and go unseen.
    if (!WaitUntil([] {
            FailOnUnexpectedBox("before the program ended");
            return ProgramEnded();
        })) {
        Fail("the program did not end");
    }
    DWORD code = 0;
    GetExitCodeProcess(program.hProcess, &code);
    Emit("{\"exit\":" + std::to_string(code) + "}");
}

void RunStep(const std::string& step)
{
    const size_t colon = step.find(':');
    const std::string verb = step.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : step.substr(colon + 1);
    if (verb == "box" || verb == "box-escape") {
        ReportAndAnswerBox(WaitForBox(), verb == "box-escape", arg);
    } else if (verb == "window") {
        ReportWindow();
    } else if (verb == "escape") {
        PressEscape(arg.empty() ? 1 : std::atoi(arg.c_str()));
    } else if (verb == "close") {
        PostMessageA(MainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0);
        Emit("{\"pressed\":\"close\"}");
    } else if (verb == "command") {
        const unsigned long wParam = std::strtoul(arg.c_str(), nullptr, 0);
        PostMessageA(MainWindow(), WM_COMMAND, static_cast<WPARAM>(wParam), 0);
        Emit("{\"command\":" + std::to_string(wParam) + "}");
    } else if (verb == "resize") {
        Resize(arg);
    } else if (verb == "changes") {
        WaitForChanges(arg.empty() ? 1 : std::atoi(arg.c_str()));
    } else if (verb == "pause") {
        Pause(arg);
    } else if (verb == "sleep") {
        Sleep(static_cast<DWORD>(std::atoi(arg.c_str())));
    } else if (verb == "sample") {
        Sample(arg);
    } else if (verb == "exit") {
        WaitForExit();
    } else {
        Fail("unknown step " + step);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: driver PROGRAM STEP...\n");
        return 2;
    }
    std::string commandLine = std::string("\"") + argv[1] + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(argv[1], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &program)) {
        Fail("could not start " + std::string(argv[1]));
    }
    Emit("{\"started\":" + std::to_string(program.dwProcessId) + "}");
    for (int i = 2; i < argc; ++i) {
        RunStep(argv[i]);
    }
    return 0;
}
