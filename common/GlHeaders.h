#pragma once

// The GL and GLU declarations for every file that calls OpenGL. Windows' GL headers need
// windows.h before them; the native build (the call-recording tests) uses the same declarations
// from the system's headers.
#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>
