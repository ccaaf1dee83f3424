// The module's own log set-up, folder lookup and version lines (the log itself is the
// toolbox's wide build).
#pragma once
#include <windows.h>

#include <string>

#include "devurezazeve.h"

#ifdef QELVXWM_GSM_ONLY
int32_t TBDSetup(const wchar_t* fileName, const wchar_t* appName, bool truncate);
#endif
// The log folder as TBDGetLogDirectory gives it, with the reason when there is none (out is
// then empty): kLogFolderNone when there is no profile variable to build it from (or the
// system version cannot be read); kLogFolderUnavailable when a level of it cannot be
// created; kLogFolderTooLong when a profile variable, or the folder's path with the names
// of the files the module keeps there, does not fit MAX_PATH characters (nothing has been
// created then).
enum LogFolderResult { kLogFolderFound, kLogFolderNone, kLogFolderUnavailable, kLogFolderTooLong };
LogFolderResult FindLogDirectory(wchar_t* out /* MAX_PATH characters */);

// A line that must be seen: into the module's log, or to the debugger output when the
// set-up opened none.
void TBDPrintWhereSeen(int32_t cls, int32_t type, const wchar_t* text);

// Writes the set-up's version line once; called from the first export call, since the line
// loads version.dll, which may not happen under the loader lock.
void TBDWriteSetupVersionLine();
bool GetModuleVersion(const wchar_t* path);
bool GetHostProgramDirectory(wchar_t* out /* MAX_PATH characters */);

// "%u.%u.%u.%u" of a module's file version, "0.0.0.0" without version information, empty
// when version.dll or its functions are missing (failures logged with the given messages).
std::wstring ReadFileVersion(const wchar_t* file, const wchar_t* loadFailure, const wchar_t* bindFailure);
