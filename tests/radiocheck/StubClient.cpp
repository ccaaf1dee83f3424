// A scripted client library for the check program's tests. Its answers come from the
// environment the test gives the program; each call is appended to the file in STUB_CALLS.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstdint>

namespace {

long FromEnvironment(const char* name, long fallback) {
  char text[32];
  DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
  if (length == 0 || length >= sizeof text) return fallback;
  return static_cast<long>(std::strtoul(text, nullptr, 0));
}

void Record(const char* call) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("STUB_CALLS", path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", call);
    std::fclose(f);
  }
}

}  // namespace

extern "C" {

HRESULT __cdecl QelHWInitialize(void) {
  Record("Initialize");
  return static_cast<HRESULT>(FromEnvironment("STUB_INIT", 0));
}

void __cdecl QelHWUnInitialize(void) { Record("UnInitialize"); }

#ifndef STUB_WITHOUT_GETPOWER
int32_t __cdecl QelHWGetPower(uint32_t* state) {
  Record("GetPower");
  *state = static_cast<uint32_t>(FromEnvironment("STUB_STATE", 1));
  return static_cast<int32_t>(FromEnvironment("STUB_RESULT", 0));
}
#endif

}  // extern "C"
