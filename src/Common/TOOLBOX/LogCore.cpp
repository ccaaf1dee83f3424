// Output half of the log: opening, printing, rotation, scrambling and closing.
#include <cstring>

#include "Convert.h"
#include "LogState.h"
#include "LogTestSeams.h"
#include "Registry.h"
#include "SafeString.h"

namespace tbd {

State g;

const TCHAR* const kSettingNames[kSettingCount] = {
    _T("OutputToFile"),   _T("OutputToDebug"), _T("OutputDateTimeInHeader"),  _T("OutputThreadID"),
    _T("OutputTickCount"), _T("UseAssertUI"),  _T("AssertsBreakIntoDebugger")};
const TCHAR* const kLevelNames[TBDOL_NONE + 1] = {_T("TBDOL_TRACE"), _T("TBDOL_INFORMATION"),
                                                  _T("TBDOL_ERROR"), _T("TBDOL_NONE")};
const TCHAR* const psClassTypeNames[TBDCT_LAST + 1] = {
    _T("TBDCT_NULL"), _T("TBDCT_ALL"), _T("TBDCT_ALL_FUNCTIONS"), _T("TBDCT_ALL_MEMORY"),
    _T("TBCT_INFO"),  _T("TBCT_READ"), nullptr};

}  // namespace tbd

namespace {

using namespace tbd;

// Classes whose enable lets a class pass TBDPrintHierarchical, each list ended by 0.
const int32_t kHierNull[] = {0};
const int32_t kHierAll[] = {TBDCT_ALL, 0};
const int32_t kHierFunctions[] = {TBDCT_ALL_FUNCTIONS, TBDCT_ALL, 0};
const int32_t kHierMemory[] = {TBDCT_ALL_MEMORY, TBDCT_ALL, 0};
const int32_t kHierInfo[] = {TBCT_INFO, TBDCT_ALL, 0};
const int32_t kHierRead[] = {TBCT_READ, TBDCT_ALL, 0};
const int32_t* const tbdcHierarchy[TBDCT_LAST + 1] = {kHierNull, kHierAll,  kHierFunctions, kHierMemory,
                                                      kHierInfo, kHierRead, nullptr};

const TCHAR* const kPrintTags[] = {_T(" t :   "), _T(" i :   "), _T(" h : "), _T(" E :   ")};
const TCHAR* const kHierTags[] = {_T(" t : "), _T(" i : "), _T(" ? : "), _T(" E : ")};
const TCHAR* const kOtherTag = _T(" ? : ");

#if defined(UNICODE) && defined(TBD_OLDER_BUILD)
const TCHAR* const kThreadPrefix = _T("ID 0x%08x : ");
constexpr int32_t kClassLineClass = TBDCT_LAST;
constexpr int32_t kClassLineType = TBDLT_TRACE;
LocalAllocPtr<wchar_t> FromNarrow(const char* text) { return AnsiToWide(text ? text : "", 0); }
#elif defined(UNICODE)
const TCHAR* const kThreadPrefix = _T(" 0x%08x : ");
constexpr int32_t kClassLineClass = TBCT_INFO;
constexpr int32_t kClassLineType = TBDLT_INFO;
LocalAllocPtr<wchar_t> FromNarrow(const char* text) { return AnsiToWide(text ? text : "", 0); }
#else
const TCHAR* const kThreadPrefix = _T("ID 0x%08x : ");
constexpr int32_t kClassLineClass = TBDCT_LAST;
constexpr int32_t kClassLineType = TBDLT_TRACE;
LocalAllocPtr<char> FromNarrow(const char* text) { return AnsiCopy(text ? text : "", 0); }
#endif

constexpr int kStampChars = 128;
constexpr int kHierChars = 10240;

const TCHAR* Tag(const TCHAR* const (&tags)[4], int32_t type) {
  return type >= TBDLT_TRACE && type <= TBDLT_ERROR ? tags[type] : kOtherTag;
}

bool ClassEnabled(int32_t cls) { return cls >= 0 && cls < TBDCT_LAST && g.classEnable[cls] != 0; }

bool HierarchyEnabled(int32_t cls) {
  if (cls < 0 || cls >= TBDCT_LAST) return false;
  for (const int32_t* c = tbdcHierarchy[cls]; *c; ++c)
    if (ClassEnabled(*c)) return true;
  return false;
}

bool LevelPasses(int32_t cls, int32_t type) {
  return type >= g.fileLevel || type >= g.debugLevel || cls == TBDCT_LAST;
}

bool FormatTime(TCHAR (&out)[kStampChars]) {
  return GetTimeFormat(0, 0, g.fixedTime, nullptr, out, kStampChars) > 0;
}
bool FormatDate(TCHAR (&out)[kStampChars]) {
  return GetDateFormat(0, DATE_LONGDATE, g.fixedTime, nullptr, out, kStampChars) > 0;
}

bool FileOpen() { return g.outputFile != INVALID_HANDLE_VALUE; }

void (*lockedHook)() = nullptr;  // test seam: runs inside the locks, between the seek and the write

// How often a waiter for the print lock looks again without being woken.
constexpr DWORD kOwnerCheckMs = 100;
// The owner of the print lock when the thread inside has no handle of its own (none could
// be opened): it is waited for, never taken for dead.
HANDLE const kUnnamedOwner = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));
// The owner of the print lock once its thread ended inside without leaving it.
HANDLE const kEndedOwner = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-3));

