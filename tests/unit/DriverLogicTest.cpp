#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "probe/DriverLogic.h"
#include "probe/ReportBuffers.h"

namespace {

// The registry readers the tests hand to IdentifyDriver; each records that it was asked.
int registryAsks = 0;
std::int32_t registryValue = 0;

bool RegistryHas(std::int32_t* width)
{
    ++registryAsks;
    *width = registryValue;
    return true;
}

bool RegistryLacks(std::int32_t*)
{
    ++registryAsks;
    return false;
}

constexpr ScreenMetrics screen1024 = {1024, 768, 16};

std::string ComposeHeader(const char* vendor, const char* renderer, const char* version,
                          const char* extensions)
{
    ComposeDriverHeader(vendor, renderer, version, extensions);
    return ReportBuffer;
}

struct Report {
    DriverVerdict verdict;
    std::uint32_t icon;
    std::string text;
};

// The whole start-up report as the program composes it, for a driver with these strings.
Report RunReport(const char* renderer, const char* extensions, RegistryReader reader,
                 const ScreenMetrics& metrics)
{
    registryAsks = 0;
    ComposeDriverHeader("Vendor", renderer, "1.1", extensions);
    Report report = {};
    report.verdict = IdentifyDriver(ReportBuffer, reader);
    report.icon = ComposeDriverReport(&report.verdict, metrics);
    report.text = ReportBuffer;
    return report;
}

std::string ComposeExpectedText(const char* renderer, const std::string& body,
                                const ScreenMetrics& m = screen1024)
{
    return "Current OpenGL Driver:\n\nVendor\n" + std::string(renderer) + "\n1.1\nGL_ext\n\nXres: " +
           std::to_string(m.xres) + ", Yres: " + std::to_string(m.yres) +
           ", Bits: " + std::to_string(m.bitsPerPixel) + "\n" + body;
}

TEST(DriverHeader, ListsTheFourStringsInOrderWithMissingOnesAsEmptyLines)
{
    EXPECT_EQ(ComposeHeader("V", "R", "1.1", "E"), "Current OpenGL Driver:\n\nV\nR\n1.1\nE\n");
    EXPECT_EQ(ComposeHeader("V", nullptr, "1.1", nullptr), "Current OpenGL Driver:\n\nV\n\n1.1\n\n");
}

TEST(DriverHeader, KeepsStringsVerbatimAndCutsAt1023Bytes)
{
    EXPECT_EQ(ComposeHeader("%s%n", "%d", "100%", ""), "Current OpenGL Driver:\n\n%s%n\n%d\n100%\n\n");

    const std::string longList(2000, 'x');
    const std::string header = ComposeHeader("V", "R", "1.1", longList.c_str());
    ASSERT_EQ(header.size(), 1023u);
    EXPECT_EQ(header, ("Current OpenGL Driver:\n\nV\nR\n1.1\n" + longList).substr(0, 1023));

    // A header of exactly 1023 bytes is kept whole, with its final newline.
    const std::string fits(1023 - std::strlen("Current OpenGL Driver:\n\nV\nR\n1.1\n\n"), 'y');
    EXPECT_EQ(ComposeHeader("V", "R", "1.1", fits.c_str()).back(), '\n');
}

TEST(IdentifyDriver, ForeignDriverIsNeverLookedUpInTheRegistry)
{
    registryAsks = 0;
    const DriverVerdict verdict = IdentifyDriver("Mesa GLINT MX ovrin Ovrin", RegistryHas);
    EXPECT_FALSE(verdict.ownDriver);
    EXPECT_EQ(verdict.memoryKind, MemUndetected);
    EXPECT_EQ(verdict.depthWidthBits, 0);
    EXPECT_EQ(registryAsks, 0);
}

TEST(IdentifyDriver, MarkCountsAnywhereEvenOnlyInTheExtensions)
{
    registryAsks = 0;
    ComposeDriverHeader("Some vendor", "Some renderer", "1.1", "GL_EXT_a GL_OVRIN_b");
    const DriverVerdict verdict = IdentifyDriver(ReportBuffer, RegistryLacks);
    EXPECT_TRUE(verdict.ownDriver);
    EXPECT_EQ(verdict.memoryKind, MemUndetected);
    EXPECT_EQ(registryAsks, 1);
}

TEST(IdentifyDriver, ChipTableOrderDefaultsAndExactCase)
{
    struct Case {
        const char* header;
        MemoryKind kind;
        std::int32_t width;
    };
    const Case cases[] = {
        {"OVRIN PERMEDIA", MemSgram, 16},
        {"OVRIN GLINT 300SX", MemVramDram, 32},
        {"OVRIN GLINT 500TX", MemVramDram, 32},
        {"OVRIN GLINT MX", MemVramDram, 32},
        {"OVRIN GLINT MX and PERMEDIA", MemSgram, 16},
        {"OVRIN Permedia glint mx GLINT  MX", MemUndetected, 0},
        {"OVRIN", MemUndetected, 0},
    };
    for (const Case& c : cases) {
        const DriverVerdict verdict = IdentifyDriver(c.header, RegistryLacks);
        EXPECT_TRUE(verdict.ownDriver) << c.header;
        EXPECT_EQ(verdict.memoryKind, c.kind) << c.header;
        EXPECT_EQ(verdict.depthWidthBits, c.width) << c.header;
    }
}

TEST(IdentifyDriver, RegistryValueOverridesTheChipDefault)
{
    registryValue = 24;
    EXPECT_EQ(IdentifyDriver("OVRIN PERMEDIA", RegistryHas).depthWidthBits, 24);
    registryValue = 0;
    EXPECT_EQ(IdentifyDriver("OVRIN GLINT MX", RegistryHas).depthWidthBits, 0);
    registryValue = -1;
    EXPECT_EQ(IdentifyDriver("OVRIN", RegistryHas).depthWidthBits, -1);
}

TEST(BufferSizes, BytesPerPixelRoundUpFromTheColourDepth)
{
    const std::int32_t bits[] = {8, 15, 16, 24, 32};
    const std::int64_t bytes[] = {1, 2, 2, 3, 4};
    for (int i = 0; i < 5; ++i) {
        const BufferSizes sizes = ComputeBufferSizes(32, ScreenMetrics{100, 10, bits[i]});
        EXPECT_EQ(sizes.frontBackBytes, 2 * bytes[i] * 1000) << bits[i];
    }
}

TEST(BufferSizes, DepthFollowsTheWidthAndIsZeroWithoutOne)
{
    EXPECT_EQ(ComputeBufferSizes(24, screen1024).depthBytes, 3 * 768 * 1024);
    EXPECT_EQ(ComputeBufferSizes(1, screen1024).depthBytes, 768 * 1024);
    EXPECT_EQ(ComputeBufferSizes(0, screen1024).depthBytes, 0);
    EXPECT_EQ(ComputeBufferSizes(-24, screen1024).depthBytes, 0);
    EXPECT_EQ(ComputeBufferSizes(0, screen1024).depth16Bytes, 1572864);
    EXPECT_EQ(ComputeBufferSizes(0, screen1024).depth32Bytes, 3145728);
}

TEST(BufferSizes, LargeScreensAndWidthsDoNotOverflow)
{
    // 32-bit arithmetic would wrap on all of these.
    const ScreenMetrics huge = {65536, 65536, 32};
    EXPECT_EQ(ComputeBufferSizes(32, huge).frontBackBytes, 34359738368);
    EXPECT_EQ(ComputeBufferSizes(INT32_MAX, screen1024).depthBytes,
              static_cast<std::int64_t>(268435456) * 768 * 1024);
    EXPECT_EQ(ComputeBufferSizes(32, ScreenMetrics{INT32_MAX, INT32_MAX, INT32_MAX}).frontBackBytes,
              INT64_MAX);
    EXPECT_EQ(ComputeBufferSizes(32, ScreenMetrics{INT32_MIN, INT32_MAX, 32}).depth32Bytes, INT64_MIN);
}

TEST(DriverReport, WorkedExampleOwnDriverWithGlintMxAndRegistryWidth32)
{
    registryValue = 32;
    const Report r = RunReport("OVRIN GLINT MX", "GL_ext", RegistryHas, screen1024);
    EXPECT_EQ(r.icon, BOX_ICON_QUESTION);
    EXPECT_EQ(r.verdict.memoryKind, MemVramDram);
    EXPECT_EQ(r.text,
              ComposeExpectedText("OVRIN GLINT MX",
                                  "3145728 bytes VRAM used for front plus back buffer.\n"
                                  "3145728 bytes DRAM used for depth and other buffers.\n"));
}

TEST(DriverReport, PermediaWithRegistryWidth24)
{
    registryValue = 24;
    const ScreenMetrics m = {800, 600, 32};
    const Report r = RunReport("OVRIN PERMEDIA 2", "GL_ext", RegistryHas, m);
    EXPECT_EQ(r.icon, BOX_ICON_QUESTION);
    EXPECT_EQ(r.text,
              ComposeExpectedText("OVRIN PERMEDIA 2",
                                  "3840000 bytes SGRAM used for front plus back buffer.\n"
                                  "1440000 bytes SGRAM used for depth buffer.\n",
                                  m));
}

const char* const ownUndetectedBody =
    "Attention! OVRIN OpenGL driver running, but localbuffer width was not detected!\n"
    "3145728 bytes RAM used for front plus back buffer.\n"
    "1572864 bytes RAM used if depth buffer has 16 bit width.\n"
    "3145728 bytes RAM used if depth buffer has 32 bit width.\n";

TEST(DriverReport, MarkWithoutChipIsUndetectedEvenWithARegistryWidth)
{
    registryValue = 32;
    const Report r = RunReport("OVRIN something", "GL_ext", RegistryHas, screen1024);
    EXPECT_EQ(r.icon, BOX_ICON_QUESTION);
    EXPECT_EQ(r.verdict.depthWidthBits, 32);
    EXPECT_EQ(r.verdict.memoryKind, MemUndetected);
    EXPECT_EQ(r.text, ComposeExpectedText("OVRIN something", ownUndetectedBody));
}

TEST(DriverReport, ChipWithZeroOrNegativeWidthFallsToUndetected)
{
    for (const std::int32_t width : {0, -1, INT32_MIN}) {
        registryValue = width;
        const Report r = RunReport("OVRIN PERMEDIA", "GL_ext", RegistryHas, screen1024);
        EXPECT_EQ(r.verdict.memoryKind, MemUndetected) << width;
        EXPECT_EQ(r.text, ComposeExpectedText("OVRIN PERMEDIA", ownUndetectedBody)) << width;
    }
}

TEST(DriverReport, HugeRegistryWidthPrintsTheFullSize)
{
    registryValue = INT32_MAX;
    const Report r = RunReport("OVRIN GLINT 500TX", "GL_ext", RegistryHas, screen1024);
    EXPECT_EQ(r.text,
              ComposeExpectedText("OVRIN GLINT 500TX",
                                  "3145728 bytes VRAM used for front plus back buffer.\n"
                                  "211106232532992 bytes DRAM used for depth and other buffers.\n"));
}

TEST(DriverReport, ForeignDriverAt800x600x24)
{
    const ScreenMetrics m = {800, 600, 24};
    const Report r = RunReport("Mesa renderer", "GL_ext", RegistryHas, m);
    EXPECT_EQ(registryAsks, 0);
    EXPECT_EQ(r.icon, BOX_ICON_EXCLAMATION);
    EXPECT_FALSE(r.verdict.ownDriver);
    EXPECT_EQ(r.text,
              ComposeExpectedText("Mesa renderer",
                                  "Attention! No OVRIN OpenGL driver running! Width of depth buffer was "
                                  "not detected!\n"
                                  "2880000 bytes RAM needed for front plus back buffer.\n"
                                  "960000 bytes RAM needed if depth buffer has 16 bit width.\n"
                                  "1920000 bytes RAM needed if depth buffer has 32 bit width\n",
                                  m));
}

TEST(DriverReport, MarkOrChipBeyondTheCutIsNotFound)
{
    // The extension list pushes the text after it beyond byte 1023 of the header.
    const std::string prefix = "Current OpenGL Driver:\n\nVendor\nR\n1.1\n";
    const std::string padding(1023 - prefix.size() - 3, 'x');
    const std::string markAtEdge = padding + "OVRIN";     // only "OVR" is kept
    Report r = RunReport("R", markAtEdge.c_str(), RegistryLacks, screen1024);
    EXPECT_FALSE(r.verdict.ownDriver);

    const std::string markInside = padding.substr(2) + "OVRIN"; // ends at byte 1022
    r = RunReport("R", markInside.c_str(), RegistryLacks, screen1024);
    EXPECT_TRUE(r.verdict.ownDriver);

    const std::string chipPast = "OVRIN " + padding + "GLINT MX";
    r = RunReport("R", chipPast.c_str(), RegistryLacks, screen1024);
    EXPECT_TRUE(r.verdict.ownDriver);
    EXPECT_EQ(r.verdict.memoryKind, MemUndetected);
    EXPECT_EQ(r.text.substr(0, 1023), (prefix + chipPast).substr(0, 1023));
}

TEST(ExitNotice, IsTheSixPiecesInOrder)
{
    std::strcpy(ReportBuffer, "left over from the report");
    ComposeExitNotice();
    EXPECT_STREQ(ReportBuffer,
                 "The previous OpenGL animation was not rendered using the\n"
                 "OVRIN OpenGL driver. If you have an OVRIN Pellora installed,\n"
                 "the current screen resolution was not supported with\n"
                 "hardware double buffering.\n"
                 "\nPlease consult the OVRIN Pellora manual for the proper\n"
                 "resolutions with 3D OpenGL hardware acceleration.");
}

} // namespace
