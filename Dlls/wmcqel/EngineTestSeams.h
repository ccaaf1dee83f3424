// Test seams of the engine: its waits and its clock.
#pragma once
#include <windows.h>

void SetReadyRetryPause(DWORD ms);   // default kReadyRetryPauseMs
void SetInitTimerPeriod(DWORD ms);   // default kInitTimerPeriodMs
using EngineClock = DWORD (*)();
void SetEngineClock(EngineClock clock);  // null: GetTickCount
DWORD EngineNow();
void SetEngineAllocationFails(bool fails);  // WMC_Startup then meets an allocation failure
bool EngineAllocationFails();
class CSEVDOEngine;
CSEVDOEngine* PublishedEngine();  // the running engine, or null (no reference taken)
