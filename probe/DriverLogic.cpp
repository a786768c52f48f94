#include "probe/DriverLogic.h"

#include <cstring>

#include "probe/ReportBuffers.h"
#include "probe/TextFormat.h"

namespace {

constexpr const char* MAKER_MARK = "OVRIN";

struct ChipEntry {
    const char* text;
    MemoryKind memoryKind;
    std::int32_t defaultDepthWidthBits;
};

// Searched in this order; the first chip found wins.
constexpr ChipEntry chipTable[] = {
    {"PERMEDIA", MemSgram, 16},
    {"GLINT 300SX", MemVramDram, 32},
    {"GLINT 500TX", MemVramDram, 32},
    {"GLINT MX", MemVramDram, 32},
};

struct ReportLine {
    const char* text;                  // "%ld" stands for the number
    std::int64_t BufferSizes::*number; // the size it prints; null for a line without one
};

// The lines of each report case; a null text ends the list.
struct ReportCase {
    ReportLine lines[4];
};

constexpr ReportCase sgramCase = {{
    {"%ld bytes SGRAM used for front plus back buffer.\n", &BufferSizes::frontBackBytes},
    {"%ld bytes SGRAM used for depth buffer.\n", &BufferSizes::depthBytes},
    {nullptr, nullptr},
    {nullptr, nullptr},
}};
constexpr ReportCase vramDramCase = {{
    {"%ld bytes VRAM used for front plus back buffer.\n", &BufferSizes::frontBackBytes},
    {"%ld bytes DRAM used for depth and other buffers.\n", &BufferSizes::depthBytes},
    {nullptr, nullptr},
    {nullptr, nullptr},
}};
constexpr ReportCase undetectedCase = {{
    {"Attention! OVRIN OpenGL driver running, but localbuffer width was not detected!\n", nullptr},
    {"%ld bytes RAM used for front plus back buffer.\n", &BufferSizes::frontBackBytes},
    {"%ld bytes RAM used if depth buffer has 16 bit width.\n", &BufferSizes::depth16Bytes},
    {"%ld bytes RAM used if depth buffer has 32 bit width.\n", &BufferSizes::depth32Bytes},
}};
constexpr ReportCase foreignCase = {{
    {"Attention! No OVRIN OpenGL driver running! Width of depth buffer was not detected!\n", nullptr},
    {"%ld bytes RAM needed for front plus back buffer.\n", &BufferSizes::frontBackBytes},
    {"%ld bytes RAM needed if depth buffer has 16 bit width.\n", &BufferSizes::depth16Bytes},
    {"%ld bytes RAM needed if depth buffer has 32 bit width\n", &BufferSizes::depth32Bytes},
}};

constexpr const char* exitNoticePieces[] = {
    "The previous OpenGL animation was not rendered using the\n",
    "OVRIN OpenGL driver. If you have an OVRIN Pellora installed,\n",
    "the current screen resolution was not supported with\n",
    "hardware double buffering.\n",
    "\nPlease consult the OVRIN Pellora manual for the proper\n",
    "resolutions with 3D OpenGL hardware acceleration.",
};

// A product beyond the 64-bit range saturates at its end instead of wrapping.
std::int64_t MultiplySaturating(std::int64_t a, std::int64_t b)
{
    std::int64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
    }
    return product;
}

// The bytes of one entry per pixel, for every pixel of the screen.
std::int64_t ScaleToScreen(std::int64_t bytesPerEntry, const ScreenMetrics& metrics)
{
    return MultiplySaturating(MultiplySaturating(bytesPerEntry, metrics.yres), metrics.xres);
}

// Formats one line into LineBuffer and appends it to ReportBuffer.
void AppendLine(const char* pattern, std::int64_t number)
{
    FormatText(LineBuffer, LINE_BUFFER_SIZE, pattern, &number, nullptr);
    AppendText(ReportBuffer, REPORT_BUFFER_SIZE, LineBuffer);
}

void AppendCase(const ReportCase& reportCase, const BufferSizes& sizes)
{
    for (const ReportLine& line : reportCase.lines) {
        if (line.text == nullptr) {
            break;
        }
        if (line.number == nullptr) {
            AppendText(ReportBuffer, REPORT_BUFFER_SIZE, line.text);
        } else {
            AppendLine(line.text, sizes.*line.number);
        }
    }
}

} // namespace

void ComposeDriverHeader(const char* vendor, const char* renderer, const char* version,
                         const char* extensions)
{
    const char* const strings[] = {vendor, renderer, version, extensions};
    FormatText(ReportBuffer, HEADER_LIMIT, "Current OpenGL Driver:\n\n%s\n%s\n%s\n%s\n", nullptr,
               strings);
}

DriverVerdict IdentifyDriver(const char* header, RegistryReader readRegistryWidth)
{
    DriverVerdict verdict = INITIAL_DRIVER_VERDICT;
    if (std::strstr(header, MAKER_MARK) == nullptr) {
        return verdict;
    }
    verdict.ownDriver = true;
    for (const ChipEntry& chip : chipTable) {
        if (std::strstr(header, chip.text) != nullptr) {
            verdict.memoryKind = chip.memoryKind;
            verdict.depthWidthBits = chip.defaultDepthWidthBits;
            break;
        }
    }
    std::int32_t width = 0;
    if (readRegistryWidth != nullptr && readRegistryWidth(&width)) {
        verdict.depthWidthBits = width;
    }
    return verdict;
}

BufferSizes ComputeBufferSizes(std::int32_t depthWidthBits, const ScreenMetrics& metrics)
{
    const std::int64_t bytesPerPixel = (static_cast<std::int64_t>(metrics.bitsPerPixel) + 7) / 8;
    BufferSizes sizes = {};
    sizes.frontBackBytes = ScaleToScreen(MultiplySaturating(2, bytesPerPixel), metrics);
    if (depthWidthBits > 0) {
        const std::int64_t bytesPerDepthEntry = (static_cast<std::int64_t>(depthWidthBits) + 7) / 8;
        sizes.depthBytes = ScaleToScreen(bytesPerDepthEntry, metrics);
    }
    sizes.depth16Bytes = ScaleToScreen(2, metrics);
    sizes.depth32Bytes = ScaleToScreen(4, metrics);
    return sizes;
}

std::uint32_t ComposeDriverReport(DriverVerdict* verdict, const ScreenMetrics& metrics)
{
    const BufferSizes sizes = ComputeBufferSizes(verdict->depthWidthBits, metrics);
    if (sizes.depthBytes <= 0) {
        verdict->memoryKind = MemUndetected;
    }

    const std::int64_t resolution[] = {metrics.xres, metrics.yres, metrics.bitsPerPixel};
    FormatText(LineBuffer, LINE_BUFFER_SIZE, "\nXres: %d, Yres: %d, Bits: %d\n", resolution,
               nullptr);
    AppendText(ReportBuffer, REPORT_BUFFER_SIZE, LineBuffer);

    if (!verdict->ownDriver) {
        AppendCase(foreignCase, sizes);
        return BOX_ICON_EXCLAMATION;
    }
    switch (verdict->memoryKind) {
    case MemSgram:
        AppendCase(sgramCase, sizes);
        break;
    case MemVramDram:
        AppendCase(vramDramCase, sizes);
        break;
    case MemUndetected:
    default:
        AppendCase(undetectedCase, sizes);
        break;
    }
    return BOX_ICON_QUESTION;
}

void ComposeExitNotice()
{
    ReportBuffer[0] = '\0';
    for (const char* piece : exitNoticePieces) {
        AppendText(ReportBuffer, REPORT_BUFFER_SIZE, piece);
    }
}
