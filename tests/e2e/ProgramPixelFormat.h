// The pixel format the program asks for: double-buffered RGBA with 24 colour and 24 depth bits.
// The programs that run beside it under Wine ask for the same one, so that they get the driver
// it gets: the witness, which reads the driver's strings, and tools/measure-animation's yardstick.
#pragma once

#include <windows.h>

inline PIXELFORMATDESCRIPTOR ProgramPixelFormat()
{
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 24;
    format.cDepthBits = 24;
    return format;
}
