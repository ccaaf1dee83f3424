// Libraries of the module's folder: loaded by path so that their own dependencies beside
// them resolve, and their entry points bound by name.
#pragma once
#include <windows.h>

// dir\name into path, or false (logged) when it does not fit.
bool FolderPath(const wchar_t* dir, const wchar_t* name, wchar_t (&path)[MAX_PATH]);

// Loads dir\name with the folder searched first for its imports; "Loading %s" when asked.
HMODULE LoadFromFolder(const wchar_t* dir, const wchar_t* name, bool logLoading);

// Whether the file at path loads as a library file, checked without running its start-up.
bool FileLoads(const wchar_t* path);
// The same for dir\name; path receives the file's path.
bool FolderFileLoads(const wchar_t* dir, const wchar_t* name, wchar_t (&path)[MAX_PATH]);

template <class F>
bool BindEntry(HMODULE library, F* slot, const char* name) {
  *slot = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *slot != nullptr;
}
