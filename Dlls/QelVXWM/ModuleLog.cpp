#include "ModuleLog.h"

#include <initializer_list>

#include "FunctionTrace.h"
#include "Handles.h"
#include "LibraryLoad.h"
#include "Registry.h"
#include "SafeString.h"

namespace {

constexpr int kPathChars = MAX_PATH;

// Appends with a check: false, and nothing changed, when the result would not fit.
bool Append(wchar_t* buffer, const wchar_t* text) {
  if (wcslen(buffer) + wcslen(text) + 1 > static_cast<size_t>(kPathChars)) return false;
  SafeWcsCat(buffer, text, kPathChars);
  return true;
}

// Whether the texts appended to buffer would fit it.
bool Fits(const wchar_t* buffer, std::initializer_list<const wchar_t*> texts) {
  size_t length = wcslen(buffer);
  for (const wchar_t* text : texts) length += wcslen(text);
  return length + 1 <= static_cast<size_t>(kPathChars);
}

// The longest name the module puts in its log folder: the log's backup copy.
const wchar_t kLongestFileName[] = L"QelVXWM.log_BACKUP";

// An environment value that fits the buffer whole, else false (counted as missing); *tooLong
// is set when the value exists but does not fit.
bool ReadVariable(const wchar_t* name, wchar_t* out, bool* tooLong) {
  DWORD n = GetEnvironmentVariableW(name, out, kPathChars);
  if (n == 0 || n >= static_cast<DWORD>(kPathChars)) {
    if (n >= static_cast<DWORD>(kPathChars)) *tooLong = true;
    out[0] = 0;
    return false;
  }
  return true;
}

bool Folder(const wchar_t* path) { return CreateDirectoryW(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS; }

bool WindowsBefore5(bool* failed) {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  *failed = !GetVersionExW(&version);
#pragma GCC diagnostic pop
  return !*failed && version.dwMajorVersion < 5;
}

bool g_logOpen = false;
LONG g_versionLinePending = 0;  // taken once, by whichever export call comes first
wchar_t g_versionPath[kPathChars] = {};
bool g_versionOfHost = true;

}  // namespace

std::wstring ReadFileVersion(const wchar_t* file, const wchar_t* loadFailure, const wchar_t* bindFailure) {
  UniqueLibrary version(LoadLibraryW(L"Version.dll"));
  if (!version) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"%s", loadFailure);
    return L"";
  }
  using SizeFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using InfoFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  auto size = reinterpret_cast<SizeFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "GetFileVersionInfoSizeW")));
  auto info = reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "GetFileVersionInfoW")));
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(GetProcAddress(version.get(), "VerQueryValueW")));
  if (!size || !info || !query) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, bindFailure, static_cast<int>(GetLastError()));
    return L"";
  }
  unsigned parts[4] = {};
  DWORD handle = 0;
  DWORD bytes = size(file, &handle);
  if (bytes) {
    std::string block(bytes, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (info(file, 0, bytes, &block[0]) && query(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
        fixed && length >= sizeof(VS_FIXEDFILEINFO)) {
      parts[0] = HIWORD(fixed->dwFileVersionMS);
      parts[1] = LOWORD(fixed->dwFileVersionMS);
      parts[2] = HIWORD(fixed->dwFileVersionLS);
      parts[3] = LOWORD(fixed->dwFileVersionLS);
    }
  }
  wchar_t text[24];
  SafeSnwprintf(text, 24, L"%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
  return text;
}

bool GetModuleVersion(const wchar_t* path) {
  FUNCTION_TRACE("GetModuleVersion");
  wchar_t file[kPathChars] = {};
  if (path) {
    if (!FileLoads(path)) {
      TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to load library: %s", path);
      return false;
    }
    SafeWcsCopy(file, path, kPathChars);
  } else {
    GetModuleFileNameW(nullptr, file, kPathChars);
  }
  std::wstring text = ReadFileVersion(file, L"Failed to load version.dll", L"GetProcAddress failed: %i");
  if (text.empty()) return false;
  TBDPrint(TBDCT_LAST, TBDLT_INFO, L"Version: %s", text.c_str());
  return true;
}

bool GetHostProgramDirectory(wchar_t* out) {
  wchar_t path[kPathChars] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, kPathChars);
  if (n == 0 || n >= static_cast<DWORD>(kPathChars)) return false;
  wchar_t* slash = wcsrchr(path, L'\\');
  if (!slash) return false;
  *slash = 0;
  SafeWcsCopy(out, path, kPathChars);
  return true;
}

void TBDWriteSetupVersionLine() {
  if (!InterlockedExchange(&g_versionLinePending, 0)) return;
  GetModuleVersion(g_versionOfHost ? nullptr : g_versionPath);
}

void TBDPrintWhereSeen(int32_t cls, int32_t type, const wchar_t* text) {
  if (g_logOpen) {
    TBDPrint(cls, type, L"%s", text);
    return;
  }
  std::wstring line = std::wstring(L"QelVXWM : ") + text + L"\r\n";
  OutputDebugStringW(line.c_str());
}

bool TBDGetLogDirectory(wchar_t* out) { return FindLogDirectory(out) == kLogFolderFound; }

#ifndef QELVXWM_GSM_ONLY

LogFolderResult FindLogDirectory(wchar_t* out) {
  out[0] = 0;
  bool failed = false;
  bool before5 = WindowsBefore5(&failed);
  if (failed) return kLogFolderNone;
  if (before5) return kLogFolderFound;
  wchar_t folder[kPathChars] = {};
  bool tooLong = false;
  if (!ReadVariable(L"APPDATA", folder, &tooLong) || !folder[0]) {
    if (!ReadVariable(L"ALLUSERSPROFILE", folder, &tooLong) || !folder[0])
      return tooLong ? kLogFolderTooLong : kLogFolderNone;
    if (!Append(folder, L"\\Application data")) return kLogFolderTooLong;
  }
  const wchar_t kVendor[] = L"\\Veltra Vazudari";
  const wchar_t kLogs[] = L"\\Logs\\";
  // Nothing is created for a folder whose files would not fit.
  if (!Fits(folder, {kVendor, kLogs, kLongestFileName})) return kLogFolderTooLong;
  Append(folder, kVendor);
  CreateDirectoryW(folder, nullptr);
  Append(folder, kLogs);
  if (!Folder(folder)) return kLogFolderUnavailable;
  SafeWcsCopy(out, folder, kPathChars);
  return kLogFolderFound;
}

int32_t TBDSetup(const wchar_t* fileName, const wchar_t* appName, bool truncate, const LogSettings* settings) {
  LogSettings defaults{};
  defaults.TraceLevel = TBDOL_NONE;
  defaults.EnableAllFunctions = 1;
  defaults.EnableInfo = 1;
  defaults.MaxLogSize = 1000000;
  const LogSettings& s = settings ? *settings : defaults;

  wchar_t path[kPathChars] = {};
  if (!TBDGetLogDirectory(path)) return 0;
  if (!Append(path, fileName ? fileName : L"")) return 0;  // a cut name would open another file
  g_logOpen = TBDInit(path, appName, s.MaxLogSize, truncate);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Default logging level:");
  TBDSetClassEnable(TBDCT_ALL_FUNCTIONS, s.EnableAllFunctions != 0);
  TBDSetClassEnable(TBDCT_ALL_MEMORY, s.EnableAllMemory != 0);
  TBDSetClassEnable(TBCT_INFO, s.EnableInfo != 0);
  TBDSetClassEnable(TBCT_READ, s.EnableRead != 0);
  TBDSetTraceLevel(s.TraceLevel, 0);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Apply TBD logging registry over-rides");
  TBDApplyRegistryOverrides();

  g_versionOfHost = true;
  if (settings && settings->LogHostVersion == 0) {
    wchar_t host[kPathChars] = {};
    g_versionPath[0] = 0;
    if (GetHostProgramDirectory(host)) SafeSnwprintf(g_versionPath, kPathChars, L"%s\\%s", host, settings->ModuleName);
    g_versionOfHost = false;
  }
  InterlockedExchange(&g_versionLinePending, 1);
  return 1;
}

#else  // the older GSM-only build

LogFolderResult FindLogDirectory(wchar_t* out) {
  out[0] = 0;
  bool failed = false;
  if (WindowsBefore5(&failed) || failed) return failed ? kLogFolderNone : kLogFolderFound;
  wchar_t folder[kPathChars] = {};
  bool tooLong = false;
  bool set = ReadVariable(L"USERPROFILE", folder, &tooLong) && folder[0];
  const wchar_t* const kLevels[] = {L"\\Application Data", L"\\Veltra Vazudari", L"\\Logs\\"};
  if (tooLong || !Fits(folder, {kLevels[0], kLevels[1], kLevels[2], kLongestFileName})) return kLogFolderTooLong;
  if (!set) return kLogFolderNone;  // the log then goes beside the host program
  // Each missing level is made: a fresh profile has no Application Data folder of ours.
  for (const wchar_t* level : kLevels) {
    Append(folder, level);
    if (!Folder(folder)) return kLogFolderUnavailable;
  }
  SafeWcsCopy(out, folder, kPathChars);
  return kLogFolderFound;
}

int32_t TBDSetup(const wchar_t* fileName, const wchar_t* appName, bool truncate) {
  wchar_t key[kPathChars] = {};
  if (SafeSnwprintf(key, kPathChars, L"SOFTWARE\\Veltra Vazudari Inc\\%s\\Logging", appName ? appName : L"")) {
    UniqueRegKey logging;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, logging.put()) == ERROR_SUCCESS) {
      DWORD append = 0, size = sizeof(append);
      RegQueryValueExW(logging.get(), L"Append Log File", nullptr, nullptr, reinterpret_cast<BYTE*>(&append), &size);
    }
  }
  wchar_t path[kPathChars] = {};
  TBDGetLogDirectory(path);
  if (!Append(path, fileName ? fileName : L"")) return 1;  // no log rather than a cut name
  g_logOpen = TBDInit(path, appName, 10000000, truncate);
  for (int32_t cls = TBDCT_ALL; cls <= TBCT_READ; ++cls) TBDSetClassEnable(cls, true);
  TBDSetTraceLevel(TBDOL_TRACE, 0);
  return 1;
}

#endif
