// Test seams of the information and activation operations: the computer-manufacturer query
// behind the OEM code and the automatic-activation time-out.
#pragma once
#include <windows.h>

using ManufacturerQuery = int (*)(char* buffer, int* length);
void SetManufacturerQuery(ManufacturerQuery query);  // null: GetOEMManufacturerStr
void SetActivationTimeout(DWORD ms);                 // default kActivationTimeoutMs
