// Libraries of the module's folder: loaded by path so that their own dependencies beside
// them resolve, and their entry points bound by name.
#pragma once
#include <windows.h>

#include <string>

// The longest path the system loads (the extended-length form): the one limit for the
// module's folder and every path joined to it.
constexpr size_t kMaxPathChars = 32767;

// The longest file name the module loads from its folder.
constexpr const wchar_t* kLongestLibraryName = L"QelApiInterfaceU.dll";

enum FolderPathResult {
  kPathFormed,
  kPathNoFolder,  // the folder is unknown or not absolute: nothing is loaded from it
  kPathTooLong,   // the joined path would pass kMaxPathChars
};

// dir\name into path; a path of MAX_PATH characters or more in the extended-length form.
// Failures are logged.
FolderPathResult JoinFolderPath(const wchar_t* dir, const wchar_t* name, std::wstring& path);
bool FolderPath(const wchar_t* dir, const wchar_t* name, std::wstring& path);

// The full file name of a loaded module (null: the program), however long; empty on failure.
std::wstring ModuleFileName(HMODULE module);

// Loads dir\name with the folder searched first for its imports; "Loading %s" when asked.
HMODULE LoadFromFolder(const wchar_t* dir, const wchar_t* name, bool logLoading);

// Whether the file at path loads as a library file, checked without running its start-up.
bool FileLoads(const wchar_t* path);
// The same for dir\name; path receives the file's path.
bool FolderFileLoads(const wchar_t* dir, const wchar_t* name, std::wstring& path);

template <class F>
bool BindEntry(HMODULE library, F* slot, const char* name) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *slot != nullptr;
}
