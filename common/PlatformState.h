#pragma once

// The platform handles of the process-wide state: Windows builds only.

#include <windows.h>

extern HACCEL acceleratorTable;
extern HGLRC renderingContext;
extern UINT_PTR timerStarted; // what SetTimer returned; 0 when the timer never started
extern HKEY registryKey;      // opened once for the depth width, never closed
