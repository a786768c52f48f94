#include "common/ClientSize.h"

std::int32_t clientWidth = 1;
std::int32_t clientHeight = 1;
