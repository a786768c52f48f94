#include "common/PlatformState.h"

HACCEL acceleratorTable = nullptr;
HGLRC renderingContext = nullptr;
UINT_PTR timerStarted = 0;
HKEY registryKey = nullptr;
