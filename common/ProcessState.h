#pragma once

// The process-wide state that the subsystems share. It lives for the whole run and is touched
// only from the thread that runs the message loop. The platform handles are declared apart, in
// PlatformState.h, so that this header stays free of windows.h.

#include <cstdint>

#include "common/Vec3.h"
#include "probe/DriverVerdict.h"
#include "scene/AnimationState.h"

constexpr int REPORT_BUFFER_SIZE = 2048;
constexpr int LINE_BUFFER_SIZE = 256;
constexpr int DUAL_VERTEX_COUNT = 20;

extern std::int32_t clientWidth;
extern std::int32_t clientHeight;
extern DriverVerdict driverVerdict;
extern AnimationState animationState;
extern Vec3 dualVertices[DUAL_VERTEX_COUNT];
extern char ReportBuffer[REPORT_BUFFER_SIZE];
extern char LineBuffer[LINE_BUFFER_SIZE];
