// The device information module's boundary: two plain exports, bound by name.
#pragma once

enum : int {
  QELVXWM_OK = 0,
  QELVXWM_BUFFER_TOO_SMALL = 2,
  QELVXWM_NOT_CACHED_FAILED = 5,
  QELVXWM_XML_FAILED = 16,
  QELVXWM_NO_DATA = 17,
};

extern "C" {
int __cdecl QelVXWMHQueryDeviceInfo(void);
int __cdecl QelVXWMHCopyDeviceInfo(wchar_t* buffer, unsigned* length);
typedef int(__cdecl* PFN_QelVXWMHQueryDeviceInfo)(void);
typedef int(__cdecl* PFN_QelVXWMHCopyDeviceInfo)(wchar_t* buffer, unsigned* length);
}
