#include "Registration.h"

#include <olectl.h>

#include <string>

#include "ComPtr.h"
#include "Handles.h"
#include "QelVxWmiIds.h"
#include "Registry.h"

namespace {

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

HRESULT Write(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  return RegWriteString(HKEY_CLASSES_ROOT, key.c_str(), name, value.c_str()) ? S_OK : SELFREG_E_CLASS;
}

HRESULT CreateEmpty(const std::wstring& key) {
  UniqueRegKey created;
  LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, created.put(), nullptr);
  return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

void DeleteTree(const std::wstring& key) { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); }

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_VXWMI); }

}  // namespace

bool ProgramPath(wchar_t* path) {
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return length > 0 && length < MAX_PATH;
}

HRESULT RegisterAppIdKeys() {
  std::wstring appId = GuidText(APPID_QelVxWmi);
  HRESULT hr = Write(L"AppID\\" + appId, nullptr, kServiceNameW);
  if (SUCCEEDED(hr)) hr = Write(L"AppID\\QELVXWMI.EXE", L"AppID", appId);
  return hr;
}

HRESULT UnregisterAppIdKeys() {
  DeleteTree(L"AppID\\" + GuidText(APPID_QelVxWmi));
  DeleteTree(L"AppID\\QELVXWMI.EXE");
  return S_OK;
}

HRESULT RegisterClassKeys(const wchar_t* modulePath) {
  std::wstring clsid = GuidText(CLSID_VXWMI);
  std::wstring key = ClassKey();
  DeleteTree(key);  // the class key is rewritten whole
  HRESULT hr = S_OK;
  auto step = [&hr](HRESULT next) {
    if (SUCCEEDED(hr)) hr = next;
  };
  step(Write(kProgId, nullptr, kClassName));
  step(Write(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid));
  step(Write(kVersionIndependentProgId, nullptr, kClassName));
  step(Write(std::wstring(kVersionIndependentProgId) + L"\\CLSID", nullptr, clsid));
  step(Write(std::wstring(kVersionIndependentProgId) + L"\\CurVer", nullptr, kProgId));
  step(Write(key, nullptr, kClassName));
  step(Write(key, L"AppID", GuidText(APPID_QelVxWmi)));
  step(Write(key + L"\\ProgID", nullptr, kProgId));
  step(Write(key + L"\\VersionIndependentProgID", nullptr, kVersionIndependentProgId));
  step(CreateEmpty(key + L"\\Programmable"));
  step(Write(key + L"\\LocalServer32", nullptr, L"\"" + std::wstring(modulePath) + L"\""));
  step(Write(key + L"\\TypeLib", nullptr, GuidText(LIBID_QELVXWMILib)));
  return hr;
}

HRESULT UnregisterClassKeys() {
  DeleteTree(kProgId);
  DeleteTree(kVersionIndependentProgId);
  DeleteTree(ClassKey());
  return S_OK;
}

HRESULT RegisterTypeLibrary(const wchar_t* modulePath) {
  ComPtr<ITypeLib> library;
  return LoadTypeLibEx(modulePath, REGKIND_REGISTER, library.put());
}

HRESULT UnregisterTypeLibrary() {
  return UnRegisterTypeLib(LIBID_QELVXWMILib, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
}
