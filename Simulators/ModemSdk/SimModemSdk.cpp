// Simulated modem SDK "Qel_Evdomx.dll": every entry point of QelSdkEntryPoints.h, driven by
// the shared script block of SimSdkControl.h.
//
// How to script it:
// - In process: construct a SimSdkControl (default name "Local\QelSimModemSdk-<pid>") before or
//   after the library loads, set fields (openResult[mode], modelCode, notifyFailAt,
//   notReadyPolls, powerMode, entry[SimSdkEntryIndex(name)] via SetResult/SetOut/SetText),
//   read Calls() afterwards, and Inject() notifications.
// - From another process: set QEL_SIMSDK_BLOCK=<name> in the environment of the program that
//   loads the library, and open SimSdkControl(<name>) in the driver; the block is created by
//   whichever side opens it first and lives while either holds it.
// - Missing entry points: the build makes variants of this library whose export lists leave
//   names out (bin/sim/sdk/<variant>/Qel_Evdomx.dll; see CMakeLists.txt).
// Notifications are delivered on a thread of the library's own, started by the first
// successful open and ended by a successful close. It waits for injected records while
// dispatching its thread's messages (so timers started there fire) and calls the registered
// function with no lock held.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "SimSdkControl.h"
#include "SimSdkInfo.h"
#include "SimSdkParameters.h"
#include "SimSdkSms.h"

namespace {

std::atomic<QelNotifyFn> g_callback{nullptr};

// Opened on first use, closed when the library is freed (a view and handles: nothing that
// loads or waits); every load of the library would otherwise leave one behind.
SimSdkControl* g_control = nullptr;
SimSdkControl& Control() {
  if (!g_control) g_control = new SimSdkControl();
  return *g_control;
}

constexpr uint32_t kNoTimeout = 0xFFFFFFFFu;
uint32_t Arg(uint64_t v) { return static_cast<uint32_t>(v); }
uint32_t Arg(const void* p) { return p ? 1u : 0u; }

// A small generator under the block's lock, so a seed replays the same delays.
uint32_t RandomBelow(SimSdkBlock& b, uint32_t bound) {
  static uint32_t state = 0;
  if (!state) state = b.randomSeed ? b.randomSeed : GetTickCount() | 1u;
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state % bound;
}

std::atomic<uint32_t> g_closesBegun{0};

// Logs the call and returns its entry's script (copied under the lock).
SimSdkEntry Begin(const char* name, uint32_t timeout, std::initializer_list<uint32_t> args) {
  SimSdkControl& c = Control();
  int index = SimSdkEntryIndex(name);
  SimSdkEntry script = {};
  {
    auto guard = c.lock();
    SimSdkBlock& b = c.block();
    if (index >= 0) {
      ++b.entry[index].calls;
      script = b.entry[index];
    }
    if (b.callCount < static_cast<uint32_t>(kSimSdkLogSize)) {
      SimSdkCall& call = b.calls[b.callCount];
      std::memset(&call, 0, sizeof call);
      lstrcpynA(call.name, name, sizeof call.name);
      int i = 0;
      for (uint32_t a : args)
        if (i < 4) call.args[i++] = a;
      call.timeout = timeout;
      call.thread = GetCurrentThreadId();
      call.tick = GetTickCount();
      call.result = script.result;
    }
    ++b.callCount;
    if (b.randomDelayMaxMs) script.delayMs += RandomBelow(b, b.randomDelayMaxMs + 1);
  }
  if (script.delayMs) {
    uint32_t closes = g_closesBegun;
    Sleep(script.delayMs);
    if (g_closesBegun != closes && std::strcmp(name, "QelApiClose") != 0) {
      auto guard = c.lock();
      ++c->callsOverlappingClose;
    }
  }
  return script;
}

// Replaces the logged result of the latest call of name (for results decided after Begin).
void LogResult(const char* name, int32_t result) {
  SimSdkControl& c = Control();
  auto guard = c.lock();
  SimSdkBlock& b = c.block();
  uint32_t n = b.callCount < static_cast<uint32_t>(kSimSdkLogSize) ? b.callCount : kSimSdkLogSize;
  for (uint32_t i = n; i-- > 0;)
    if (std::strcmp(b.calls[i].name, name) == 0) {
      b.calls[i].result = result;
      return;
    }
}

void WriteOut(const SimSdkEntry& s, void* out) {
  if (out && s.result == 0 && s.outLength) std::memcpy(out, s.out, s.outLength);
}
void WriteText(const SimSdkEntry& s, char* buffer, uint32_t size) {
  if (buffer && size && s.result == 0) lstrcpynA(buffer, s.text, static_cast<int>(size));
}

// The delivering thread. It holds a reference on this library, so that a caller that frees
// the library without a successful close does not pull the code from under it. A close
// waits until the thread has left its loop (it may be called where the loader lock is held,
// so it does not wait for the thread's end); afterwards no callback runs and no message of
// that thread is dispatched. A registration waits until no delivery is under way.
struct ThreadStart {
  HMODULE self;
  HANDLE stop;
  HANDLE left;
};
CRITICAL_SECTION g_delivery;  // held by the thread around each call of the registered function
HANDLE g_stop = nullptr;      // the running thread's stop event
HANDLE g_left = nullptr;  // set by the running thread when it has left its loop
std::atomic<bool> g_stopping{false};
DWORD g_threadId = 0;

DWORD Deliver(HANDLE stop) {
  SimSdkControl& c = Control();
  HANDLE waits[2] = {stop, c.wakeEvent()};
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    DWORD w = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (w == WAIT_OBJECT_0) return 0;
    for (;;) {
      SDK_NOTIF record;
      bool deliver = false;
      {
        auto guard = c.lock();
        SimSdkBlock& b = c.block();
        if (b.queueHead == b.queueTail) break;
        record = b.queue[b.queueHead % kSimSdkQueueSize];
        ++b.queueHead;
        bool enabled = record.id < 2048 && (b.enabled[record.id / 32] >> (record.id % 32) & 1u);
        deliver = g_callback.load() && (!b.deliverOnlyEnabled || enabled);
        if (deliver) ++b.delivered; else ++b.dropped;
      }
      EnterCriticalSection(&g_delivery);
      QelNotifyFn fn = g_callback.load();
      bool stopped = g_stopping.load();  // no kernel call on the delivery path
      if (deliver && fn && !stopped) fn(&record);  // the script's lock is not held
      LeaveCriticalSection(&g_delivery);
      if (stopped) return 0;
    }
  }
}

