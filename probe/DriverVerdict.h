#pragma once

#include <cstdint>

// Where the board keeps its buffers; the numbers are fixed.
enum MemoryKind : std::int32_t {
    MemSgram = 0,      // colour and depth buffers in SGRAM
    MemVramDram = 1,   // front and back buffer in VRAM, depth and other buffers in DRAM
    MemUndetected = 2, // the depth-buffer width was not found
};

struct DriverVerdict {
    bool ownDriver;
    MemoryKind memoryKind;
    std::int32_t depthWidthBits; // bits per depth entry as the board keeps it; 0 when none was found
};

constexpr DriverVerdict INITIAL_DRIVER_VERDICT = {false, MemUndetected, 0};
