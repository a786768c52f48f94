#pragma once

// The two buffers every message text is built in: one formatted line at a time in LineBuffer,
// appended to ReportBuffer, which the box then shows.

constexpr int REPORT_BUFFER_SIZE = 2048;
constexpr int LINE_BUFFER_SIZE = 256;

extern char ReportBuffer[REPORT_BUFFER_SIZE];
extern char LineBuffer[LINE_BUFFER_SIZE];