DWORD WINAPI NotifyThread(void* param) {
  ThreadStart start = *static_cast<ThreadStart*>(param);
  delete static_cast<ThreadStart*>(param);
  Deliver(start.stop);
  CloseHandle(start.stop);
  SetEvent(start.left);
  CloseHandle(start.left);
  FreeLibraryAndExitThread(start.self, 0);
}

void StartThread() {
  if (g_stop) return;
  auto* start = new ThreadStart{nullptr, CreateEventA(nullptr, TRUE, FALSE, nullptr),
                                CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&Deliver), &start->self);
  HANDLE stop = nullptr, left = nullptr;
  DuplicateHandle(GetCurrentProcess(), start->stop, GetCurrentProcess(), &stop, 0, FALSE, DUPLICATE_SAME_ACCESS);
  DuplicateHandle(GetCurrentProcess(), start->left, GetCurrentProcess(), &left, 0, FALSE, DUPLICATE_SAME_ACCESS);
  HANDLE thread = CreateThread(nullptr, 0, NotifyThread, start, 0, &g_threadId);
  if (!thread) {
    CloseHandle(stop);
    CloseHandle(left);
    return;
  }
  CloseHandle(thread);
  g_stopping = false;
  g_left = left;
  g_stop = stop;
  auto guard = Control().lock();
  Control()->notifyThread = g_threadId;
}

