// Simulated client library, loaded by the plug-in under the name "qelvxaux.dll": the six
// exports of the real library over the script block of SimClientControl.h, plus
// SimClient_Notify (state), which has the registered function called with the records
// {0, 0, state} and then {91, 0, state}, as the real library's sink does: on the thread
// that ran QelHWInitialize, through that thread's messages (a window of its own there, as
// the apartment's), while the caller waits. It answers 1 when the records were delivered,
// 0 when no initialised thread took them (none, or one that does not dispatch messages
// within 5 s).
// Build variants: bin/sim/aux/full and bin/sim/aux/nosetpower (without QelHWSetPower).
#include <windows.h>

#include <atomic>

#include "QelVxAux.h"
#include "SimClientControl.h"

namespace {

std::atomic<QelHWCallback> g_callback{nullptr};
std::atomic<HWND> g_apartment{nullptr};  // on the initialising thread
WNDPROC g_staticProc = nullptr;
constexpr UINT kNotifyMessage = WM_APP + 0x51;
constexpr DWORD kNotifyTimeoutMs = 5000;

void Deliver(uint32_t state) {
  QelHWCallback fn = g_callback.load();
  if (!fn || state == 0) return;
  QelHWNotifyRecord record = {0, 0, state};
  fn(&record);
  record.Type = QELHW_NOTIFY_Power;
  fn(&record);
}

LRESULT CALLBACK ApartmentProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kNotifyMessage) {
    Deliver(static_cast<uint32_t>(wparam));
    return 1;
  }
  return CallWindowProcA(g_staticProc, hwnd, message, wparam, lparam);
}

// A message-only window of a system class, so no class of this library outlives it; it goes
// with its thread when nobody uninitialises.
void MakeApartmentWindow() {
  if (g_apartment.load()) return;
  HWND hwnd = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!hwnd) return;
  g_staticProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ApartmentProc)));
  g_apartment = hwnd;
}

SimClientControl& Control() {
  static SimClientControl* control = new SimClientControl();  // never freed: see DllMain rules
  return *control;
}

// Sleeps the call's own delay and a random share, from a generator under the block's lock.
void Delay(uint32_t ms) {
  SimClientControl& c = Control();
  if (uint32_t max = c->randomDelayMaxMs) {
    static std::atomic<uint32_t> state{0};
    uint32_t x = state.load();
    if (!x) x = c->randomSeed ? c->randomSeed : GetTickCount() | 1u;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    state = x;
    ms += x % (max + 1);
  }
  if (ms) Sleep(ms);
}

void CheckThread() {
  SimClientControl& c = Control();
  if (c->initializedThread && c->initializedThread != GetCurrentThreadId()) ++c->wrongThreadCalls;
}

}  // namespace

extern "C" {

HRESULT __cdecl QelHWInitialize(void) {
  Control().Log("QelHWInitialize", 0);
  Delay(Control()->initializeDelayMs);
  InterlockedIncrement(reinterpret_cast<volatile LONG*>(&Control()->initialized));
  Control()->initializedThread = GetCurrentThreadId();
  MakeApartmentWindow();
  return Control()->initializeResult;
}

void __cdecl QelHWUnInitialize(void) {
  Control().Log("QelHWUnInitialize", 0);
  Delay(Control()->unInitializeDelayMs);
  InterlockedDecrement(reinterpret_cast<volatile LONG*>(&Control()->initialized));
  CheckThread();
  Control()->initializedThread = 0;
  g_callback = nullptr;
  if (HWND hwnd = g_apartment.exchange(nullptr)) DestroyWindow(hwnd);
}

int32_t __cdecl QelHWGetPower(uint32_t* state) {
  Control().Log("QelHWGetPower", 0);
  Delay(Control()->getPowerDelayMs);
  CheckThread();
  if (Control()->getPowerResult) return Control()->getPowerResult;
  *state = Control()->powerState ? Control()->powerState : 1u;
  return 0;
}

int32_t __cdecl QelHWSetPower(uint32_t state) {
  Control().Log("QelHWSetPower", state);
  Delay(Control()->setPowerDelayMs);
  CheckThread();
  if (Control()->setPowerResult) return Control()->setPowerResult;
  if (state != 1 && state != 2) return QELHW_ERR_INVALID_STATE;
  if (Control()->powerState == 3) return 0;  // a disabled radio: the request does nothing
  Control()->powerState = state;
  return 0;
}

int32_t __cdecl QelHWRegisterCallback(QelHWCallback fn) {
  Control().Log("QelHWRegisterCallback", fn ? 1 : 0);
  Delay(Control()->registerDelayMs);
  if (!fn && Control()->removalLoadsLibrary) {
    // As a real library may: the loader lock is needed here.
    if (HMODULE m = LoadLibraryA("version.dll")) FreeLibrary(m);
  }
  g_callback = fn;
  Control()->callbackSet = fn ? 1 : 0;
  return 0;
}

int32_t __cdecl QelHWGetOEMIDStrA(char* buffer) {
  lstrcpynA(buffer, "VX zt series notebook", 255);
  return 0;
}

int32_t __cdecl SimClient_Notify(uint32_t state) {
  HWND hwnd = g_apartment.load();
  DWORD_PTR delivered = 0;
  if (!hwnd || !IsWindow(hwnd)) return 0;
  if (!SendMessageTimeoutA(hwnd, kNotifyMessage, state, 0, SMTO_NORMAL, kNotifyTimeoutMs, &delivered)) return 0;
  return delivered ? 1 : 0;
}

}  // extern "C"
