// libFuzzer target over the whole start-up report: any driver strings, any registry answer, any
// screen metrics, through ComposeDriverHeader, IdentifyDriver and ComposeDriverReport, and then
// the exit notice. Built with AddressSanitizer and UBSan, so any write or read past a buffer and
// any overflow ends the run; the checks below end it too (abort) when a text comes out wrong.
//
// Input layout (tests/fuzz/make_corpus.py writes the seeds in it):
//   byte 0      bit i (0..3) set: driver string i (vendor, renderer, version, extensions) is
//               null; bit 4 set: the registry answers, with the value below
//   bytes 1-4   the registry value, little-endian
//   bytes 5-16  xres, yres, bitsPerPixel, each 32-bit little-endian
//   bytes 17-   the four strings' bytes, separated by NUL bytes; strings past the last are empty
// A short input reads as if padded with zero bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "probe/DriverLogic.h"
#include "probe/ReportBuffers.h"

namespace {

constexpr std::size_t FIXED_BYTES = 17;
constexpr int STRING_COUNT = 4;
constexpr unsigned REGISTRY_ANSWERS = 1u << STRING_COUNT;

void Require(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "ReportFuzz: %s\n", what);
        std::abort();
    }
}

std::uint32_t ReadLe32(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The registry as the current input has it; the reader counts how often it was asked.
bool registryAnswers = false;
std::int32_t registryValue = 0;
int registryAsks = 0;

bool ReadFuzzedRegistry(std::int32_t* width)
{
    ++registryAsks;
    if (registryAnswers) {
        *width = registryValue;
    }
    return registryAnswers;
}

// The length of the text in `buffer`, or `capacity` when it has no terminator within it.
std::size_t MeasureTerminatedLength(const char* buffer, std::size_t capacity)
{
    const void* end = std::memchr(buffer, '\0', capacity);
    return end == nullptr ? capacity : static_cast<std::size_t>(static_cast<const char*>(end) - buffer);
}

// What the notice must read whatever ReportBuffer held before; taken once at start-up.
std::string exitNotice;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // No terminator anywhere: the notice must not build on whatever the buffer held.
    std::memset(ReportBuffer, 'x', sizeof(ReportBuffer));
    ComposeExitNotice();
    const std::size_t length = MeasureTerminatedLength(ReportBuffer, REPORT_BUFFER_SIZE);
    Require(length > 0 && length < REPORT_BUFFER_SIZE, "exit notice is empty or unterminated");
    exitNotice.assign(ReportBuffer, length);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::uint8_t fixed[FIXED_BYTES] = {};
    if (size > 0) {
        std::memcpy(fixed, data, size < FIXED_BYTES ? size : FIXED_BYTES);
    }
    const unsigned flags = fixed[0];
    registryAnswers = (flags & REGISTRY_ANSWERS) != 0;
    registryValue = static_cast<std::int32_t>(ReadLe32(fixed + 1));
    registryAsks = 0;
    const ScreenMetrics metrics = {static_cast<std::int32_t>(ReadLe32(fixed + 5)),
                                   static_cast<std::int32_t>(ReadLe32(fixed + 9)),
                                   static_cast<std::int32_t>(ReadLe32(fixed + 13))};

    // Each string in an allocation of its own, exactly as long as it is, so that reading past
    // its terminator is caught.
    std::vector<char> texts[STRING_COUNT];
    const char* strings[STRING_COUNT] = {};
    std::string fullHeader = "Current OpenGL Driver:\n\n";
    std::size_t at = FIXED_BYTES;
    for (int i = 0; i < STRING_COUNT; ++i) {
        const std::size_t start = at < size ? at : size;
        const void* separator = start < size ? std::memchr(data + start, '\0', size - start) : nullptr;
        const std::size_t end = separator == nullptr
                                    ? size
                                    : static_cast<std::size_t>(static_cast<const std::uint8_t*>(separator) - data);
        at = end + 1;
        if ((flags & (1u << i)) == 0) {
            if (start < end) {
                texts[i].assign(data + start, data + end);
            }
            texts[i].push_back('\0');
            strings[i] = texts[i].data();
            fullHeader.append(strings[i]);
        }
        fullHeader.push_back('\n');
    }

    ComposeDriverHeader(strings[0], strings[1], strings[2], strings[3]);
    const std::size_t headerLength = MeasureTerminatedLength(ReportBuffer, REPORT_BUFFER_SIZE);
    Require(headerLength < REPORT_BUFFER_SIZE, "header is not terminated within ReportBuffer");
    Require(headerLength <= HEADER_LIMIT - 1, "header keeps more than 1,023 bytes");
    const std::string header(ReportBuffer, headerLength);
    Require(header == fullHeader.substr(0, HEADER_LIMIT - 1),
            "header is not the driver strings' text cut at 1,023 bytes");

    DriverVerdict verdict = IdentifyDriver(ReportBuffer, ReadFuzzedRegistry);
    const bool marked = header.find("OVRIN") != std::string::npos;
    Require(verdict.ownDriver == marked, "ownDriver disagrees with the mark in the header");
    Require(registryAsks == (marked ? 1 : 0), "registry asked other than once exactly when marked");

    const std::uint32_t icon = ComposeDriverReport(&verdict, metrics);
    Require(icon == (marked ? BOX_ICON_QUESTION : BOX_ICON_EXCLAMATION), "wrong box icon");
    Require(MeasureTerminatedLength(LineBuffer, LINE_BUFFER_SIZE) < LINE_BUFFER_SIZE,
            "LineBuffer is not terminated");
    const std::size_t reportLength = MeasureTerminatedLength(ReportBuffer, REPORT_BUFFER_SIZE);
    Require(reportLength < REPORT_BUFFER_SIZE, "report is not terminated within ReportBuffer");
    Require(reportLength > headerLength, "report has no body");
    Require(std::memcmp(ReportBuffer, header.data(), headerLength) == 0,
            "report does not start with the header");
    // The standard formatter as the reference for the program's own.
    char resolution[80];
    std::snprintf(resolution, sizeof(resolution), "\nXres: %d, Yres: %d, Bits: %d\n",
                  static_cast<int>(metrics.xres), static_cast<int>(metrics.yres),
                  static_cast<int>(metrics.bitsPerPixel));
    Require(std::strncmp(ReportBuffer + headerLength, resolution, std::strlen(resolution)) == 0,
            "body does not start with the resolution line");

    ComposeExitNotice();
    const std::size_t noticeLength = MeasureTerminatedLength(ReportBuffer, REPORT_BUFFER_SIZE);
    Require(noticeLength < REPORT_BUFFER_SIZE, "exit notice is not terminated");
    Require(exitNotice.compare(0, std::string::npos, ReportBuffer, noticeLength) == 0,
            "exit notice depends on what ReportBuffer held before");
    return 0;
}
