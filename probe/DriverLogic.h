#pragma once

// The decisions of the start-up report: whose driver serves the screen, which board layout it
// drives, and how many bytes the screen's buffers take. Plain values in, text out; the calls
// that gather the values live in DriverProbe.cpp.

#include <cstdint>

#include "probe/DriverVerdict.h"

// The header keeps at most this many bytes, the terminator included, as a 1,024-byte formatting
// buffer would: the report has always cut a long extension list there.
constexpr int HEADER_LIMIT = 1024;

// Message box icons (the values of MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION).
constexpr std::uint32_t BOX_ICON_HAND = 0x10;
constexpr std::uint32_t BOX_ICON_QUESTION = 0x20;
constexpr std::uint32_t BOX_ICON_EXCLAMATION = 0x30;

struct ScreenMetrics {
    std::int32_t xres;
    std::int32_t yres;
    std::int32_t bitsPerPixel;
};

struct BufferSizes {
    std::int64_t frontBackBytes;
    std::int64_t depthBytes;
    std::int64_t depth16Bytes;
    std::int64_t depth32Bytes;
};

// Asks the registry for the board's depth width; false when the value could not be read.
typedef bool (*RegistryReader)(std::int32_t* width);

// Writes "Current OpenGL Driver:" and the four driver strings into ReportBuffer, cut at
// HEADER_LIMIT. A string the driver did not return (null) shows as an empty line.
void ComposeDriverHeader(const char* vendor, const char* renderer, const char* version,
                         const char* extensions);

// Looks for the maker's mark and the chip in the header; asks `readRegistryWidth` only when the
// mark was found.
DriverVerdict IdentifyDriver(const char* header, RegistryReader readRegistryWidth);

// In 64 bits, so that no screen and no registry width overflows; a product beyond even that
// (only nonsensical metrics get there) is held at the 64-bit limit.
BufferSizes ComputeBufferSizes(std::int32_t depthWidthBits, const ScreenMetrics& metrics);

// Appends the report body to the header in ReportBuffer and returns the box icon. Lowers
// `memoryKind` to MemUndetected when no depth buffer size came out.
std::uint32_t ComposeDriverReport(DriverVerdict* verdict, const ScreenMetrics& metrics);

// Writes the notice shown at exit when the maker's driver was not in use into ReportBuffer.
void ComposeExitNotice();
