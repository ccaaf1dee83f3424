// The "DevuRezAzeve" diagnostic log: one per module, process-wide, written over TCHAR so
// the narrow and the wide builds come from this one source.
#pragma once
#include <windows.h>
#include <tchar.h>
#include <cstdint>

// Message classes.
enum : int32_t {
  TBDCT_NULL = 0,
  TBDCT_ALL = 1,
  TBDCT_ALL_FUNCTIONS = 2,
  TBDCT_ALL_MEMORY = 3,
  TBCT_INFO = 4,
  TBCT_READ = 5,
  TBDCT_LAST = 6,  // passes without an enable and whatever the levels
};

// Message types.
enum : int32_t { TBDLT_TRACE = 0, TBDLT_INFO = 1, TBDLT_FUNCTION = 2, TBDLT_ERROR = 3 };

// Output levels: a line passes a level when its type is at least the level.
enum : int32_t { TBDOL_TRACE = 0, TBDOL_INFORMATION = 1, TBDOL_ERROR = 2, TBDOL_NONE = 3 };

struct LogSettings {
  int32_t TraceLevel;
  BYTE EnableAllFunctions;
  BYTE EnableAllMemory;
  BYTE EnableInfo;
  BYTE EnableRead;
  int32_t MaxLogSize;  // below 1 means 100000000
  HKEY RootKey;        // carried, read by nobody
#ifdef UNICODE
  BYTE LogHostVersion;
  WCHAR ModuleName[MAX_PATH];
#endif
};

bool TBDInit(const TCHAR* fileName, const TCHAR* appName, int32_t maxLogSize, bool truncate);
void TBDEnd();
void TBDShutdown();
void TBDPrint(int32_t cls, int32_t type, const TCHAR* format, ...);
void TBDPrintHierarchical(int32_t cls, int32_t type, const TCHAR* format, ...);
bool TBDAssert(bool condition, const char* expression, const char* file, int32_t line);
void TBDSetTraceLevel(int32_t level, int32_t which);  // which: 0 both, 1 file, 2 debug
void TBDSetClassEnable(int32_t cls, bool enable);
void TBDDumpSettings();
void TBDCheckAlterEvent();
void CheckLogFile();
BOOL TBDWriteFile(HANDLE file, const void* data, DWORD byteCount, DWORD* bytesWritten,
                  OVERLAPPED* overlapped);

// Returns 1, or 0 when the log could not be opened (the module then runs without a log).
int32_t TBDSetup(const TCHAR* fileName, const TCHAR* appName, bool truncate, const LogSettings* settings);
bool TBDGetLogDirectory(TCHAR* directory /* MAX_PATH characters */);
void TBDApplyRegistryOverrides();
void TBDReadRegistryKey(const TCHAR* subkey);

#define TBD_ASSERT(expr) TBDAssert(!!(expr), #expr, __FILE__, __LINE__)
