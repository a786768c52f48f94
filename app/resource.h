#pragma once

// Resource identifiers, shared by the resource script and the C++ code.

#define IDI_APPICON 101
#define IDA_MAIN 103
#define IDCMD_QUIT 2
