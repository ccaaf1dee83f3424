// Simulated card-detect library "QelCardDetect.dll": the device list comes from the script
// block of SimDeviceControl.h.
#include <windows.h>

#include <string>

#include "CardDetect.h"
#include "SimDeviceControl.h"

namespace {

// Opened on first use, closed when the library is freed (a view and two handles: nothing
// that loads or waits); every load of the library would otherwise leave one behind.
SimDeviceControl* g_control = nullptr;
SimDeviceControl& Control() {
  if (!g_control) g_control = new SimDeviceControl();
  return *g_control;
}

int g_client;  // what a client handle points to

bool Valid(CardDetectClient client) {
  if (client == &g_client) return true;
  ++Control()->nullClientCalls;
  return false;
}

}  // namespace

extern "C" {

CardDetectClient __cdecl ICreateCardDetectClient(const wchar_t* registryPath) {
  ++Control()->createCalls;
  lstrcpynW(Control()->registryPath, registryPath ? registryPath : L"", 128);
  return Control()->createFails ? nullptr : &g_client;
}

unsigned __cdecl IDetectQELDevicesCount(CardDetectClient client) {
  return Valid(client) ? Control()->deviceCount : 0;
}

unsigned __cdecl IGetQelDeviceID(CardDetectClient client, unsigned index, wchar_t* buffer, unsigned* size) {
  ++Control()->deviceIdCalls;
  if (!Valid(client) || index >= Control()->deviceCount || index >= 8) return 0;
  if (Control()->honourSize) {
    std::wstring text = L"USB\\VID_1199" + std::wstring(index, L'0');
    unsigned bytes = static_cast<unsigned>((text.size() + 1) * sizeof(wchar_t));
    if (!buffer || !size || *size < bytes) return 0;
    lstrcpynW(buffer, text.c_str(), static_cast<int>(*size / sizeof(wchar_t)));
    *size = bytes;
    return Control()->deviceIds[index];
  }
  if (buffer) lstrcpynW(buffer, L"USB\\VID_1199", 200);
  if (size) *size = 24;
  return Control()->deviceIds[index];
}

int __cdecl IDeleteCardDetectClient(CardDetectClient client) {
  if (!Valid(client)) return 1;
  ++Control()->deleteCalls;
  return 0;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    ++Control()->cardDetectAttaches;  // a version read must not get here
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    delete g_control;
    g_control = nullptr;
  }
  return TRUE;
}
