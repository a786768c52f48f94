#include "probe/DriverProbe.h"

#include "common/GlHeaders.h"
#include "probe/DriverLogic.h"
#include "probe/ReportBuffers.h"
#include "probe/SystemBox.h"

static_assert(BOX_ICON_HAND == MB_ICONHAND, "box icons match the platform's");
static_assert(BOX_ICON_QUESTION == MB_ICONQUESTION, "box icons match the platform's");
static_assert(BOX_ICON_EXCLAMATION == MB_ICONEXCLAMATION, "box icons match the platform's");

namespace {

constexpr const char* DRIVER_KEY = "System\\CurrentControlSet\\Services\\BRISKO";
constexpr const char* WIDTH_VALUE = "ICDInterface.LBWidth";

// Decided by the start-up report, read at exit. Without a context there is no report, and the
// initial verdict (not the maker's driver) stays.
DriverVerdict driverVerdict = INITIAL_DRIVER_VERDICT;
// Opened for the depth width when the maker's mark was found, and never closed: by design it
// stays open until the process ends, through the whole animation, however long that runs.
HKEY registryKey = nullptr;

const char* ReadDriverString(GLenum name)
{
    return reinterpret_cast<const char*>(glGetString(name));
}

// Read access is all that is needed: asking for more under HKEY_LOCAL_MACHINE fails for users
// without administrator rights, and the width would be lost.
bool ReadRegistryWidth(std::int32_t* width)
{
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, DRIVER_KEY, 0, KEY_READ, &registryKey);
    // Whatever type the value has, its bytes are the width, little-endian; shorter data leaves the
    // high bytes zero. Longer data does not fit the buffer: the query fails and no width is read.
    BYTE data[4] = {0, 0, 0, 0};
    DWORD size = sizeof(data);
    if (RegQueryValueExA(registryKey, WIDTH_VALUE, nullptr, nullptr, data, &size) != ERROR_SUCCESS) {
        return false;
    }
    const std::uint32_t bits = static_cast<std::uint32_t>(data[0]) |
                               static_cast<std::uint32_t>(data[1]) << 8 |
                               static_cast<std::uint32_t>(data[2]) << 16 |
                               static_cast<std::uint32_t>(data[3]) << 24;
    *width = static_cast<std::int32_t>(bits);
    return true;
}

// The screen the window's device context describes: on a desktop of several monitors the
// primary one, whose buffers the board keeps. The desktop indices would count every monitor (or
// a panning desktop's whole virtual size). On a scaled display these are the physical pixels,
// because the manifest declares the program aware of display scaling.
ScreenMetrics ReadScreenMetrics(HDC dc)
{
    // Braced, so the three are asked in the order they are written.
    return {GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), GetDeviceCaps(dc, BITSPIXEL)};
}

} // namespace

void RunDriverReport(HDC dc)
{
    // One statement each: as arguments of one call they would reach the driver in whatever order
    // the compiler evaluates them, and the driver is asked in the order the report shows them.
    const char* const vendor = ReadDriverString(GL_VENDOR);
    const char* const renderer = ReadDriverString(GL_RENDERER);
    const char* const version = ReadDriverString(GL_VERSION);
    const char* const extensions = ReadDriverString(GL_EXTENSIONS);
    ComposeDriverHeader(vendor, renderer, version, extensions);
    driverVerdict = IdentifyDriver(ReportBuffer, ReadRegistryWidth);
    const ScreenMetrics metrics = ReadScreenMetrics(dc);
    const std::uint32_t icon = ComposeDriverReport(&driverVerdict, metrics);
    ShowSystemBox(ReportBuffer, icon);
}

void ShowExitNoticeIfForeign()
{
    if (driverVerdict.ownDriver) {
        return;
    }
    ComposeExitNotice();
    ShowSystemBox(ReportBuffer, BOX_ICON_HAND);
}
