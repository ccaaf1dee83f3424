#include "Engine.h"

#include <cstdio>
#include <cstring>

#include "AuxApi.h"
#include "DebugLog.h"
#include "EngineTestSeams.h"

HostCallbackTable g_hostCallbacks;
std::atomic<CSEVDOEngine*> g_engine{nullptr};
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
}

CSEVDOEngine::~CSEVDOEngine() {
  DebugLog("CSEVDOEngine::~CSEVDOEngine()\n");
  if (sdk_) {
    InitNotifications(0);
    delete sdk_;  // closes, pauses, frees the library and clears the process-wide slot
    sdk_ = nullptr;
    notificationsOn_ = 0;
  }
  if (smsSendEvent_) CloseHandle(smsSendEvent_);
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
  for (int attempt = 0; attempt < kRestartReadyAttempts; ++attempt) {
    if (sdk_->IsModemReady(kSdkTimeout) == 0) break;
    PumpMessagesFor(g_readyRetryPauseMs);
  }
  PumpMessagesFor(5 * g_readyRetryPauseMs);
  InitNotifications(1);
  return 0;
}

void PumpMessagesFor(uint32_t ms) {
  // Elapsed ticks, so a tick count that wraps past 2^32 does not end the wait early; the
  // thread sleeps until a message or the end instead of spinning.
  DWORD start = EngineNow();
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    DWORD elapsed = EngineNow() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

void CALLBACK InitTimerProc(HWND hwnd, UINT, UINT_PTR id, DWORD) {
  DebugLog("InitTimerProc\n");
  CSEVDOEngine* engine = g_engine.load();
  if (!engine || !engine->sdk_) {
    // The engine is gone: this timer has nothing left to do.
    KillTimer(hwnd, id);
    UINT_PTR expected = id;
    g_hostCallbacks.initTimer.compare_exchange_strong(expected, 0);
    return;
  }
  if (engine->Initialize() == 0 && engine->NotificationsOn()) {
    UINT_PTR timer = g_hostCallbacks.initTimer.exchange(0);
    KillTimer(nullptr, timer ? timer : id);
  }
}

// Starts (or restarts) the initialisation timer on the calling thread.
void StartInitTimer() {
  UINT_PTR previous = g_hostCallbacks.initTimer.exchange(0);
  if (previous) KillTimer(nullptr, previous);
  g_hostCallbacks.initTimer = SetTimer(nullptr, 0, g_initTimerPeriodMs, InitTimerProc);
}
