// Test seams of the debugger-output logger: the tick source and where finished lines go.
#pragma once
#include <windows.h>

using DebugLogClock = DWORD (*)();
using DebugLogSink = void (*)(const char* line);
void SetDebugLogClock(DebugLogClock clock);  // null: GetTickCount
void SetDebugLogSink(DebugLogSink sink);     // null: OutputDebugStringA
