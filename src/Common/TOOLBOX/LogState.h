// Process-wide state of the log, shared by its output and its set-up halves.
#pragma once
#include <windows.h>
#include <tchar.h>

#include "devurezazeve.h"

namespace tbd {

enum Setting {
  kOutputToFile,
  kOutputToDebug,
  kOutputDateTimeInHeader,
  kOutputThreadID,
  kOutputTickCount,
  kUseAssertUI,
  kAssertsBreakIntoDebugger,
  kSettingCount
};

constexpr int kPathChars = MAX_PATH;
constexpr int kLineChars = 1024;
constexpr int32_t kDefaultMaxLogSize = 100000000;

struct State {
  bool initialized = false;
  TCHAR appName[kPathChars] = _T("DevuRezAzeve");
  int32_t maxLogSize = kDefaultMaxLogSize;
  HANDLE outputFile = INVALID_HANDLE_VALUE;
  bool hasOutputFileName = false;
  TCHAR outputFileName[kPathChars] = {};
  TCHAR outputFilePath[kPathChars] = {};
  bool settings[kSettingCount] = {true, true, true, true, false, true, true};
  int32_t fileLevel = TBDOL_NONE;
  int32_t debugLevel = TBDOL_NONE;
  BYTE classEnable[TBDCT_LAST + 1] = {};
  bool scramble = false;
  HANDLE alterEvent = nullptr;
  TCHAR globalKey[kPathChars] = {};
  TCHAR appKey[kPathChars] = {};
  TCHAR alterEventName[kPathChars] = {};
  // Serialises printing and rotation in this process: the handle of the thread inside (its
  // own, kept in printOwnerSlot), null when none, taken without a kernel call when free. A
  // waiter also waits on the owner's thread, so one that died inside (ExitProcess,
  // TerminateThread) leaves the lock abandoned, not held.
  void* volatile printOwner = nullptr;
  volatile LONG printWaiters = 0;
  HANDLE printWake = nullptr;  // auto-reset: set by a leaving owner while others wait
  DWORD printOwnerSlot = FLS_OUT_OF_INDEXES;  // each printing thread's own handle
  int64_t rotationRetrySize = 0;  // after a failed rotation, the size at which to try again
  const SYSTEMTIME* fixedTime = nullptr;  // test seam: formats this time in place of now
};

extern State g;

extern const TCHAR* const kSettingNames[kSettingCount];
extern const TCHAR* const kLevelNames[TBDOL_NONE + 1];
extern const TCHAR* const psClassTypeNames[TBDCT_LAST + 1];

constexpr const TCHAR* kRootKeyName = _T("Software\\DevuRezAzeve");
constexpr const TCHAR* kAlterEventPrefix = _T("DevuRezAzeve_AlterEvent_");

}  // namespace tbd
