// Test seam of the client library's thread: how long a caller waits for its call there.
#pragma once
#include <windows.h>

void SetAuxCallWait(DWORD ms);  // the default is kAuxCallWaitMs
