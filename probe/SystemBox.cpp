#include "probe/SystemBox.h"

#include "common/WindowTitle.h"

void ShowSystemBox(const char* text, UINT icon)
{
    MessageBoxA(GetFocus(), text, WINDOW_TITLE, MB_OK | MB_SYSTEMMODAL | icon);
}