// Closes a thread's own handle when the thread ends (or the log's slot is freed); a thread
// that ended inside the print leaves the lock to the next comer.
void WINAPI CloseOwnHandle(void* handle) {
  InterlockedCompareExchangePointer(&g.printOwner, kEndedOwner, handle);
  CloseHandle(handle);
}

// The calling thread's handle to itself, opened at its first print and kept until it ends.
// As the print lock's owner it names the thread: the thread object, and with it the thread
// id, cannot go to another thread while the handle is open.
HANDLE OwnThreadHandle() {
  if (g.printOwnerSlot == FLS_OUT_OF_INDEXES) return kUnnamedOwner;
  if (HANDLE own = FlsGetValue(g.printOwnerSlot)) return own;
  HANDLE own = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0))
    return kUnnamedOwner;
  if (!FlsSetValue(g.printOwnerSlot, own)) {
    CloseHandle(own);
    return kUnnamedOwner;
  }
  return own;
}

// Takes the print lock; true when its owner had ended inside. Not re-entrant: the owning
// thread that asks again waits for itself for good. A waiter waits for the owner's wake-up
// and for the owner's thread to end, whichever comes first.
bool EnterPrintLock() {
  HANDLE self = OwnThreadHandle();
  for (;;) {
    HANDLE owner = InterlockedCompareExchangePointer(&g.printOwner, self, nullptr);
    if (!owner) return false;
    InterlockedIncrement(&g.printWaiters);
    // Counted as a waiter before the second look: a leaving owner either is seen gone here
    // or sees the count and wakes us.
    owner = InterlockedCompareExchangePointer(&g.printOwner, self, nullptr);
    DWORD wait = WAIT_OBJECT_0;
    if (owner == kEndedOwner) {
      wait = WAIT_OBJECT_0 + 1;
    } else if (owner) {
      HANDLE waits[] = {g.printWake, owner};
      wait = WaitForMultipleObjects(owner == kUnnamedOwner ? 1 : 2, waits, FALSE, kOwnerCheckMs);
    }
    InterlockedDecrement(&g.printWaiters);
    if (!owner) return false;
    if (wait == WAIT_OBJECT_0 + 1 && InterlockedCompareExchangePointer(&g.printOwner, self, owner) == owner)
      return true;
  }
}

void LeavePrintLock() {
  InterlockedExchangePointer(&g.printOwner, nullptr);
  if (g.printWaiters > 0) SetEvent(g.printWake);
}

