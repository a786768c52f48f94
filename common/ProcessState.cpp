#include "common/ProcessState.h"

std::int32_t clientWidth = 1;
std::int32_t clientHeight = 1;
DriverVerdict driverVerdict = INITIAL_DRIVER_VERDICT;
AnimationState animationState = INITIAL_ANIMATION_STATE;
Vec3 dualVertices[DUAL_VERTEX_COUNT] = {};
char ReportBuffer[REPORT_BUFFER_SIZE] = {};
char LineBuffer[LINE_BUFFER_SIZE] = {};
