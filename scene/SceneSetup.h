#pragma once

// One-time OpenGL state for every frame; needs a current context with identity matrices.

constexpr unsigned ICOSAHEDRON_LIST = 1;

void SetupScene();
void SetupLights();
void SetupMaterial();
