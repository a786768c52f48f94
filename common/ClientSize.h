#pragma once

// The main window's client size: kept by the window procedure, read by each frame for its
// viewport. 1 x 1 until the window has been created.

#include <cstdint>

extern std::int32_t clientWidth;
extern std::int32_t clientHeight;