// Serialises seek, write and rotation: between the threads of this process by the print
// lock, between processes by an exclusive lock on one byte far past any log data. A file
// lock belongs to the handle, not to the thread, so one left by a thread that died inside
// is released by the next owner of the abandoned print lock. Not re-entrant.
class LogLock {
 public:
  LogLock() {
    if (!g.printWake) return;
    bool abandoned = EnterPrintLock();
    owned_ = true;
    if (g.outputFile == INVALID_HANDLE_VALUE) return;
    overlapped_.Offset = 0xFFFFFFF0;
    overlapped_.OffsetHigh = 0x7FFFFFFF;
    if (abandoned) UnlockFileEx(g.outputFile, 0, 1, 0, &overlapped_);
    locked_ = LockFileEx(g.outputFile, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &overlapped_);
  }
  ~LogLock() {
    if (locked_) UnlockFileEx(g.outputFile, 0, 1, 0, &overlapped_);
    if (owned_) LeavePrintLock();
  }
  LogLock(const LogLock&) = delete;
  LogLock& operator=(const LogLock&) = delete;

 private:
  OVERLAPPED overlapped_{};
  bool owned_ = false;
  bool locked_ = false;
};

void SeekEnd() { SetFilePointer(g.outputFile, 0, nullptr, FILE_END); }

// Writes the ANSI bytes of a text (nothing when the copy cannot be made).
void WriteText(const TCHAR* text) {
  auto bytes = ToAnsiBytes(text);
  if (!bytes) return;
  DWORD written = 0;
  TBDWriteFile(g.outputFile, bytes.get(), static_cast<DWORD>(std::strlen(bytes.get())), &written, nullptr);
}

void WriteDateTime() {
  if (!g.settings[kOutputDateTimeInHeader]) return;
  TCHAR stamp[kStampChars];
  if (FormatDate(stamp)) {
    WriteText(_T(" "));
    WriteText(stamp);
  }
  if (FormatTime(stamp)) {
    WriteText(_T(" "));
    WriteText(stamp);
  }
}

