// Test seam of the SDK binding: the pause between closing the SDK and freeing its library.
#pragma once
#include <windows.h>

void SetSdkClosePause(DWORD ms);  // the default is kSdkClosePauseMs
void SetSdkApiUnavailable(bool unavailable);  // GetSdkApi answers null, as when out of memory
