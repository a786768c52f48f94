#pragma once

// The program's name as the user sees it: the main window's title, the caption of every message
// box and the version block's product name. A macro as well, for the resource compiler.
#define OVRIN_PRODUCT_NAME "OVRIN OpenGL Query"

#ifndef RC_INVOKED
constexpr const char* WINDOW_TITLE = OVRIN_PRODUCT_NAME;
#endif
