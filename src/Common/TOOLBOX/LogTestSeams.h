// Test-only controls of the log state.
#pragma once
#include <windows.h>

// Formats this time (or the current time, for null) in headers, lines and footers.
void TBDTestSetTime(const SYSTEMTIME* fixed);
// Restores every setting to its built-in value; only while the log is closed.
void TBDTestReset();
// Called by the print operations inside the log's locks, after the seek to the end and
// before the write (null: nothing).
void TBDTestSetLockedHook(void (*hook)());
