#include "LibraryLoad.h"

#include <cwchar>

#include "Handles.h"
#include "devurezazeve.h"

namespace {

bool DriveAbsolute(const wchar_t* p) {
  return ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z')) && p[1] == L':' && p[2] == L'\\';
}
bool Extended(const wchar_t* p) { return wcsncmp(p, L"\\\\?\\", 4) == 0; }
bool Unc(const wchar_t* p) { return p[0] == L'\\' && p[1] == L'\\' && p[2] && p[2] != L'?' && p[2] != L'.'; }

}  // namespace

FolderPathResult JoinFolderPath(const wchar_t* dir, const wchar_t* name, std::wstring& path) {
  path.clear();
  // A root-relative or relative folder would resolve against the current drive or folder:
  // a library there is not ours.
  if (!dir || !(DriveAbsolute(dir) || Extended(dir) || Unc(dir))) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"No module folder for %s", name);
    return kPathNoFolder;
  }
  std::wstring joined = std::wstring(dir) + L"\\" + name;
  // The plain form ends at MAX_PATH; past it only the extended-length form loads.
  if (joined.size() >= MAX_PATH && !Extended(dir))
    joined = DriveAbsolute(dir) ? L"\\\\?\\" + joined : L"\\\\?\\UNC\\" + joined.substr(2);
  if (joined.size() > kMaxPathChars) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Path too long for %s", name);
    return kPathTooLong;
  }
  path = joined;
  return kPathFormed;
}

bool FolderPath(const wchar_t* dir, const wchar_t* name, std::wstring& path) {
  return JoinFolderPath(dir, name, path) == kPathFormed;
}

std::wstring ModuleFileName(HMODULE module) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(module, &name[0], static_cast<DWORD>(name.size()));
    if (n == 0) return L"";
    if (n < name.size()) {
      name.resize(n);
      return name;
    }
    // Filled to the end: the name was cut, so read it again into twice the room.
    if (name.size() > kMaxPathChars) return L"";
    name.resize(name.size() * 2);
  }
}

HMODULE LoadFromFolder(const wchar_t* dir, const wchar_t* name, bool logLoading) {
  std::wstring path;
  if (!FolderPath(dir, name, path)) return nullptr;
  if (logLoading) TBDPrint(TBCT_INFO, TBDLT_INFO, L"Loading %s", path.c_str());
  // A full path with the altered search order: an SDK shipped as several libraries finds
  // its siblings here, not in the host program's folder or the current directory.
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool FileLoads(const wchar_t* path) {
  // Mapped as an image, not loaded: the library's entry point (a client library's start-up
  // recreating its log, say) does not run just for a version. The mapping checks the file
  // as the loader would and takes a path of any length, where a load as a data file does
  // not under Wine past MAX_PATH.
  UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                              nullptr));
  if (!file) return false;
  UniqueKernelHandle image(CreateFileMappingW(file.get(), nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr));
  return static_cast<bool>(image);
}

bool FolderFileLoads(const wchar_t* dir, const wchar_t* name, std::wstring& path) {
  return FolderPath(dir, name, path) && FileLoads(path.c_str());
}
