#pragma once

// Every box the program shows: owned by the window with the keyboard focus (possibly none),
// captioned with the program's name, one OK button, system-modal.

#include <windows.h>

void ShowSystemBox(const char* text, UINT icon);
