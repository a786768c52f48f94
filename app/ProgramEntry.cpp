// The exe's entry point, in place of the C runtime's start-up code. Of what that code does the
// program needs only the x87 control word, which it loads here itself; it has no static
// constructors (the link checks that), reads no command line and uses no stdio. And that code is
// built for a newer processor than the oldest this program runs on.

#include <windows.h>

// The exe's own image, placed by the linker: the instance WinMain gets, with no call to
// GetModuleHandleA for it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The x87 control word the program's x87 arithmetic runs under (all of the 32-bit build's floating
// point, and the long double square root of either build): every exception masked, rounding to
// nearest, 64-bit mantissa (extended precision). A process starts with a 53-bit mantissa
// (0x027F); 0x037F is the word the C runtime's start-up code leaves (FNINIT), which the unit
// suite runs under, so the exe computes under the same word as the tests. Loaded explicitly, once
// at entry, so that no change of start-up code can change it.
constexpr WORD X87_CONTROL_WORD = 0x037F;

// WinMain reads no command line. Fetching the command line (GetCommandLineA, then skipping the
// program's name) would import a function only to hand over text that nothing reads; a program
// that comes to take arguments fetches them here.
char noArguments[] = "";

} // namespace

extern "C" [[noreturn]] void StartProgram()
{
    static const WORD controlWord = X87_CONTROL_WORD;
    __asm__ volatile("fldcw %0" : : "m"(controlWord));

    // The show command as the program's starter asked for it, else the default one.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    const int showCommand =
        (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;

    const int exitCode = WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr, noArguments,
                                 showCommand);
    ExitProcess(static_cast<UINT>(exitCode));
}
