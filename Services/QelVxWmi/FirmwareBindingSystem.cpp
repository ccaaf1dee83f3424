#include <wbemcli.h>

#include "FirmwareBinding.h"

const CLSID& FirmwareLocatorClsid() { return CLSID_WbemLocator; }
HRESULT FirmwareBindingStart() { return S_OK; }
void FirmwareBindingStop() {}
