// The card-detect library "QelCardDetect.dll" as the module binds it by name.
#pragma once
#include <windows.h>

extern "C" {
typedef void* CardDetectClient;
typedef CardDetectClient(__cdecl* PFN_ICreateCardDetectClient)(const wchar_t* registryPath);
typedef unsigned(__cdecl* PFN_IDetectQELDevicesCount)(CardDetectClient client);
typedef unsigned(__cdecl* PFN_IGetQelDeviceID)(CardDetectClient client, unsigned index, wchar_t* buffer,
                                              unsigned* size);
typedef int(__cdecl* PFN_IDeleteCardDetectClient)(CardDetectClient client);
}

constexpr const wchar_t* kCardDetectRegistryPath = L"SOFTWARE\\Veltra Vazudari Inc\\Devices_API";
