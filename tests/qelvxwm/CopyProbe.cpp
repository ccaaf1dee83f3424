// Probe run in its own process: loads the module by path, queries, then copies once with a
// null argument, so that a copy through a null pointer shows as this process's crash.
//   qelvxwm_copyprobe null-buffer|null-length <module path>
// Prints "<copy result> <length value> <length needed>" (null-buffer) or "<copy result>
// <buffer untouched|buffer written>" (null-length); exit code 0, 1 for bad use.
#include <windows.h>

#include <cstdio>
#include <string>

#include "QelVXWM.h"

int main(int argc, char** argv) {
  if (argc != 3) return 1;
  std::string mode = argv[1];
  HMODULE module = LoadLibraryA(argv[2]);
  if (!module) return 1;
  auto query = reinterpret_cast<PFN_QelVXWMHQueryDeviceInfo>(
      reinterpret_cast<void*>(GetProcAddress(module, "QelVXWMHQueryDeviceInfo")));
  auto copy = reinterpret_cast<PFN_QelVXWMHCopyDeviceInfo>(
      reinterpret_cast<void*>(GetProcAddress(module, "QelVXWMHCopyDeviceInfo")));
  if (!query || !copy) return 1;
  std::printf("query %d\n", query());
  if (mode == "null-buffer") {
    unsigned length = 0x7FFFFFFF;
    int result = copy(nullptr, &length);
    unsigned needed = 0;
    copy(nullptr, &needed);
    std::printf("%d %u %u\n", result, length, needed);
  } else if (mode == "null-length") {
    wchar_t buffer[8];
    for (wchar_t& c : buffer) c = L'#';
    int result = copy(buffer, nullptr);
    bool untouched = true;
    for (wchar_t c : buffer) untouched = untouched && c == L'#';
    std::printf("%d %s\n", result, untouched ? "buffer untouched" : "buffer written");
  } else {
    return 1;
  }
  std::fflush(stdout);
  FreeLibrary(module);
  return 0;
}
