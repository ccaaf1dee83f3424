// What the service's firmware access binds to: the system's WMI in the product, the
// firmware simulator in the simulated build.
#pragma once
#include <windows.h>

const CLSID& FirmwareLocatorClsid();
// Run on the apartment thread around the hardware interface's life.
HRESULT FirmwareBindingStart();
void FirmwareBindingStop();
