#pragma once

#include <windows.h>

// The whole start-up report; needs the rendering context current on `dc`.
void RunDriverReport(HDC dc);

// At exit: tells the user when the maker's driver was not the one in use.
void ShowExitNoticeIfForeign();
