// Set-up half of the log: TBDSetup, the log folder and the registry overrides.
#include "LogState.h"
#include "Registry.h"
#include "SafeString.h"

namespace {

using namespace tbd;

// Each value is read from HKEY_CURRENT_USER, and from HKEY_LOCAL_MACHINE only when that fails.
bool ReadBool(const TCHAR* subkey, const TCHAR* name, bool* value) {
  return RegReadBool(HKEY_CURRENT_USER, subkey, name, value) ||
         RegReadBool(HKEY_LOCAL_MACHINE, subkey, name, value);
}
#ifndef TBD_OLDER_BUILD
bool ReadDword(const TCHAR* subkey, const TCHAR* name, DWORD* value) {
  return RegReadDword(HKEY_CURRENT_USER, subkey, name, value) ||
         RegReadDword(HKEY_LOCAL_MACHINE, subkey, name, value);
}
#endif
bool ReadText(const TCHAR* subkey, const TCHAR* name, TCHAR* buffer, DWORD size) {
  return RegReadString(HKEY_CURRENT_USER, subkey, name, buffer, size) ||
         RegReadString(HKEY_LOCAL_MACHINE, subkey, name, buffer, size);
}

int LevelFromName(const TCHAR* text) {
  for (int level = TBDOL_NONE; level >= TBDOL_TRACE; --level)
    if (MbsCompareNoCase(text, kLevelNames[level]) == 0) return level;
  return -1;
}

#ifndef UNICODE
// Creates every missing folder of a path that ends in a backslash.
bool CreateFolderChain(TCHAR* path) {
  bool ok = false;
  for (TCHAR* p = path; *p; p = CharNext(p)) {
    if (*p != '\\' || p == path || p[-1] == ':' || p[-1] == '\\') continue;
    *p = 0;
    ok = CreateDirectory(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
    *p = '\\';
  }
  return ok;
}

#endif

}  // namespace

#ifndef UNICODE  // the wide builds take set-up and folder from the module that carries them
int32_t TBDSetup(const TCHAR* fileName, const TCHAR* appName, bool truncate, const LogSettings* settings) {
  LogSettings defaults{};
  defaults.TraceLevel = TBDOL_NONE;
  defaults.EnableAllFunctions = 1;
  defaults.EnableInfo = 1;
  defaults.MaxLogSize = 1000000;
  const LogSettings& s = settings ? *settings : defaults;

  const TCHAR* name = fileName ? fileName : _T("");
  TCHAR folder[kPathChars] = {}, path[kPathChars] = {};
  TBDGetLogDirectory(folder);
  // A name that does not fit after the folder goes beside the host program.
  if (!SafeSnprintf(path, kPathChars, _T("%s%s"), folder, name)) SafeStrCopy(path, name, kPathChars);
  bool opened = TBDInit(path, appName, s.MaxLogSize, truncate);

  TBDSetClassEnable(TBDCT_ALL_FUNCTIONS, s.EnableAllFunctions != 0);
  TBDSetClassEnable(TBDCT_ALL_MEMORY, s.EnableAllMemory != 0);
  TBDSetClassEnable(TBCT_INFO, s.EnableInfo != 0);
  TBDSetClassEnable(TBCT_READ, s.EnableRead != 0);
  TBDSetTraceLevel(s.TraceLevel, 0);
  TBDPrint(TBDCT_LAST, TBDLT_INFO, _T("Apply TBD logging registry over-rides"));
  TBDApplyRegistryOverrides();
  return opened ? 1 : 0;
}

bool TBDGetLogDirectory(TCHAR* directory) {
  directory[0] = 0;
  OSVERSIONINFO version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!GetVersionEx(&version)) return false;
#pragma GCC diagnostic pop
  if (version.dwMajorVersion < 5) return true;

  TCHAR profile[kPathChars];
  DWORD n = GetEnvironmentVariable(_T("USERPROFILE"), profile, kPathChars);
  if (n == 0 || n >= static_cast<DWORD>(kPathChars)) return false;
  TCHAR folder[kPathChars];
  if (!SafeSnprintf(folder, kPathChars, _T("%s\\Application Data\\Veltra Vazudari\\Logs\\"), profile) ||
      !CreateFolderChain(folder))
    return false;
  SafeStrCopy(directory, folder, kPathChars);
  return true;
}

#endif

void TBDApplyRegistryOverrides() {
  if (!g.initialized) return;
  TBDReadRegistryKey(g.globalKey);
  TBDReadRegistryKey(g.appKey);
#ifdef TBD_OLDER_BUILD
  TBDDumpSettings();
#endif
}

void TBDReadRegistryKey(const TCHAR* subkey) {
  const bool toFileBefore = g.settings[kOutputToFile];
  const bool dateTimeBefore = g.settings[kOutputDateTimeInHeader];
  for (int i = kSettingCount - 1; i >= 0; --i) ReadBool(subkey, kSettingNames[i], &g.settings[i]);

  if (!toFileBefore && g.settings[kOutputToFile] && !g.hasOutputFileName) {
    g.settings[kOutputToFile] = false;
    TBDPrint(TBDCT_LAST, TBDLT_ERROR,
             _T("TBD : \"OutputToFile\" can NOT be enabled from the registry if it was initially disabled"));
  }
  if (g.settings[kOutputDateTimeInHeader] != dateTimeBefore) {
    g.settings[kOutputDateTimeInHeader] = dateTimeBefore;
    TBDPrint(TBDCT_LAST, TBDLT_ERROR,
             _T("TBD : \"OutputDateTimeInHeader\" can NOT be enabled or disabled from the registry"));
  }

  const TCHAR* const levelValues[] = {_T("TraceLevel"), _T("TraceLevelAll"), _T("TraceLevelFile"),
                                      _T("TraceLevelDebug")};
  for (int v = 0; v < 4; ++v) {
    TCHAR text[32] = {};
    if (!ReadText(subkey, levelValues[v], text, 32) || !text[0]) continue;
    int level = LevelFromName(text);
    if (level < 0) continue;
    if (v != 3) g.fileLevel = level;
    if (v != 2) g.debugLevel = level;
  }

  for (int cls = TBDCT_ALL; cls <= TBCT_READ; ++cls) {
    bool enabled = false;
    if (ReadBool(subkey, psClassTypeNames[cls], &enabled)) g.classEnable[cls] = enabled ? 1 : 0;
  }

#ifndef TBD_OLDER_BUILD
  DWORD maxSize = 0;
  if (ReadDword(subkey, _T("MaxLogSize"), &maxSize) && static_cast<int32_t>(maxSize) > 0)
    g.maxLogSize = static_cast<int32_t>(maxSize);
#endif
}
