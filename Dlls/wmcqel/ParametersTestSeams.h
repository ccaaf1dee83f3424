// Test seams of the parameters, NDIS and upgrade operations and of the field-test trace.
#pragma once
#include <windows.h>

void SetNdisPollPause(DWORD ms);     // default kNdisPollPauseMs
void SetFieldTestPeriod(DWORD ms);   // default kFieldTestPeriodMs
// Waits for the process's end while dispatching the thread's messages: true when it ended,
// false when the wait failed.
bool WaitForProcessPumping(HANDLE process);
