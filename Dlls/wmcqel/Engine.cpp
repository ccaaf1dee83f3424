#include "Engine.h"

#include <cstdio>
#include <cstring>

#include "AuxApi.h"
#include "DebugLog.h"
#include "EngineLife.h"
#include "EngineTestSeams.h"

HostCallbackTable g_hostCallbacks;
std::atomic<UINT_PTR> g_activationTimer{0};
std::atomic<uint32_t> g_ignoreNextDisconnect{0};
std::atomic<uint32_t> g_firstMessageRead{0};

namespace {

std::atomic<DWORD> g_readyRetryPauseMs{kReadyRetryPauseMs};
std::atomic<DWORD> g_initTimerPeriodMs{kInitTimerPeriodMs};
std::atomic<EngineClock> g_clock{nullptr};
std::atomic<bool> g_allocationFails{false};

}  // namespace

void SetReadyRetryPause(DWORD ms) { g_readyRetryPauseMs = ms; }
void SetInitTimerPeriod(DWORD ms) { g_initTimerPeriodMs = ms; }
void SetEngineClock(EngineClock clock) { g_clock = clock; }
void SetEngineAllocationFails(bool fails) { g_allocationFails = fails; }
bool EngineAllocationFails() { return g_allocationFails; }
DWORD EngineNow() {
  EngineClock clock = g_clock.load();
  return clock ? clock() : GetTickCount();
}

void RetainClientLibrary() {
  CQelAuxApi& aux = AuxApi();
  if (aux.IsLoaded()) return;
  aux.Load("qelvxaux.dll");
  if (!aux.IsLoaded()) return;
  if (aux.Initialize() < 0) {
    // Undo the initialisation before the code goes, so no power notification reaches it.
    aux.RegisterCallback(nullptr);
    aux.UnInitialize();
    aux.Load("");
    return;
  }
  aux.RegisterCallback(reinterpret_cast<QelHWCallback>(&NotificationCallback));
}

