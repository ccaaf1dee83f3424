// radiocheck <client library path>: exit code 0 when the modem is present or the check is
// switched off in the registry, -1 otherwise. No window, no output.
#include <windows.h>

#include <cstring>

#include "HWIntf.h"
#include "Handles.h"
#include "QelVxAux.h"

namespace {

constexpr int kPresent = 0;
constexpr int kNotPresent = -1;
constexpr size_t kPathBytes = 260;
constexpr char kSwitchKey[] = "Software\\Veltra Vazudari\\LP2240\\VX";
constexpr char kSwitchValue[] = "Device_Check";

// The command line whole, without one pair of surrounding quotes (and the blanks after the
// closing one); false when it does not fit.
bool LibraryPath(const char* commandLine, char (&path)[kPathBytes]) {
  size_t length = std::strlen(commandLine);
  if (commandLine[0] == '"') {
    size_t end = length;
    while (end > 1 && (commandLine[end - 1] == ' ' || commandLine[end - 1] == '\t')) --end;
    if (end >= 2 && commandLine[end - 1] == '"') {
      ++commandLine;
      length = end - 2;
    }
  }
  if (length >= kPathBytes) return false;
  std::memcpy(path, commandLine, length);
  path[length] = 0;
  return true;
}

// "Device_Check" reading as 0 switches the check off; the value's type is not looked at.
bool CheckSwitchedOff() {
  UniqueRegKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSwitchKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  DWORD value = 0, size = sizeof value;
  return RegQueryValueExA(key.get(), kSwitchValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
             ERROR_SUCCESS &&
         value == 0;
}

template <class F>
F Bind(HMODULE library, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  if (!commandLine) return kNotPresent;
  if (CheckSwitchedOff()) return kPresent;  // whatever the line holds
  char path[kPathBytes];
  if (!LibraryPath(commandLine, path)) return kNotPresent;

  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE library = LoadLibraryA(path);  // stays loaded until the process ends
  if (!library) return kNotPresent;
  auto initialize = Bind<PFN_QelHWInitialize>(library, "QelHWInitialize");
  auto uninitialize = Bind<PFN_QelHWUnInitialize>(library, "QelHWUnInitialize");
  auto getPower = Bind<PFN_QelHWGetPower>(library, "QelHWGetPower");
  if (!initialize || !uninitialize || !getPower) return kNotPresent;

  int exitCode = kNotPresent;
  if (SUCCEEDED(initialize())) {
    uint32_t state = QELHW_POWER_UNKNOWN;
    int32_t result = getPower(&state);
    if ((result & 0xFFFF) == QELHW_OK && state != QELHW_POWER_NOT_INSTALLED) exitCode = kPresent;
  }
  uninitialize();
  return exitCode;
}
