// What the service's registration leaves in HKEY_CLASSES_ROOT: the AppID keys, the keys
// of class VXWMI and the type library.
#pragma once
#include <windows.h>

constexpr wchar_t kServiceNameW[] = L"QELVXWMI";
constexpr wchar_t kProgId[] = L"QELVXWMI.VXWMI.1";
constexpr wchar_t kVersionIndependentProgId[] = L"QELVXWMI.VXWMI";
constexpr wchar_t kClassName[] = L"VXWMI Class";

// The running program's full path (MAX_PATH characters); false when it does not fit.
bool ProgramPath(wchar_t* path);

// Each writes (or removes) its keys in both registry views.
HRESULT RegisterAppIdKeys();
HRESULT UnregisterAppIdKeys();
// The service's AppID values in one view: LocalService removed, then with serviceName set
// LocalService and ServiceParameters written.
void WriteServiceAppIdValues(REGSAM view, const wchar_t* serviceName);
// modulePath: the program's full path; registered quoted.
HRESULT RegisterClassKeys(const wchar_t* modulePath);
HRESULT UnregisterClassKeys();
HRESULT RegisterTypeLibrary(const wchar_t* modulePath);
HRESULT UnregisterTypeLibrary();