void StopThread() {
  if (!g_stop) return;
  g_stopping = true;
  SetEvent(g_stop);
  if (GetCurrentThreadId() != g_threadId && WaitForSingleObject(g_left, 5000) != WAIT_OBJECT_0) {
    auto guard = Control().lock();
    ++Control()->closeWaitsGivenUp;  // a callback in flight did not return: the caller's deadlock
  }
  CloseHandle(g_left);
  CloseHandle(g_stop);
  g_stop = g_left = nullptr;
  g_threadId = 0;
}

bool IsNamed(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
bool SmsStoreOn() {
  auto guard = Control().lock();
  return Control()->sms.storeOn != 0;
}
// A result decided by the modem's state: logged, then answered.
uint32_t Served(const char* name, uint32_t result) {
  LogResult(name, static_cast<int32_t>(result));
  return result;
}

// Runs a stateful area's hook under the block's lock once the script answered 0; a refusal
// replaces the logged result.
template <class Hook>
uint32_t Stateful(const char* name, const SimSdkEntry& s, Hook hook) {
  if (s.result != 0) return s.result;
  int32_t r;
  {
    auto guard = Control().lock();
    r = hook(Control().block());
  }
  if (r != 0) LogResult(name, r);
  return r;
}

// The generic bodies, one per signature type.
uint32_t NoArgs(const char* name) {
  SimSdkEntry s = Begin(name, kNoTimeout, {});
  return Stateful(name, s, [&](SimSdkBlock& b) { return SimInfoNoArgs(b, name); });
}
uint32_t TimeoutOnly(const char* name, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {});
  if (IsNamed(name, "QelSendSMS") && !s.result && SmsStoreOn()) return Served(name, SimSmsSend(Control()));
  if (!IsNamed(name, "QelIsModemReady") || s.result) return s.result;
  SimSdkControl& c = Control();
  auto guard = c.lock();
  uint32_t poll = ++c->readyPolls;
  if (poll > c->notReadyPolls) return 0;
  uint32_t n = c->callCount < static_cast<uint32_t>(kSimSdkLogSize) ? c->callCount : kSimSdkLogSize;
  if (n) c->calls[n - 1].result = 1;
  return 1;
}
uint32_t GetRecord(const char* name, void* out, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {Arg(out)});
  if (IsNamed(name, "QelGetSMSMessageStatus") && !s.result && !s.outLength && SmsStoreOn())
    return Served(name, SimSmsStatus(Control(), out));
  WriteOut(s, out);
  uint32_t r = simsdk::ParametersRead(Control(), name, s, out);
  if (r != 0 || s.outLength || !out) return r;
  return Stateful(name, s, [&](SimSdkBlock& b) { return SimInfoGetRecord(b, name, out); });
}
uint32_t SetRecord(const char* name, const void* in, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {Arg(in)});
  if (IsNamed(name, "QelStoreSMSMessage") && !s.result && SmsStoreOn()) return Served(name, SimSmsStore(Control(), in));
  return Stateful(name, s, [&](SimSdkBlock& b) { return SimInfoSetText(b, name, static_cast<const char*>(in)); });
}
uint32_t GetText(const char* name, char* buffer, uint32_t size, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {Arg(buffer), size});
  WriteText(s, buffer, size);
  if (s.text[0]) return s.result;
  return Stateful(name, s, [&](SimSdkBlock& b) { return SimInfoGetText(b, name, buffer, size); });
}
uint32_t GetNamText(const char* name, uint16_t nam, char* buffer, uint32_t size, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {nam, Arg(buffer), size});
  WriteText(s, buffer, size);
  if (s.text[0]) return s.result;
  return Stateful(name, s, [&](SimSdkBlock& b) { return SimInfoGetText(b, name, buffer, size); });
}
uint32_t SetU16(const char* name, uint16_t value, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {value});
  if (IsNamed(name, "QelSetMessageRetrieved") && !s.result && SmsStoreOn())
    return Served(name, SimSmsSetRetrieved(Control(), value));
  return simsdk::ParametersWrite(Control(), name, s, value);
}
uint32_t SetU32(const char* name, uint32_t value, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {value});
  return Stateful(name, s, [&](SimSdkBlock& b) { return SimInfoSetU32(b, name, value); });
}
uint32_t GetNamRecord(const char* name, uint16_t nam, void* out, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {nam, Arg(out)});
  WriteOut(s, out);
  uint32_t r = simsdk::ParametersRead(Control(), name, s, out);
  if (r != 0 || s.outLength || !out) return r;
  return Stateful(name, s, [&](SimSdkBlock& b) { return SimInfoGetRecord(b, name, out); });
}
uint32_t SetNamRecord(const char* name, uint16_t nam, const void* in, uint32_t timeout) {
  SimSdkEntry s = Begin(name, timeout, {nam, Arg(in)});
  return Stateful(name, s, [&](SimSdkBlock& b) { return SimInfoSetText(b, name, static_cast<const char*>(in)); });
}
uint32_t SetNamU16(const char* name, uint16_t nam, uint16_t value, uint32_t timeout) {
  return simsdk::ParametersWrite(Control(), name, Begin(name, timeout, {nam, value}), value);
}
uint32_t SetMode(const char* name, uint32_t mode) {
  SimSdkEntry s = Begin(name, kNoTimeout, {mode});
  if (s.result == 0 && IsNamed(name, "QelSetPower")) {
    auto guard = Control().lock();
    Control()->powerMode = mode;
  }
  int32_t result = simsdk::ParametersWrite(Control(), name, s, mode);
  if (result != s.result) LogResult(name, result);
  return result;
}
uint32_t GetMode(const char* name, void* out) {
  SimSdkEntry s = Begin(name, kNoTimeout, {Arg(out)});
  if (s.result == 0 && out && IsNamed(name, "QelGetPower")) {
    auto guard = Control().lock();
    uint32_t mode = Control()->powerMode;
    std::memcpy(out, &mode, sizeof mode);
    return s.result;
  }
  WriteOut(s, out);
  int32_t result = simsdk::ParametersRead(Control(), name, s, out);
  if (result != s.result) LogResult(name, result);
  return result;
}

}  // namespace

