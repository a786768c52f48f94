#pragma once

// The unit of all geometry: three single-precision coordinates.
struct Vec3 {
    float x;
    float y;
    float z;
};
