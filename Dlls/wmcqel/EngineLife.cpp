#include "EngineLife.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "CriticalSection.h"
#include "Engine.h"

namespace {

// Held only for pointer loads, counts and the small lists below: never across a call out.
SRWLOCK g_lock = SRWLOCK_INIT;

CSEVDOEngine* g_published = nullptr;  // mirrored in g_engine for the readers that only look
CSEVDOEngine* g_stopping = nullptr;   // unpublished, its SDK not stopped yet
bool g_creating = false;
uint64_t g_serials = 0;
std::vector<DWORD> g_deliveryThreads;  // one entry per delivery in flight
struct Parked {
  DWORD thread;
  HMODULE module;
};
std::vector<Parked> g_parked;

struct TimerRecord {
  EngineTimer kind;
  UINT_PTR id;
  DWORD thread;
  uint64_t serial;
  HMODULE hold;
};
std::vector<TimerRecord> g_timers;

std::atomic<UINT_PTR>& TimerSlot(EngineTimer kind) {
  switch (kind) {
    case EngineTimer::kInit: return g_hostCallbacks.initTimer;
    case EngineTimer::kFieldTest: return g_hostCallbacks.fieldTestTimer;
    default: return g_activationTimer;
  }
}

bool Contains(const std::vector<DWORD>& threads, DWORD thread) {
  return std::find(threads.begin(), threads.end(), thread) != threads.end();
}
void RemoveOne(std::vector<DWORD>& threads, DWORD thread) {
  auto it = std::find(threads.begin(), threads.end(), thread);
  if (it != threads.end()) threads.erase(it);
}

// Under the lock: one more reference.
void AddRef(CSEVDOEngine* e, EngineRef::Kind kind) {
  ++e->life_.refs;
  if (kind == EngineRef::kCall) e->life_.callThreads.push_back(GetCurrentThreadId());
}

// Drops a reference. The stopper holds the owner's reference until it deletes: it is told
// when it is the only one left.
void Release(CSEVDOEngine* e, EngineRef::Kind kind) {
  bool drained, last;
  {
    SrwLockGuard hold(g_lock);
    if (kind == EngineRef::kCall) RemoveOne(e->life_.callThreads, GetCurrentThreadId());
    long refs = --e->life_.refs;
    drained = e->life_.stopRequested && refs == 1;
    last = refs == 0;
  }
  if (drained) SetEvent(e->life_.drainedEvent);
  if (last) {
    // Only when no stopper thread could be started: the caller may be a delivery, whose
    // thread must not be the one that lets the library go.
    HMODULE module = e->life_.module;
    delete e;
    if (module) ParkModule(module);
  }
}

// Kills timers of this thread (those of one engine, or of one kind). Their references go back
// at once from an export; a timer procedure parks them, since it still returns into the
// library after its engine reference (what keeps the library now) is gone.
void KillTimersHere(bool (*match)(const TimerRecord&, uint64_t), uint64_t value, bool inTimer) {
  DWORD self = GetCurrentThreadId();
  std::vector<TimerRecord> killed;
  {
    SrwLockGuard hold(g_lock);
    for (auto it = g_timers.begin(); it != g_timers.end();) {
      if (it->thread == self && match(*it, value)) {
        killed.push_back(*it);
        it = g_timers.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const TimerRecord& t : killed) {
    KillTimer(nullptr, t.id);
    UINT_PTR id = t.id;
    TimerSlot(t.kind).compare_exchange_strong(id, 0);
    if (t.hold && inTimer) ParkModule(t.hold);
    else if (t.hold) FreeLibrary(t.hold);
  }
}

void FinishStop(CSEVDOEngine* e) {
  std::vector<UINT_PTR> gone;
  {
    SrwLockGuard hold(g_lock);
    e->life_.stopDone = true;
    if (g_stopping == e) g_stopping = nullptr;
    // The SDK's thread dispatches no more: its initialisation timer of this engine is gone,
    // and the slot names it no longer.
    for (auto it = g_timers.begin(); it != g_timers.end();) {
      if (it->kind == EngineTimer::kInit && it->serial == e->life_.serial) {
        gone.push_back(it->id);
        it = g_timers.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (UINT_PTR id : gone) TimerSlot(EngineTimer::kInit).compare_exchange_strong(id, 0);
  SetEvent(e->life_.stopDoneEvent);
}

// Deletes once only the owner's reference (the caller's) is left.
void DeleteWhenDrained(CSEVDOEngine* e) {
  for (;;) {
    {
      SrwLockGuard hold(g_lock);
      if (e->life_.refs == 1) break;
    }
    WaitForSingleObject(e->life_.drainedEvent, INFINITE);
    ResetEvent(e->life_.drainedEvent);
  }
  delete e;
}

// The stopper: the SDK is closed here while the shutting-down thread keeps serving the
// messages that notifications in flight send it.
DWORD WINAPI StopperThread(void* param) {
  auto* e = static_cast<CSEVDOEngine*>(param);
  HMODULE module = e->life_.module;
  e->Stop();
  FinishStop(e);
  DeleteWhenDrained(e);
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

struct EngineLifeAccess {
  // Takes over a reference counted under the lock (null: none).
  static EngineRef Adopt(CSEVDOEngine* engine, EngineRef::Kind kind) { return EngineRef(engine, kind); }
};

HMODULE HoldThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&HoldThisModule), &module);
  return module;
}

// FreeLibrary as a thread's start routine: both take one pointer and are WINAPI.
static_assert(sizeof(BOOL) == sizeof(DWORD), "FreeLibrary's result is the thread's exit code");
void GiveBackModule(HMODULE module) {
  if (!module) return;
  auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(&FreeLibrary));
  if (HANDLE thread = CreateThread(nullptr, 0, start, module, 0, nullptr)) CloseHandle(thread);
}

void ParkModule(HMODULE module) {
  SrwLockGuard hold(g_lock);
  g_parked.push_back({GetCurrentThreadId(), module});
}

void ReleaseParkedModules() {
  // Only this thread's: what parked them has returned (or still holds the engine and so the
  // library, when this export runs inside it).
  DWORD self = GetCurrentThreadId();
  std::vector<HMODULE> mine;
  {
    SrwLockGuard hold(g_lock);
    if (g_parked.empty()) return;
    for (auto it = g_parked.begin(); it != g_parked.end();) {
      if (it->thread == self) {
        mine.push_back(it->module);
        it = g_parked.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (HMODULE m : mine) FreeLibrary(m);
}

void WaitDispatchingSent(HANDLE handle) {
  for (;;) {
    DWORD w = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE);
    if (w != WAIT_OBJECT_0 + 1) return;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // runs the sent ones
  }
}

bool InSentMessage() { return (InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_REPLIED)) == ISMEX_SEND; }

EngineRef::EngineRef(Kind kind) : engine_(nullptr), kind_(kind) {
  if (kind == kCall) ReleaseParkedModules();
  SrwLockGuard hold(g_lock);
  if (g_published) {
    engine_ = g_published;
    AddRef(engine_, kind);
  }
}

EngineRef::~EngineRef() {
  if (engine_) Release(engine_, kind_);
}

bool EngineRef::Stopped() const { return engine_ && engine_->life_.stopRequested; }

int EngineRef::Answer(int result) const { return Stopped() ? static_cast<int>(WMC_ERROR_NOT_STARTED) : result; }

DeliveryScope::DeliveryScope() {
  SrwLockGuard hold(g_lock);
  g_deliveryThreads.push_back(GetCurrentThreadId());
}

DeliveryScope::~DeliveryScope() {
  SrwLockGuard hold(g_lock);
  RemoveOne(g_deliveryThreads, GetCurrentThreadId());
}

int BeginEngineCreation() {
  ReleaseParkedModules();
  for (;;) {
    CSEVDOEngine* stopping = nullptr;
    {
      SrwLockGuard hold(g_lock);
      if (g_creating) return WMC_ERROR_BUSY;
      if (!g_stopping) {
        g_creating = true;
        return WMC_ERROR_SUCCESS;
      }
      // A new engine gets a new SDK object only once the old one has closed its own.
      if (Contains(g_deliveryThreads, GetCurrentThreadId())) return WMC_ERROR_BUSY;
      if (InSentMessage()) return WMC_ERROR_BUSY;
      stopping = g_stopping;
      AddRef(stopping, EngineRef::kDelivery);
    }
    EngineRef watch = EngineLifeAccess::Adopt(stopping, EngineRef::kDelivery);
    WaitDispatchingSent(stopping->life_.stopDoneEvent);
  }
}

void EndEngineCreation() {
  SrwLockGuard hold(g_lock);
  g_creating = false;
}

void PublishEngine(CSEVDOEngine* engine) {
  engine->life_.module = HoldThisModule();
  SrwLockGuard hold(g_lock);
  engine->life_.serial = ++g_serials;
  engine->life_.refs = 1;  // the owner's, handed to the stopper at shutdown
  g_published = engine;
  g_engine = engine;
}

int ShutdownEngine() {
  ReleaseParkedModules();
  CSEVDOEngine* e;
  bool inDelivery, callHere;
  {
    SrwLockGuard hold(g_lock);
    e = g_published;
    if (!e) return WMC_ERROR_NOT_STARTED;
    g_published = nullptr;
    g_engine = nullptr;
    g_stopping = e;
    e->life_.stopRequested = true;
    DWORD self = GetCurrentThreadId();
    inDelivery = Contains(g_deliveryThreads, self);
    callHere = Contains(e->life_.callThreads, self);
    if (callHere) AddRef(e, EngineRef::kDelivery);
  }
  // This thread's call stays on the engine through the wait below.
  EngineRef keep = EngineLifeAccess::Adopt(callHere ? e : nullptr, EngineRef::kDelivery);
  SetEvent(e->life_.stopRequestedEvent);  // pumping waits of its callers return
  uint64_t serial = e->life_.serial;
  KillTimersHere([](const TimerRecord& t, uint64_t s) { return t.serial == s; }, serial, false);

  DWORD stopperId = 0;
  HANDLE stopper = CreateThread(nullptr, 0, StopperThread, e, CREATE_SUSPENDED, &stopperId);
  if (!stopper) {
    // No thread to stop it on: here, then the last reference deletes.
    if (e->sdk_) e->sdk_->Retire(GetCurrentThreadId());
    e->Stop();
    FinishStop(e);
    Release(e, EngineRef::kDelivery);  // the owner's
    return WMC_ERROR_SUCCESS;
  }
  // From here only the stopper reaches the SDK; it owns the engine's references.
  if (e->sdk_) e->sdk_->Retire(stopperId);
  ResumeThread(stopper);
  if (!inDelivery && !InSentMessage()) {
    // With a call of this thread still on the engine (the host shut down from a handler that
    // an export of ours dispatched) the engine outlives the wait: wait for the stop alone.
    WaitDispatchingSent(callHere ? e->life_.stopDoneEvent : stopper);
  }
  CloseHandle(stopper);
  return WMC_ERROR_SUCCESS;
}

void StartEngineTimer(EngineTimer kind, const CSEVDOEngine* engine, DWORD ms, TIMERPROC proc) {
  // At most one of a kind: the one before is killed here when it runs on this thread; one on
  // another thread is no longer current and kills itself at its next tick.
  UINT_PTR previous = TimerSlot(kind).exchange(0);
  KillTimersHere([](const TimerRecord& t, uint64_t k) { return static_cast<uint64_t>(t.kind) == k; },
                 static_cast<uint64_t>(kind), false);
  if (previous) KillTimer(nullptr, previous);
  UINT_PTR id = SetTimer(nullptr, 0, ms, proc);
  if (!id) return;
  HMODULE module = kind == EngineTimer::kInit ? nullptr : HoldThisModule();
  {
    SrwLockGuard hold(g_lock);
    for (TimerRecord& t : g_timers)
      if (t.kind == kind) t.serial = 0;  // superseded
    g_timers.push_back({kind, id, GetCurrentThreadId(), engine->life_.serial, module});
  }
  TimerSlot(kind) = id;
}

EngineRef TimerEngine(EngineTimer kind, UINT_PTR id) {
  DWORD self = GetCurrentThreadId();
  HMODULE module = nullptr;
  {
    SrwLockGuard hold(g_lock);
    auto it = std::find_if(g_timers.begin(), g_timers.end(),
                           [&](const TimerRecord& t) { return t.id == id && t.thread == self && t.kind == kind; });
    if (it != g_timers.end() && g_published && it->serial == g_published->life_.serial) {
      EngineRef::Kind refKind = kind == EngineTimer::kInit ? EngineRef::kDelivery : EngineRef::kCall;
      AddRef(g_published, refKind);
      return EngineLifeAccess::Adopt(g_published, refKind);
    }
    if (it != g_timers.end()) {
      module = it->hold;
      g_timers.erase(it);
    }
  }
  // Its engine is gone (or it was superseded): it stops, and its library reference waits for
  // an export, since this procedure still has to return into the library.
  KillTimer(nullptr, id);
  UINT_PTR expected = id;
  TimerSlot(kind).compare_exchange_strong(expected, 0);
  if (module) ParkModule(module);
  return EngineLifeAccess::Adopt(nullptr, EngineRef::kDelivery);
}

void KillEngineTimerHere(EngineTimer kind) {
  KillTimersHere([](const TimerRecord& t, uint64_t k) { return static_cast<uint64_t>(t.kind) == k; },
                 static_cast<uint64_t>(kind), true);
}
