#pragma once

// The OpenGL part of a frame: needs a current context. The paint handler around it binds the
// context, swaps the buffers and unbinds.

void DrawFrame();       // viewport, clear, model-view matrix, fans, display list
void DrawPyramidFans(); // the twelve fans; needs the frame's model-view matrix
