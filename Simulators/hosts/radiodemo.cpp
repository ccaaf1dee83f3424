// radiodemo: a plain program that uses the radio power through the client library's six
// exports, loaded by name as every host does, for the demo.
//   radiodemo <QelVxAux.dll> <firmwarectl.exe>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

struct NotifyRecord {
  uint32_t Type, Reserved, Value;
};
using Callback = void (*)(NotifyRecord*);

struct Api {
  HRESULT (*Initialize)();
  void (*UnInitialize)();
  int32_t (*GetPower)(uint32_t*);
  int32_t (*SetPower)(uint32_t);
  int32_t (*RegisterCallback)(Callback);
  int32_t (*GetOEMIDStrA)(char*);
};

int g_records = 0;

const char* StateName(uint32_t s) {
  switch (s) {
    case 1: return "on";
    case 2: return "off";
    case 3: return "disabled";
    case 4: return "no modem";
    default: return "unknown";
  }
}

void OnPower(NotifyRecord* r) {
  std::printf("  notification: Type %u, Reserved %u, Value %u (%s)\n", r->Type, r->Reserved, r->Value,
              StateName(r->Value));
  ++g_records;
}

template <class F>
bool Bind(HMODULE lib, const char* name, F* out) {
  *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib, name)));
  if (!*out) std::printf("radiodemo: %s is missing\n", name);
  return *out != nullptr;
}

void ShowPower(const Api& api) {
  uint32_t state = 0;
  int32_t rc = api.GetPower(&state);
  if (rc == 0)
    std::printf("  QelHWGetPower -> 0, state %u (%s)\n", state, StateName(state));
  else
    std::printf("  QelHWGetPower -> %d\n", rc);
}

// Runs the firmware control program (the simulated hardware switch) and pumps messages
// until the notifications have arrived.
void FlipSwitchAndWait(const std::string& firmwarectl) {
  std::string line = "\"" + firmwarectl + "\" switch";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(firmwarectl.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("radiodemo: cannot start firmwarectl (%lu)\n", GetLastError());
    return;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  int want = g_records + 2;
  DWORD start = GetTickCount();
  while (g_records < want && GetTickCount() - start < 10000) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  if (g_records < want) std::printf("radiodemo: no notification within 10 s\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: radiodemo <QelVxAux.dll> <firmwarectl.exe>\n");
    return 2;
  }
  HMODULE lib = LoadLibraryA(argv[1]);
  if (!lib) {
    std::printf("radiodemo: cannot load %s (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  Api api{};
  if (!Bind(lib, "QelHWInitialize", &api.Initialize) || !Bind(lib, "QelHWUnInitialize", &api.UnInitialize) ||
      !Bind(lib, "QelHWGetPower", &api.GetPower) || !Bind(lib, "QelHWSetPower", &api.SetPower) ||
      !Bind(lib, "QelHWRegisterCallback", &api.RegisterCallback) || !Bind(lib, "QelHWGetOEMIDStrA", &api.GetOEMIDStrA))
    return 1;

  char oem[256] = {};
  api.GetOEMIDStrA(oem);
  std::printf("  QelHWGetOEMIDStrA -> \"%s\"\n", oem);
  HRESULT hr = api.Initialize();
  std::printf("  QelHWInitialize -> 0x%08lx\n", static_cast<unsigned long>(hr));
  if (FAILED(hr)) return 1;
  ShowPower(api);
  std::printf("  QelHWSetPower(2) -> %d\n", api.SetPower(2));
  ShowPower(api);
  std::printf("  QelHWSetPower(1) -> %d\n", api.SetPower(1));
  ShowPower(api);
  api.RegisterCallback(OnPower);
  std::printf("  flipping the hardware radio switch (firmwarectl switch)\n");
  FlipSwitchAndWait(argv[2]);
  ShowPower(api);
  std::printf("  flipping it back\n");
  FlipSwitchAndWait(argv[2]);
  ShowPower(api);
  api.UnInitialize();
  FreeLibrary(lib);
  return 0;
}
