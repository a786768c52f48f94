#include "probe/DriverLogic.h"

#include <cstring>

#include "common/ProcessState.h"
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

// The lines of each report case; a null line ends the list. %ld takes the numbers in order.
struct ReportCase {
    const char* lines[4];
};

constexpr ReportCase sgramCase = {{
    "%ld bytes SGRAM used for front plus back buffer.\n",
    "%ld bytes SGRAM used for depth buffer.\n",
    nullptr,
    nullptr,
}};
constexpr ReportCase vramDramCase = {{
    "%ld bytes VRAM used for front plus back buffer.\n",
    "%ld bytes DRAM used for depth and other buffers.\n",
    nullptr,
    nullptr,
}};
constexpr ReportCase undetectedCase = {{
    "Attention! OVRIN OpenGL driver running, but localbuffer width was not detected!\n",
    "%ld bytes RAM used for front plus back buffer.\n",
    "%ld bytes RAM used if depth buffer has 16 bit width.\n",
    "%ld bytes RAM used if depth buffer has 32 bit width.\n",
}};
constexpr ReportCase foreignCase = {{
    "Attention! No OVRIN OpenGL driver running! Width of depth buffer was not detected!\n",
    "%ld bytes RAM needed for front plus back buffer.\n",
    "%ld bytes RAM needed if depth buffer has 16 bit width.\n",
    "%ld bytes RAM needed if depth buffer has 32 bit width\n",
}};

constexpr const char* exitNoticePieces[] = {
    "The previous OpenGL animation was not rendered using the\n",
    "OVRIN OpenGL driver. If you have an OVRIN Pellora installed,\n",
    "the current screen resolution was not supported with\n",
    "hardware double buffering.\n",
    "\nPlease consult the OVRIN Pellora manual for the proper\n",
    "resolutions with 3D OpenGL hardware acceleration.",
};

std::int64_t MultiplyHeld(std::int64_t a, std::int64_t b)
{
    std::int64_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
    }
    return product;
}

std::int64_t ScreenBytes(std::int64_t bytesPerEntry, const ScreenMetrics& metrics)
{
    return MultiplyHeld(MultiplyHeld(bytesPerEntry, metrics.yres), metrics.xres);
}

// Formats one line into LineBuffer and appends it to ReportBuffer.
void AppendLine(const char* pattern, std::int64_t number)
{
    FormatText(LineBuffer, LINE_BUFFER_SIZE, pattern, &number, nullptr);
    AppendText(ReportBuffer, REPORT_BUFFER_SIZE, LineBuffer);
}

void AppendCase(const ReportCase& reportCase, const std::int64_t* numbers)
{
    for (const char* line : reportCase.lines) {
        if (line == nullptr) {
            break;
        }
        if (std::strstr(line, "%ld") != nullptr) {
            AppendLine(line, *numbers);
            ++numbers;
        } else {
            AppendText(ReportBuffer, REPORT_BUFFER_SIZE, line);
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

ScreenMetrics ChooseScreenMetrics(const ScreenReadings& readings)
{
    if (readings.desktopHorzres > 0 && readings.desktopVertres > 0) {
        return {readings.desktopHorzres, readings.desktopVertres, readings.bitsPerPixel};
    }
    return {readings.horzres, readings.vertres, readings.bitsPerPixel};
}

BufferSizes ComputeBufferSizes(std::int32_t depthWidthBits, const ScreenMetrics& metrics)
{
    const std::int64_t bytesPerPixel = (static_cast<std::int64_t>(metrics.bitsPerPixel) + 7) / 8;
    BufferSizes sizes = {};
    sizes.frontBackBytes = ScreenBytes(MultiplyHeld(2, bytesPerPixel), metrics);
    if (depthWidthBits > 0) {
        sizes.depthBytes = ScreenBytes((static_cast<std::int64_t>(depthWidthBits) + 7) / 8, metrics);
    }
    sizes.depth16Bytes = ScreenBytes(2, metrics);
    sizes.depth32Bytes = ScreenBytes(4, metrics);
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
        const std::int64_t numbers[] = {sizes.frontBackBytes, sizes.depth16Bytes, sizes.depth32Bytes};
        AppendCase(foreignCase, numbers);
        return BOX_ICON_EXCLAMATION;
    }
    if (verdict->memoryKind == MemSgram || verdict->memoryKind == MemVramDram) {
        const std::int64_t numbers[] = {sizes.frontBackBytes, sizes.depthBytes};
        AppendCase(verdict->memoryKind == MemSgram ? sgramCase : vramDramCase, numbers);
    } else {
        const std::int64_t numbers[] = {sizes.frontBackBytes, sizes.depth16Bytes, sizes.depth32Bytes};
        AppendCase(undetectedCase, numbers);
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