extern "C" {

SimSdkBlock* QELSDK_CALL SimSdk_Block(void) { return &Control().block(); }

uint32_t QELSDK_CALL QelApiOpenEx(int32_t mode, void* record) {
  SimSdkEntry s = Begin("QelApiOpenEx", kNoTimeout, {static_cast<uint32_t>(mode), Arg(record)});
  SimSdkControl& c = Control();
  int32_t result;
  {
    auto guard = c.lock();
    result = s.result ? s.result : (mode >= 0 && mode < kSimSdkOpenModes ? c->openResult[mode] : 0);
    if (mode == QEL_OPEN_MODE_PASSPHRASE && record) lstrcpynA(c->passphrase, static_cast<const char*>(record), 17);
    if (result == 0) {
      if (c->opened) ++c->overlappingOpens;
      c->opened = 1;
      if (record && mode != QEL_OPEN_MODE_PASSPHRASE)
        std::memcpy(static_cast<uint8_t*>(record) + kSdkOpenRecordModelOffset, &c->modelCode, sizeof(uint32_t));
    }
  }
  LogResult("QelApiOpenEx", result);
  if (result == 0) StartThread();
  return result;
}

uint32_t QELSDK_CALL QelApiClose(void) {
  ++g_closesBegun;
  SimSdkEntry s = Begin("QelApiClose", kNoTimeout, {});
  if (s.result == 0) {
    g_callback.store(nullptr);  // a closed SDK forgets the registration
    {
      auto guard = Control().lock();
      Control()->opened = 0;
      Control()->callbackRegistered = 0;
    }
    StopThread();
  }
  return s.result;
}

uint32_t QELSDK_CALL QelNotify(uint32_t id, uint32_t timeout) {
  SimSdkEntry s = Begin("QelNotify", timeout, {id});
  SimSdkControl& c = Control();
  int32_t result = s.result;
  {
    auto guard = c.lock();
    uint32_t n = ++c->notifyCalls;
    if (c->notifyFailAt && n == c->notifyFailAt) result = c->notifyFailResult ? c->notifyFailResult : 1;
    if (result == 0 && id < 2048) c->enabled[id / 32] |= 1u << (id % 32);
  }
  LogResult("QelNotify", result);
  return result;
}

uint32_t QELSDK_CALL QelStopNotify(uint32_t id, uint32_t timeout) {
  SimSdkEntry s = Begin("QelStopNotify", timeout, {id});
  if (s.result == 0 && id < 2048) {
    auto guard = Control().lock();
    Control()->enabled[id / 32] &= ~(1u << (id % 32));
  }
  return s.result;
}

uint32_t QELSDK_CALL QelRegisterCallback(QelNotifyFn fn, uint64_t mask) {
  SimSdkEntry s = Begin("QelRegisterCallback", kNoTimeout, {Arg(reinterpret_cast<const void*>(fn)), Arg(mask)});
  if (s.result == 0) {
    g_callback.store(fn);
    EnterCriticalSection(&g_delivery);  // a delivery under way ends first
    LeaveCriticalSection(&g_delivery);
    auto guard = Control().lock();
    Control()->callbackRegistered = fn ? 1 : 0;
  }
  return s.result;
}

#define QEL_SIM_BODY_PFN_QelNoArgs(n) \
  uint32_t QELSDK_CALL n(void) { return NoArgs(#n); }
#define QEL_SIM_BODY_PFN_QelTimeout(n) \
  uint32_t QELSDK_CALL n(uint32_t t) { return TimeoutOnly(#n, t); }
#define QEL_SIM_BODY_PFN_QelGetRecord(n) \
  uint32_t QELSDK_CALL n(void* o, uint32_t t) { return GetRecord(#n, o, t); }
#define QEL_SIM_BODY_PFN_QelUnwrapped(n) \
  uint32_t QELSDK_CALL n(void* o, uint32_t t) { return GetRecord(#n, o, t); }
#define QEL_SIM_BODY_PFN_QelSetRecord(n) \
  uint32_t QELSDK_CALL n(const void* i, uint32_t t) { return SetRecord(#n, i, t); }
#define QEL_SIM_BODY_PFN_QelGetText(n) \
  uint32_t QELSDK_CALL n(char* b, uint32_t s, uint32_t t) { return GetText(#n, b, s, t); }
#define QEL_SIM_BODY_PFN_QelGetNamText(n) \
  uint32_t QELSDK_CALL n(uint16_t m, char* b, uint32_t s, uint32_t t) { return GetNamText(#n, m, b, s, t); }
#define QEL_SIM_BODY_PFN_QelSetU16(n) \
  uint32_t QELSDK_CALL n(uint16_t v, uint32_t t) { return SetU16(#n, v, t); }
#define QEL_SIM_BODY_PFN_QelSetU32(n) \
  uint32_t QELSDK_CALL n(uint32_t v, uint32_t t) { return SetU32(#n, v, t); }
#define QEL_SIM_BODY_PFN_QelGetNamRecord(n) \
  uint32_t QELSDK_CALL n(uint16_t m, void* o, uint32_t t) { return GetNamRecord(#n, m, o, t); }
#define QEL_SIM_BODY_PFN_QelSetNamRecord(n) \
  uint32_t QELSDK_CALL n(uint16_t m, const void* i, uint32_t t) { return SetNamRecord(#n, m, i, t); }
#define QEL_SIM_BODY_PFN_QelSetNamU16(n) \
  uint32_t QELSDK_CALL n(uint16_t m, uint16_t v, uint32_t t) { return SetNamU16(#n, m, v, t); }
#define QEL_SIM_BODY_PFN_QelSetMode(n) \
  uint32_t QELSDK_CALL n(uint32_t v) { return SetMode(#n, v); }
#define QEL_SIM_BODY_PFN_QelGetMode(n) \
  uint32_t QELSDK_CALL n(void* o) { return GetMode(#n, o); }
// Signatures of one entry point each, and the five above written out by hand.
#define QEL_SIM_BODY_PFN_QelApiOpenEx(n)
#define QEL_SIM_BODY_PFN_QelApiClose(n)
#define QEL_SIM_BODY_PFN_QelNotify(n)
#define QEL_SIM_BODY_PFN_QelStopNotify(n)
#define QEL_SIM_BODY_PFN_QelRegisterCallback(n)
#define QEL_SIM_BODY_PFN_QelPstSetHomeSidNid(n)                                      \
  uint32_t QELSDK_CALL n(uint16_t m, QEL_HOME_SID_NID r, uint32_t t) {               \
    uint32_t first;                                                                  \
    std::memcpy(&first, r.bytes, sizeof first);                                      \
    SimSdkEntry s = Begin(#n, t, {m, first});                                        \
    return Stateful(#n, s, [&](SimSdkBlock& b) { return SimInfoSetHomeSidNid(b, r); }); \
  }
#define QEL_SIM_BODY_PFN_QelRetrieveSMSMessageEx(n)                                  \
  uint32_t QELSDK_CALL n(void* r, uint32_t f, uint32_t t) {                          \
    SimSdkEntry s = Begin(#n, t, {Arg(r), f});                                       \
    if (!s.result && !s.outLength && SmsStoreOn()) return Served(#n, SimSmsRetrieve(Control(), r, f)); \
    WriteOut(s, r);                                                                  \
    return s.result;                                                                 \
  }
#define QEL_SIM_BODY_PFN_QelSetCallOriginateCmd(n) \
  uint32_t QELSDK_CALL n(uint32_t c, const char* num, uint32_t t) {                 \
    SimSdkEntry s = Begin(#n, t, {c, Arg(num)});                                     \
    return Stateful(#n, s, [&](SimSdkBlock& b) { return SimInfoDial(b, num); });     \
  }
#define QEL_SIM_BODY_PFN_QelGetNamInfo(n)                                            \
  uint32_t QELSDK_CALL n(void* c, void* i, uint32_t t) {                             \
    SimSdkEntry s = Begin(#n, t, {Arg(c), Arg(i)});                                  \
    WriteOut(s, c);                                                                  \
    if (s.outLength) return s.result;                                                \
    return Stateful(#n, s, [&](SimSdkBlock& b) { return SimInfoNamInfo(b, c); });    \
  }
#define QEL_SIM_BODY_PFN_QelLockModem(n)                                             \
  uint32_t QELSDK_CALL n(const char* code, void* st, uint32_t t) {                   \
    SimSdkEntry s = Begin(#n, t, {Arg(code), Arg(st)});                              \
    WriteOut(s, st);                                                                 \
    if (s.outLength) return s.result;                                                \
    return Stateful(#n, s, [&](SimSdkBlock& b) { return SimInfoLockModem(b, code, st); }); \
  }
#define QEL_SIM_BODY_PFN_QelChangeLockPIN(n)                                         \
  uint32_t QELSDK_CALL n(const char* a, const char* b, void* r, uint32_t t) {        \
    SimSdkEntry s = Begin(#n, t, {Arg(a), Arg(b), Arg(r)});                          \
    WriteOut(s, r);                                                                  \
    if (s.outLength) return s.result;                                                \
    return Stateful(#n, s, [&](SimSdkBlock& k) { return SimInfoChangeLockPin(k, a, b, r); }); \
  }
#define QEL_SIM_BODY_PFN_QelPstLock(n)                                               \
  uint32_t QELSDK_CALL n(uint16_t a, uint16_t b, void* st, void* i, uint32_t t) {    \
    SimSdkEntry s = Begin(#n, t, {a, b, Arg(st), Arg(i)});                           \
    WriteOut(s, st);                                                                 \
    if (s.outLength) return s.result;                                                \
    return Stateful(#n, s, [&](SimSdkBlock& k) { return SimInfoPstLock(k, st); });   \
  }
#define QEL_SIM_BODY_PFN_QelGetSystemTime(n)                                                      \
  uint32_t QELSDK_CALL n(void* a, void* b, void* c, void* d, void* e, void* f, void* g, uint32_t t) { \
    SimSdkEntry s = Begin(#n, t, {Arg(a), Arg(g)});                                               \
    WriteOut(s, a);                                                                               \
    if (s.outLength) return s.result;                                                             \
    void* const outs[7] = {a, b, c, d, e, f, g};                                                  \
    return Stateful(#n, s, [&](SimSdkBlock& k) { return SimInfoSystemTime(k, outs); });           \
  }
#define QEL_SIM_BODY_PFN_QelPstGetDsMipGenUser(n)                                                  \
  uint32_t QELSDK_CALL n(uint16_t m, uint16_t size, char* nai, void* a, void* b, void* c, void* d, void* e, \
                         void* f, void* g, void* h, uint32_t t) {                                  \
    SimSdkEntry s = Begin(#n, t, {m, size, Arg(nai)});                                             \
    WriteText(s, nai, size);                                                                       \
    simsdk::MipGenUser(Control(), s, size, nai, a, b, c, d, e, f, g, h);                           \
    return s.result;                                                                               \
  }
#define QEL_SIM_BODY_PFN_QelGetERIVer(n)                                             \
  uint32_t QELSDK_CALL n(const char* name, void* o, uint32_t t) {                    \
    SimSdkEntry s = Begin(#n, t, {Arg(name), Arg(o)});                               \
    WriteOut(s, o);                                                                  \
    if (s.outLength || !o) return s.result;                                          \
    return Stateful(#n, s, [&](SimSdkBlock& b) { return SimInfoGetRecord(b, #n, o); }); \
  }
#define QEL_SIM_BODY_PFN_QelPstSetDsMipSsUserProf(n)                                               \
  uint32_t QELSDK_CALL n(uint16_t m, uint16_t hl, const uint8_t* ha, uint16_t al, const uint8_t* aaa, \
                         uint32_t t) {                                                             \
    SimSdkEntry s = Begin(#n, t, {m, hl, al, Arg(ha) | Arg(aaa) << 1});                            \
    return Stateful(#n, s, [&](SimSdkBlock& b) { return SimInfoSetSecrets(b, hl, ha, al, aaa); });  \
  }
#define QEL_SIM_BODY_PFN_QelPstGetDsMipSsUserProf(n)                                                \
  uint32_t QELSDK_CALL n(uint16_t m, uint8_t* ha, uint16_t* hl, uint16_t hc, uint8_t* aaa, uint16_t* al, \
                         uint16_t ac, uint32_t t) {                                                 \
    SimSdkEntry s = Begin(#n, t, {m, hc, ac});                                                      \
    return Stateful(#n, s, [&](SimSdkBlock& b) { return SimInfoGetSecrets(b, ha, hl, hc, aaa, al, ac); }); \
  }
#define QEL_SIM_BODY_PFN_QelSetPRL(n) \
  uint32_t QELSDK_CALL n(uint16_t m, const void* d, uint16_t l, uint32_t t) {       \
    SimSdkEntry s = Begin(#n, t, {m, Arg(d), l});                                    \
    return Stateful(#n, s, [&](SimSdkBlock& b) { return SimInfoSetPrl(b, d, l); });  \
  }
#define QEL_SIM_BODY_PFN_QelVerifyUpgradeRequired(n)                                 \
  uint32_t QELSDK_CALL n(const char* p, void* st, char* b, void* l, uint32_t t) {    \
    SimSdkEntry s = Begin(#n, t, {Arg(p), Arg(st), Arg(b), Arg(l)});                 \
    WriteOut(s, st);                                                                 \
    simsdk::VerifyUpgradeRequired(Control(), s, p, st, b, l);                        \
    return s.result;                                                                 \
  }

#define QEL_SIM_DEFINE(name, type, kind) QEL_SIM_BODY_##type(name)
QEL_SDK_BASE_ENTRY_POINTS(QEL_SIM_DEFINE)
QEL_SDK_EVDO_ENTRY_POINTS(QEL_SIM_DEFINE)
QEL_SDK_MODULE_ENTRY_POINTS(QEL_SIM_DEFINE)

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    InitializeCriticalSection(&g_delivery);
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    // A thread of ours holds the library while it runs, so none is left here.
    DeleteCriticalSection(&g_delivery);
    delete g_control;
    g_control = nullptr;
  }
  return TRUE;
}
