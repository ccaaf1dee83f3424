#include "Registration.h"

#include <olectl.h>

#include <string>

#include "ComPtr.h"
#include "Handles.h"
#include "QelVxWmiIds.h"
#include "Registry.h"

namespace {

// 64-bit clients read the 64-bit registry view, 32-bit clients (radiocheck is one) the
// 32-bit view; where the system shares a key between the views, writing it twice is the same.
constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// The type library's marshaler, for the two [oleautomation] interfaces.
constexpr wchar_t kTypeLibMarshaler[] = L"{00020424-0000-0000-C000-000000000046}";
constexpr wchar_t kLibraryHelp[] = L"QELVXWMI 1.0 Type Library";

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

HRESULT Write(REGSAM view, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  UniqueRegKey created;
  LONG error =
      RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, created.put(), nullptr);
  if (error == ERROR_SUCCESS)
    error = RegSetValueExW(created.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return error == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

HRESULT CreateEmpty(REGSAM view, const std::wstring& key) {
  UniqueRegKey created;
  LONG error =
      RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, created.put(), nullptr);
  return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

void DeleteTree(REGSAM view, const std::wstring& key) {
  UniqueRegKey opened;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_ALL_ACCESS | view, opened.put()) != ERROR_SUCCESS) return;
  RegDeleteTreeW(opened.get(), nullptr);
  opened.reset();
  RegDeleteKeyExW(HKEY_CLASSES_ROOT, key.c_str(), view, 0);
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_VXWMI); }
std::wstring AppIdKey() { return L"AppID\\" + GuidText(APPID_QelVxWmi); }
std::wstring TypeLibKey() { return L"TypeLib\\" + GuidText(LIBID_QELVXWMILib); }

struct InterfaceEntry {
  const IID* iid;
  const wchar_t* name;
};
const InterfaceEntry kInterfaces[] = {{&IID_IVXWMI, L"IVXWMI"}, {&IID_IVXWMICB, L"IVXWMICB"}};

}  // namespace

bool ProgramPath(wchar_t* path) {
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return length > 0 && length < MAX_PATH;
}

HRESULT RegisterAppIdKeys() {
  std::wstring appId = GuidText(APPID_QelVxWmi);
  HRESULT hr = S_OK;
  for (REGSAM view : kViews) {
    if (SUCCEEDED(hr)) hr = Write(view, AppIdKey(), nullptr, kServiceNameW);
    if (SUCCEEDED(hr)) hr = Write(view, L"AppID\\QELVXWMI.EXE", L"AppID", appId);
  }
  return hr;
}

HRESULT UnregisterAppIdKeys() {
  for (REGSAM view : kViews) {
    DeleteTree(view, AppIdKey());
    DeleteTree(view, L"AppID\\QELVXWMI.EXE");
  }
  return S_OK;
}

void WriteServiceAppIdValues(REGSAM view, const wchar_t* serviceName) {
  UniqueRegKey appId;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, AppIdKey().c_str(), 0, KEY_WRITE | view, appId.put()) != ERROR_SUCCESS) return;
  RegDeleteValueW(appId.get(), L"LocalService");
  if (!serviceName) return;
  Write(view, AppIdKey(), L"LocalService", serviceName);
  Write(view, AppIdKey(), L"ServiceParameters", L"-Service");
}

HRESULT RegisterClassKeys(const wchar_t* modulePath) {
  std::wstring clsid = GuidText(CLSID_VXWMI);
  std::wstring key = ClassKey();
  HRESULT hr = S_OK;
  for (REGSAM view : kViews) {
    DeleteTree(view, key);  // the class key is rewritten whole
    auto step = [&hr](HRESULT next) {
      if (SUCCEEDED(hr)) hr = next;
    };
    step(Write(view, kProgId, nullptr, kClassName));
    step(Write(view, std::wstring(kProgId) + L"\\CLSID", nullptr, clsid));
    step(Write(view, kVersionIndependentProgId, nullptr, kClassName));
    step(Write(view, std::wstring(kVersionIndependentProgId) + L"\\CLSID", nullptr, clsid));
    step(Write(view, std::wstring(kVersionIndependentProgId) + L"\\CurVer", nullptr, kProgId));
    step(Write(view, key, nullptr, kClassName));
    step(Write(view, key, L"AppID", GuidText(APPID_QelVxWmi)));
    step(Write(view, key + L"\\ProgID", nullptr, kProgId));
    step(Write(view, key + L"\\VersionIndependentProgID", nullptr, kVersionIndependentProgId));
    step(CreateEmpty(view, key + L"\\Programmable"));
    step(Write(view, key + L"\\LocalServer32", nullptr, L"\"" + std::wstring(modulePath) + L"\""));
    step(Write(view, key + L"\\TypeLib", nullptr, GuidText(LIBID_QELVXWMILib)));
  }
  return hr;
}

HRESULT UnregisterClassKeys() {
  for (REGSAM view : kViews) {
    DeleteTree(view, kProgId);
    DeleteTree(view, kVersionIndependentProgId);
    DeleteTree(view, ClassKey());
  }
  return S_OK;
}

// The system registers the library for this program's own architecture; a 32-bit client
// finds it under "win32" and its interfaces in its own view.
HRESULT RegisterTypeLibrary(const wchar_t* modulePath) {
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(modulePath, REGKIND_REGISTER, library.put());
  if (FAILED(hr)) return hr;
  std::wstring folder(modulePath);
  size_t slash = folder.find_last_of(L'\\');
  folder.erase(slash == std::wstring::npos ? 0 : slash);
  std::wstring version = TypeLibKey() + L"\\1.0";
  constexpr REGSAM view = KEY_WOW64_32KEY;
  auto step = [&hr](HRESULT next) {
    if (SUCCEEDED(hr)) hr = next;
  };
  step(Write(view, version, nullptr, kLibraryHelp));
  // Where the views share the key, the flags the system wrote stay.
  UniqueRegKey flags;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (version + L"\\FLAGS").c_str(), 0, KEY_READ | view, flags.put()) != ERROR_SUCCESS)
    step(Write(view, version + L"\\FLAGS", nullptr, L"0"));
  step(Write(view, version + L"\\HELPDIR", nullptr, folder));
  step(Write(view, version + L"\\0\\win32", nullptr, modulePath));
  for (const InterfaceEntry& entry : kInterfaces) {
    std::wstring key = L"Interface\\" + GuidText(*entry.iid);
    step(Write(view, key, nullptr, entry.name));
    step(Write(view, key + L"\\ProxyStubClsid", nullptr, kTypeLibMarshaler));
    step(Write(view, key + L"\\ProxyStubClsid32", nullptr, kTypeLibMarshaler));
    step(Write(view, key + L"\\TypeLib", nullptr, GuidText(LIBID_QELVXWMILib)));
    step(Write(view, key + L"\\TypeLib", L"Version", L"1.0"));
  }
  return hr;
}

HRESULT UnregisterTypeLibrary() {
  HRESULT hr = UnRegisterTypeLib(LIBID_QELVXWMILib, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  constexpr REGSAM view = KEY_WOW64_32KEY;
  DeleteTree(view, TypeLibKey());
  for (const InterfaceEntry& entry : kInterfaces) DeleteTree(view, L"Interface\\" + GuidText(*entry.iid));
  return hr;
}
