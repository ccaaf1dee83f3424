// Simulated client library, loaded by the plug-in under the name "qelvxaux.dll": the six
// exports of the real library over the script block of SimClientControl.h, plus
// SimClient_Notify (state), which calls the registered function on the calling thread with
// the records {0, 0, state} and then {91, 0, state}, as the real library's sink does.
// Build variants: bin/sim/aux/full and bin/sim/aux/nosetpower (without QelHWSetPower).
#include <windows.h>

#include <atomic>

#include "QelVxAux.h"
#include "SimClientControl.h"

namespace {

std::atomic<QelHWCallback> g_callback{nullptr};

SimClientControl& Control() {
  static SimClientControl* control = new SimClientControl();  // never freed: see DllMain rules
  return *control;
}

void CheckThread() {
  SimClientControl& c = Control();
  if (c->initializedThread && c->initializedThread != GetCurrentThreadId()) ++c->wrongThreadCalls;
}

}  // namespace

extern "C" {

HRESULT __cdecl QelHWInitialize(void) {
  Control().Log("QelHWInitialize", 0);
  Control()->initializedThread = GetCurrentThreadId();
  return Control()->initializeResult;
}

void __cdecl QelHWUnInitialize(void) {
  Control().Log("QelHWUnInitialize", 0);
  CheckThread();
  Control()->initializedThread = 0;
  g_callback = nullptr;
}

int32_t __cdecl QelHWGetPower(uint32_t* state) {
  Control().Log("QelHWGetPower", 0);
  CheckThread();
  if (Control()->getPowerResult) return Control()->getPowerResult;
  *state = Control()->powerState ? Control()->powerState : 1u;
  return 0;
}

int32_t __cdecl QelHWSetPower(uint32_t state) {
  Control().Log("QelHWSetPower", state);
  CheckThread();
  if (Control()->setPowerResult) return Control()->setPowerResult;
  if (state != 1 && state != 2) return QELHW_ERR_INVALID_STATE;
  if (Control()->powerState == 3) return 0;  // a disabled radio: the request does nothing
  Control()->powerState = state;
  return 0;
}

int32_t __cdecl QelHWRegisterCallback(QelHWCallback fn) {
  Control().Log("QelHWRegisterCallback", fn ? 1 : 0);
  g_callback = fn;
  Control()->callbackSet = fn ? 1 : 0;
  return 0;
}

int32_t __cdecl QelHWGetOEMIDStrA(char* buffer) {
  lstrcpynA(buffer, "VX zt series notebook", 255);
  return 0;
}

void __cdecl SimClient_Notify(uint32_t state) {
  QelHWCallback fn = g_callback.load();
  if (!fn || state == 0) return;
  QelHWNotifyRecord record = {0, 0, state};
  fn(&record);
  record.Type = QELHW_NOTIFY_Power;
  fn(&record);
}

}  // extern "C"
