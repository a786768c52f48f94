#include "probe/ReportBuffers.h"

char ReportBuffer[REPORT_BUFFER_SIZE] = {};
char LineBuffer[LINE_BUFFER_SIZE] = {};
