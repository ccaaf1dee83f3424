// The computer manufacturer's name from WMI, for the OEM code of the device block.
#include <windows.h>
#include <wbemidl.h>

#include <cstdlib>

#include "ComPtr.h"
#include "DebugLog.h"

namespace {

// Writes "<text>0x<hr> \n" for a failed step.
int Fail(const char* text, HRESULT hr) {
  DebugLog("GetOEMManufacturerStr : %s. Error code = 0x%x \n", text, static_cast<unsigned>(hr));
  return 1;
}

// Uninitialises COM when the caller's initialisation succeeded.
class ComScope {
 public:
  explicit ComScope(HRESULT hr) : hr_(hr) {}
  ~ComScope() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  HRESULT hr_;
};

}  // namespace

int GetOEMManufacturerStr(char* buffer, int* length) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) return Fail("Failed to initialize COM library", hr);
  ComScope com(hr);

  hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                            nullptr, EOAC_NONE, nullptr);
  if (FAILED(hr) && hr != RPC_E_TOO_LATE) return Fail("Failed to initialize security", hr);

  ComPtr<IWbemLocator> locator;
  hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
  if (FAILED(hr)) return Fail("Failed to create IWbemLocator object", hr);

  ComPtr<IWbemServices> services;
  UniqueBstr ns(L"ROOT\\CIMV2");
  hr = locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
  if (FAILED(hr)) return Fail("Could not connect", hr);
  DebugLog("GetOEMManufacturerStr : Connected to ROOT\\CIMV2 WMI namespace \n");

  hr = CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                         RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(hr)) return Fail("Could not set proxy blanket", hr);

  ComPtr<IEnumWbemClassObject> objects;
  UniqueBstr language(L"WQL"), query(L"SELECT * FROM Win32_ComputerSystem");
  hr = services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                           nullptr, objects.put());
  if (FAILED(hr)) return Fail("Query for operating system name failed", hr);

  int result = 1;
  for (;;) {
    ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    objects->Next(WBEM_INFINITE, 1, object.put(), &returned);
    if (returned == 0 || !object) break;
    UniqueVariant name;
    if (FAILED(object->Get(L"Manufacturer", 0, name.put(), nullptr, nullptr))) continue;
    if (name.get()->vt != VT_BSTR || !name.get()->bstrVal) continue;  // absent or not text: as empty
    const wchar_t* text = name.get()->bstrVal;
    int n = static_cast<int>(SysStringLen(name.get()->bstrVal));
    DebugLog("GetOEMManufacturerStr : OEMManufacturer Name: %ls\n", text);
    if (n <= 0) continue;
    if (*length < n + 1) {
      *length = n + 1;
      result = 2;
    } else {
      std::wcstombs(buffer, text, static_cast<size_t>(n));
      *length = n;
      buffer[n] = '\0';
      result = 0;
    }
  }
  return result;
}
