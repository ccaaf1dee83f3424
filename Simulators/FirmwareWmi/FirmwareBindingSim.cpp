// The service bound to the firmware simulator.
#include "FirmwareBinding.h"
#include "SimWmi.h"

namespace {
DWORD g_cookie = 0;
}

const CLSID& FirmwareLocatorClsid() { return CLSID_QelSimWbemLocator; }

HRESULT FirmwareBindingStart() {
  if (g_cookie) return S_OK;
  return RegisterSimWbemLocator(&g_cookie);
}

void FirmwareBindingStop() {
  if (g_cookie) CoRevokeClassObject(g_cookie);
  g_cookie = 0;
}