CSEVDOEngine::CSEVDOEngine() {
  DebugLog("CSEVDOEngine::CSEVDOEngine()\n");
  RetainClientLibrary();
  sdk_ = static_cast<CVeltraSdkApiEVDO*>(GetSdkApi(QEL_OPEN_MODE_EVDO));
  connection_.size = sizeof connection_;
  connection_.lastEndCode = WMC_CALL_END_FIRST;
  network_.size = sizeof network_;
  device_.size = sizeof device_;
  smsSendEvent_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  life_.stopRequestedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  life_.stopDoneEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  life_.drainedEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

CSEVDOEngine::~CSEVDOEngine() {
  if (!life_.stopDone) Stop();  // an engine that was never published
  // The SDK is closed: the pause, then its library goes, unless a newer binding holds it too.
  delete sdk_;
  sdk_ = nullptr;
  for (HANDLE h : {smsSendEvent_, life_.stopRequestedEvent, life_.stopDoneEvent, life_.drainedEvent})
    if (h) CloseHandle(h);
}

void CSEVDOEngine::Stop() {
  DebugLog("CSEVDOEngine::~CSEVDOEngine()\n");
  if (sdk_) {
    sdk_->AwaitCallsInFlight();
    InitNotifications(0);
    sdk_->Close();
    sdk_->Retire(0);  // no caller reaches the SDK again, whatever the close answered
  }
  notificationsOn_ = 0;
  life_.stopDone = true;
}

int CSEVDOEngine::Reinitialize() {
  if (!sdk_->IsOpened()) sdk_->Init(QEL_OPEN_MODE_EVDO);
  return Initialize();
}

int CSEVDOEngine::Initialize() {
  DebugLog("CSEVDOEngine::Initialize()\n");
  if (!sdk_->IsOpened()) {
    uint32_t open = sdk_->OpenResult();
    DebugLog("INIT ERROR %d\n", static_cast<int>(open));
    if (open == QEL_RESULT_DEVICE_A || open == QEL_RESULT_DEVICE_B) return WMC_ERROR_DEVICE;
    if (open == QEL_RESULT_OPEN_FAILED) return WMC_ERROR_OPEN_FAILED;
  }
  uint32_t state = 0;
  int r = AuxApi().GetPower(&state);
  if (r == 0 && state == 2) return 0;  // radio off: notifications stay off
  if (r == 0 && state == 3) return WMC_ERROR_NO_DEVICE;
  if (!InitNotifications(1)) {
    notificationsOn_ = 0;
    return WMC_ERROR_NO_DEVICE;
  }
  notificationsOn_ = 1;
  refreshNeeded_ = 1;
  SendNotification(WMC_NOTIFY_NETWORK_INFO);
  if (r == 0 && state == 1) Engine_SetRadioPower(1);
  return 0;
}

int CSEVDOEngine::InitNotifications(int on) {
  DebugLog("CSEVDOEngine::InitNotifications(%d)\n", on);
  if (on && firstRegistration_) {
    if (sdk_->RegisterCallback(reinterpret_cast<QelNotifyFn>(&NotificationCallback)) != 0) return 0;
    firstRegistration_ = 0;
    for (int attempt = 0; attempt < kReadyAttempts; ++attempt) {
      if (sdk_->IsModemReady(kSdkTimeout) == 0) break;
      Sleep(g_readyRetryPauseMs);
    }
  }
  bool ok = true;
  int position = 0;
  for (uint32_t id : kSubscribedIds) {
    DebugLog("QXNotify(%d)\n", position);
    uint32_t r = on ? sdk_->Notify(id, kSdkTimeoutNotify) : sdk_->StopNotify(id, kSdkTimeout);
    if (r != 0) {
      DebugLog(on ? "QXNotify failed - %d, error(%d)\n" : "QXStopNotify failed - %d, error(%d)\n", position,
               static_cast<int>(r));
      ok = false;
      break;
    }
    ++position;
  }
  notificationsOn_ = on ? 1 : 0;
  return ok ? 1 : 0;
}

void CSEVDOEngine::SendNotification(int index) {
  DebugLog("CSEVDOEngine::SendNotification\n");
  WMC_NOTIFY_CALLBACK all = g_hostCallbacks.slots[WMC_NOTIFY_ALL].load();
  if (all) all(index);
  if (index >= 0 && index < WMC_NOTIFY_SLOTS) {
    WMC_NOTIFY_CALLBACK own = g_hostCallbacks.slots[index].load();
    if (own) own(index);
  }
}

int CSEVDOEngine::Engine_SetPower(int on) {
  DebugLog("CSEVDOEngine::Engine_SetPower\n");
  int r = AuxApi().SetPower(on ? 1 : 2);
  if (r == 0) return WMC_ERROR_SUCCESS;
  return r == kAuxNotOffered ? WMC_ERROR_NOT_SUPPORTED : WMC_ERROR_FAILED;
}

int CSEVDOEngine::Engine_GetPower() {
  DebugLog("CSEVDOEngine::Engine_GetPower\n");
  uint32_t s = 0;
  int r = AuxApi().GetPower(&s);
  if (r == kAuxNotOffered) return WMC_ERROR_NOT_SUPPORTED;
  if (r != 0) return WMC_ERROR_NO_DEVICE;
  radioOn_ = s == 1 ? 1 : 0;
  if (s == 1) return WMC_ERROR_SUCCESS;
  return s == 2 ? WMC_ERROR_RADIO_OFF : WMC_ERROR_NO_DEVICE;
}

int CSEVDOEngine::Engine_SetRadioPower(int on) {
  DebugLog("CSEVDOEngine::Engine_SetRadioPower\n");
  uint32_t r = sdk_->SetPower(on ? 0 : 5);
  if (r == 0) return WMC_ERROR_SUCCESS;
  if (r == kSdkNotOffered) return WMC_ERROR_NOT_SUPPORTED;
  char text[64];
  std::snprintf(text, sizeof text, "SetRadioPower QEL return code: %d", static_cast<int>(r));
  OutputDebugStringA(text);
  return WMC_ERROR_FAILED;
}

int CSEVDOEngine::Engine_GetRadioPower(int* on) {
  DebugLog("CSEVDOEngine::Engine_GetRadioPower\n");
  uint32_t p = 0;
  uint32_t r = sdk_->GetPower(&p);
  if (r == kSdkNotOffered) return WMC_ERROR_NOT_SUPPORTED;
  if (r != 0) return WMC_ERROR_FAILED;
  *on = p == 0 ? 1 : 0;
  radioOn_ = static_cast<uint32_t>(*on);
  return WMC_ERROR_SUCCESS;
}

uint32_t CSEVDOEngine::RestartModemAndWait() {
  uint32_t r = sdk_->ResetModem();
  if (r != 0) return r;
  // A shutdown asked for during the waits ends them: nothing more reaches the SDK.
  for (int attempt = 0; attempt < kRestartReadyAttempts; ++attempt) {
    if (sdk_->IsModemReady(kSdkTimeout) == 0) break;
    if (!PumpMessagesFor(g_readyRetryPauseMs, this)) return kSdkRefused;
  }
  if (!PumpMessagesFor(5 * g_readyRetryPauseMs, this)) return kSdkRefused;
  InitNotifications(1);
  return 0;
}

bool PumpMessagesFor(uint32_t ms, const CSEVDOEngine* watch) {
  // Elapsed ticks, so a tick count that wraps past 2^32 does not end the wait early; the
  // thread sleeps until a message, the end or the watched engine's shutdown.
  HANDLE stop = watch ? watch->life_.stopRequestedEvent : nullptr;
  DWORD start = EngineNow();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (watch && watch->StopRequested()) return false;
    }
    if (watch && watch->StopRequested()) return false;
    DWORD elapsed = EngineNow() - start;
    if (elapsed >= ms) return true;
    MsgWaitForMultipleObjects(stop ? 1 : 0, stop ? &stop : nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

void CALLBACK InitTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  DeliveryScope delivery;
  DebugLog("InitTimerProc\n");
  // Only the engine that started it: one shut down since finds nothing, and the timer stops.
  EngineRef engine = TimerEngine(EngineTimer::kInit, id);
  if (!engine) return;
  if (engine->Initialize() == 0 && engine->NotificationsOn()) KillEngineTimerHere(EngineTimer::kInit);
}

// Starts (or restarts) the initialisation timer on the calling thread (the SDK's).
void CSEVDOEngine::StartInitTimer() { StartEngineTimer(EngineTimer::kInit, this, g_initTimerPeriodMs, InitTimerProc); }
