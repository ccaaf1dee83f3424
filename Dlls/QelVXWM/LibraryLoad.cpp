#include "LibraryLoad.h"

#include "SafeString.h"
#include "devurezazeve.h"

bool FolderPath(const wchar_t* dir, const wchar_t* name, wchar_t (&path)[MAX_PATH]) {
  if (SafeSnwprintf(path, MAX_PATH, L"%s\\%s", dir ? dir : L"", name)) return true;
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Path too long for %s", name);
  return false;
}

HMODULE LoadFromFolder(const wchar_t* dir, const wchar_t* name, bool logLoading) {
  wchar_t path[MAX_PATH];
  if (!FolderPath(dir, name, path)) return nullptr;
  if (logLoading) TBDPrint(TBCT_INFO, TBDLT_INFO, L"Loading %s", path);
  // A full path with the altered search order: an SDK shipped as several libraries finds
  // its siblings here, not in the host program's folder or the current directory.
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool FileLoads(const wchar_t* path) {
  // Mapped as data: the library's entry point (a client library's start-up recreating its
  // log, say) does not run just for a version.
  HMODULE image = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) return false;
  FreeLibrary(image);
  return true;
}

bool FolderFileLoads(const wchar_t* dir, const wchar_t* name, wchar_t (&path)[MAX_PATH]) {
  return FolderPath(dir, name, path) && FileLoads(path);
}