// Empties the file first when asked, under the same lock as every write: a writer of
// another process that had sought to the old end writes only after it.
void WriteHeader(bool truncate) {
  LogLock lock;
  if (truncate) {
    SetFilePointer(g.outputFile, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(g.outputFile);
  }
  SeekEnd();
  WriteText(_T("\r\n\r\n======="));
  WriteText(_T(" "));
  WriteText(g.appName);
  WriteText(_T(" -"));
  WriteDateTime();
  WriteText(_T(" =======\r\n"));
}

void WriteFooter() {
  LogLock lock;
  SeekEnd();
  WriteText(_T("\r\n=======\r\nLog Ended"));
  WriteDateTime();
}

// Copies the log to a temporary name no longer than the backup's, then moves it over the
// backup: the backup is replaced only by a complete copy and the log is emptied only after
// that, so a failure loses nothing.
bool Rotate() {
  TCHAR backup[kPathChars], partial[kPathChars];
  if (SafeSnprintf(backup, kPathChars, _T("%s_BACKUP"), g.outputFilePath) == 0 ||
      SafeSnprintf(partial, kPathChars, _T("%s_BAKNEW"), g.outputFilePath) == 0)
    return false;
  DWORD attributes = GetFileAttributes(backup);
  if (attributes != INVALID_FILE_ATTRIBUTES)
    SetFileAttributes(backup, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (!CopyFile(g.outputFilePath, partial, FALSE) || !MoveFileEx(partial, backup, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFile(partial);
    return false;
  }
  SetFilePointer(g.outputFile, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(g.outputFile);
  return true;
}

// Rotates a full log. Each attempt copies the whole file, so after a failed one the next
// waits until the log has grown by a quarter of the limit. The caller holds the LogLock.
void RotateIfFull() {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(g.outputFile, &size)) return;
  if (size.QuadPart < g.maxLogSize) {
    g.rotationRetrySize = 0;
    return;
  }
  if (size.QuadPart < g.rotationRetrySize) return;
  g.rotationRetrySize = Rotate() ? 0 : size.QuadPart + (g.maxLogSize / 4 > 0 ? g.maxLogSize / 4 : 1);
}

void BuildLine(TCHAR* line, uint32_t size, const TCHAR* tag, const TCHAR* message) {
  SafeStrCopy(line, g.appName, size);
  SafeStrCat(line, _T(" : "), size);
  TCHAR stamp[kStampChars];
  if (FormatTime(stamp)) SafeStrCat(line, stamp, size);
  TCHAR prefix[32];
  if (g.settings[kOutputThreadID] && SafeSnprintf(prefix, 32, kThreadPrefix, GetCurrentThreadId()))
    SafeStrCat(line, prefix, size);
  if (g.settings[kOutputTickCount] && SafeSnprintf(prefix, 32, _T("TC 0x%08x : "), GetTickCount()))
    SafeStrCat(line, prefix, size);
  SafeStrCat(line, tag, size);
  SafeStrCat(line, message, size);
  SafeStrCat(line, _T("\r\n"), size);
}

void WriteLine(const TCHAR* line) {
  if (!g.settings[kOutputToFile] || !FileOpen()) return;
  SeekEnd();
  if (lockedHook) lockedHook();
  WriteText(line);
}

void ReportAssertion(const char* expression) { TBDAssert(false, expression, __FILE__, __LINE__); }

bool FailInit() {
  g.initialized = false;
  TBDEnd();
  return false;
}

const TCHAR* BoolText(bool b) { return b ? _T("true") : _T("false"); }

}  // namespace

bool TBDInit(const TCHAR* fileName, const TCHAR* appName, int32_t maxLogSize, bool truncate) {
  if (g.initialized) {
    ReportAssertion("!btbdInitialized");
    return true;
  }
  SafeStrCopy(g.appName, appName && *appName ? appName : _T("DevuRezAzeve"), kPathChars);
  g.maxLogSize = maxLogSize < 1 ? kDefaultMaxLogSize : maxLogSize;
  g.initialized = true;

  SafeStrCopy(g.globalKey, kRootKeyName, kPathChars);
  SafeSnprintf(g.appKey, kPathChars, _T("%s\\%s"), kRootKeyName, g.appName);
  SafeStrCopy(g.alterEventName, kAlterEventPrefix, kPathChars);
  SafeStrCat(g.alterEventName, g.appName, kPathChars);
  MbsUpper(g.alterEventName + _tcslen(kAlterEventPrefix));

  g.printOwner = nullptr;
  g.printWaiters = 0;
  g.printWake = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  if (!g.printWake) return FailInit();
  g.printOwnerSlot = FlsAlloc(CloseOwnHandle);
  g.rotationRetrySize = 0;

  if (g.alterEvent) ReportAssertion("0 == hAlterEvent");
  g.alterEvent = CreateEvent(nullptr, FALSE, FALSE, g.alterEventName);
  if (!g.alterEvent) return FailInit();

  if (tbdcHierarchy[TBDCT_LAST] || psClassTypeNames[TBDCT_LAST]) {
    ReportAssertion("(0 == tbdcHierarchy[TBDCT_LAST]) && (0 == psClassTypeNames[TBDCT_LAST])");
    if (tbdcHierarchy[TBDCT_LAST]) return FailInit();
  }
  std::memset(g.classEnable, 0, sizeof(g.classEnable));
#ifndef TBD_OLDER_BUILD
  TBDApplyRegistryOverrides();  // the older build reads the registry only on the alter event
#endif
  if (!g.settings[kOutputToFile]) return true;

  if (FileOpen()) ReportAssertion("INVALID_HANDLE_VALUE == hOutputFile");
  SafeStrCopy(g.outputFileName, fileName && *fileName ? fileName : _T("DevuRezAzeve.txt"), kPathChars);
  // The registry name is taken only when it was read whole as a non-empty string.
  TCHAR fromRegistry[kPathChars] = {};
  DWORD type = REG_NONE;
  auto readName = [&](HKEY root) {
    return RegReadString(root, g.appKey, _T("OutputFileName"), fromRegistry, kPathChars, &type) &&
           (type == REG_SZ || type == REG_EXPAND_SZ) && fromRegistry[0] != 0;
  };
  if (readName(HKEY_CURRENT_USER) || readName(HKEY_LOCAL_MACHINE))
    SafeStrCopy(g.outputFileName, fromRegistry, kPathChars);
  g.hasOutputFileName = true;

  // A name with a drive ("X:\") or a UNC name stands as it is; others go beside the program.
  const TCHAR* name = g.outputFileName;
  bool absolute = MbsFindText(name, _T(":\\")) || (name[0] == '\\' && name[1] == '\\');
  SafeStrCopy(g.outputFilePath, name, kPathChars);
  if (!absolute) {
    TCHAR folder[kPathChars] = {};
    GetModuleFileName(nullptr, folder, kPathChars);
    TCHAR* lastSlash = nullptr;
    for (TCHAR* p = folder; *p; p = CharNext(p))
      if (*p == '\\') lastSlash = p;
    if (lastSlash) {
      *lastSlash = 0;
      if (!SafeSnprintf(g.outputFilePath, kPathChars, _T("%s\\%s"), folder, name)) return FailInit();
    }
  }
  g.outputFile = CreateFile(g.outputFilePath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, 0, nullptr);

  DWORD encrypt = 0;
  if (RegReadDword(HKEY_CURRENT_USER, _T("Software\\Veltra Vazudari Inc"), _T("enable encrypt"), &encrypt))
    g.scramble = encrypt == 1;

  if (!FileOpen()) return FailInit();
  WriteHeader(truncate);
  return true;
}

void TBDEnd() {
  if (g.alterEvent) {
    CloseHandle(g.alterEvent);
    g.alterEvent = nullptr;
  }
  if (FileOpen()) WriteFooter();
  if (g.printWake) {
    CloseHandle(g.printWake);
    g.printWake = nullptr;
  }
  // Closes every thread's own handle; the callback must not outlive the module.
  if (g.printOwnerSlot != FLS_OUT_OF_INDEXES) {
    FlsFree(g.printOwnerSlot);
    g.printOwnerSlot = FLS_OUT_OF_INDEXES;
  }
  if (FileOpen()) {
    CloseHandle(g.outputFile);
    g.outputFile = INVALID_HANDLE_VALUE;
  }
  g.initialized = false;
}

void TBDShutdown() { TBDEnd(); }

void TBDPrint(int32_t cls, int32_t type, const TCHAR* format, ...) {
  if (!g.initialized) return;
#ifdef TBD_OLDER_BUILD
  // The older build checks the size on every call, dropped lines included.
  if (FileOpen()) {
    LogLock rotationLock;
    RotateIfFull();
  }
#endif
  TBDCheckAlterEvent();
  if (!LevelPasses(cls, type) || (cls != TBDCT_LAST && !ClassEnabled(cls))) return;
  LogLock lock;
#ifndef TBD_OLDER_BUILD
  if (FileOpen()) RotateIfFull();
#endif
  TCHAR message[kLineChars];
  va_list args;
  va_start(args, format);
  FormatCut(message, kLineChars, format, args);
  va_end(args);
  TCHAR line[kLineChars];
  BuildLine(line, kLineChars, Tag(kPrintTags, type), message);
  WriteLine(line);
#ifdef TBD_OLDER_BUILD
  OutputDebugString(line);  // every passing line, whatever OutputToDebug says
#endif
}

void TBDPrintHierarchical(int32_t cls, int32_t type, const TCHAR* format, ...) {
  if (!g.initialized) return;
  TBDCheckAlterEvent();
  if (!LevelPasses(cls, type) || (cls != TBDCT_LAST && !HierarchyEnabled(cls))) return;
  auto message = LocalAllocPtr<TCHAR>::Allocate(kHierChars);
  auto line = LocalAllocPtr<TCHAR>::Allocate(kHierChars);
  if (!message || !line) return;
  va_list args;
  va_start(args, format);
  FormatCut(message.get(), kHierChars, format, args);
  va_end(args);
  BuildLine(line.get(), kHierChars, Tag(kHierTags, type), message.get());
  if (type < g.fileLevel) return;
  LogLock lock;
  WriteLine(line.get());
}

bool TBDAssert(bool condition, const char* expression, const char* file, int32_t line) {
  TBDCheckAlterEvent();
  if ((g.fileLevel > TBDOL_NONE && g.debugLevel > TBDOL_NONE) || condition) return condition;
  auto fileText = FromNarrow(file);
  auto expressionText = FromNarrow(expression);
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, _T("TBD : ASSERT FAILURE in \"%s\" at line %d : %s"),
           fileText ? fileText.get() : _T(""), line, expressionText ? expressionText.get() : _T(""));
  return condition;
}

void TBDSetTraceLevel(int32_t level, int32_t which) {
  if (!g.initialized) return;
  TBDCheckAlterEvent();
  if (which == 0 || which == 1) g.fileLevel = level;
  if (which == 0 || which == 2) g.debugLevel = level;
}

void TBDSetClassEnable(int32_t cls, bool enable) {
  if (!g.initialized) return;
  TBDCheckAlterEvent();
  if (cls >= TBDCT_LAST) {
    ReportAssertion("tbtcType < TBDCT_LAST");
    return;
  }
  if (cls < 0) return;
  g.classEnable[cls] = enable ? 1 : 0;
  TBDPrint(kClassLineClass, kClassLineType, _T("TBD : Class enable state change: %s = %s"),
           psClassTypeNames[cls], BoolText(enable));
}

void TBDDumpSettings() {
  if (!g.initialized) return;
  TBDCheckAlterEvent();
  auto dump = [](const TCHAR* format, auto... args) { TBDPrint(TBDCT_LAST, TBDLT_TRACE, format, args...); };
  dump(_T("TBD : DevuRezAzeve Settings"));
  if (g.hasOutputFileName)
    dump(_T("TBD :   Output file name = \"%s\""), g.outputFileName);
  else
    dump(_T("TBD :   Output file name = [Not using output file]"));
  for (int i = kSettingCount - 1; i >= 0; --i) dump(_T("TBD :   %s = %s"), kSettingNames[i], BoolText(g.settings[i]));
  auto levelText = [](int32_t level, TCHAR (&buf)[16]) -> const TCHAR* {
    if (level >= TBDOL_TRACE && level <= TBDOL_NONE) return kLevelNames[level];
    SafeSnprintf(buf, 16, _T("%d"), level);
    return buf;
  };
  TCHAR a[16], b[16];
  dump(_T("TBD :   TraceLevelFile = %s"), levelText(g.fileLevel, a));
  dump(_T("TBD :   TraceLevelDebug = %s"), levelText(g.debugLevel, b));
  dump(_T("TBD :   Trace classes:"));
  for (int c = TBDCT_ALL; c <= TBCT_READ; ++c)
    dump(_T("TBD :     %s = %s"), psClassTypeNames[c], BoolText(g.classEnable[c] != 0));
}

void TBDCheckAlterEvent() {
  if (g.alterEvent && WaitForSingleObject(g.alterEvent, 0) == WAIT_OBJECT_0) TBDApplyRegistryOverrides();
}

void CheckLogFile() {
  if (!g.initialized || !FileOpen()) return;
  LogLock lock;
  RotateIfFull();
}

BOOL TBDWriteFile(HANDLE file, const void* data, DWORD byteCount, DWORD* bytesWritten, OVERLAPPED* overlapped) {
  if (!g.scramble) return WriteFile(file, data, byteCount, bytesWritten, overlapped);
  auto* copy = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, byteCount ? byteCount : 1));
  if (!copy) return WriteFile(file, nullptr, 0, bytesWritten, overlapped);
  auto* bytes = static_cast<const BYTE*>(data);
  for (DWORD i = 0; i < byteCount; ++i) copy[i] = bytes[i] ^ 0xB7;
  BOOL ok = WriteFile(file, copy, byteCount, bytesWritten, overlapped);
  HeapFree(GetProcessHeap(), 0, copy);
  return ok;
}

void TBDTestSetTime(const SYSTEMTIME* fixed) { g.fixedTime = fixed; }

void TBDTestSetLockedHook(void (*hook)()) { lockedHook = hook; }

void TBDTestReset() {
  if (g.initialized) return;
  g = State{};
}
