#include "EngineLife.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "CriticalSection.h"
#include "Engine.h"
#include "EngineTestSeams.h"

namespace {

// Held only for the phase, pointer loads, counts and the small lists below: never across a
// call out.
SRWLOCK g_lock = SRWLOCK_INIT;

enum class Phase { kNone, kCreating, kRunning, kStopping };
Phase g_phase = Phase::kNone;
// The one engine pointer: the published engine while running, the one whose SDK is closing
// while stopping, else null.
CSEVDOEngine* g_engine = nullptr;
bool g_creationCancelled = false;  // creating: a WMC_Shutdown came meanwhile
uint64_t g_serials = 0;
std::vector<DWORD> g_deliveryThreads;  // one entry per delivery in flight

struct TimerRecord {
  EngineTimer kind;
  UINT_PTR id;
  DWORD thread;
  HANDLE threadHandle;  // tells when the thread, and with it the timer, is gone
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
    GiveBackModule(module);
  }
}

void ForgetTimer(const TimerRecord& t) {
  if (t.threadHandle) CloseHandle(t.threadHandle);
}

// Kills timers of this thread (those of one engine, or of one kind). An export gives their
// references back at once; a timer procedure, which still returns into the library, through
// GiveBackModule.
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
    ForgetTimer(t);
    if (t.hold && inTimer) GiveBackModule(t.hold);
    else if (t.hold) FreeLibrary(t.hold);
  }
}

void FinishStop(CSEVDOEngine* e) {
  std::vector<UINT_PTR> gone;
  {
    SrwLockGuard hold(g_lock);
    e->life_.stopDone = true;
    if (g_phase == Phase::kStopping && g_engine == e) {
      g_phase = Phase::kNone;
      g_engine = nullptr;
    }
    // The SDK's thread dispatches no more: its initialisation timer of this engine is gone,
    // and the slot names it no longer.
    for (auto it = g_timers.begin(); it != g_timers.end();) {
      if (it->kind == EngineTimer::kInit && it->serial == e->life_.serial) {
        gone.push_back(it->id);
        ForgetTimer(*it);
        it = g_timers.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (UINT_PTR id : gone) TimerSlot(EngineTimer::kInit).compare_exchange_strong(id, 0);
  SetEvent(e->life_.stopDoneEvent);
}

// Under the lock: a timer that holds the library and belongs to no running engine (shut
// down, or superseded); it stops at its next tick, or with its thread.
bool Orphaned(const TimerRecord& t) {
  if (!t.hold) return false;
  return !(g_phase == Phase::kRunning && t.serial == g_engine->life_.serial);
}
bool HasOrphanedTimers() { return std::any_of(g_timers.begin(), g_timers.end(), Orphaned); }

// Gives back the references of orphaned timers whose threads have ended (a thread's timers
// end with it), polling until none is left: a tick of a live one gives its own back.
void ReapOrphanedTimers() {
  for (;;) {
    std::vector<HMODULE> gone;
    bool waiting = false;
    {
      SrwLockGuard hold(g_lock);
      for (auto it = g_timers.begin(); it != g_timers.end();) {
        if (Orphaned(*it) && WaitForSingleObject(it->threadHandle, 0) == WAIT_OBJECT_0) {
          gone.push_back(it->hold);
          ForgetTimer(*it);
          it = g_timers.erase(it);
        } else {
          waiting = waiting || Orphaned(*it);
          ++it;
        }
      }
    }
    for (HMODULE m : gone) FreeLibrary(m);  // the caller's own reference still holds
    if (!waiting) return;
    Sleep(100);
  }
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

// The stopper: the SDK is closed here, once the SDK calls in flight have returned, while the
// shutting-down thread keeps serving the messages that notifications in flight send it. It
// then waits for the other references, deletes, and gives back what timers that could not be
// killed still hold once their threads are gone.
DWORD WINAPI StopperThread(void* param) {
  auto* e = static_cast<CSEVDOEngine*>(param);
  HMODULE module = e->life_.module;
  e->Stop();
  FinishStop(e);
  DeleteWhenDrained(e);
  ReapOrphanedTimers();
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

CSEVDOEngine* PublishedEngine() {
  SrwLockGuard hold(g_lock);
  return g_phase == Phase::kRunning ? g_engine : nullptr;
}

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

bool WaitDispatchingSent(HANDLE handle, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    DWORD elapsed = GetTickCount() - start;
    DWORD left = ms == INFINITE ? INFINITE : elapsed < ms ? ms - elapsed : 0;
    DWORD w = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
    if (w == WAIT_OBJECT_0) return true;
    if (w != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // runs the sent ones
  }
}

bool InSentMessage() { return (InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_REPLIED)) == ISMEX_SEND; }

EngineRef::EngineRef(Kind kind) : engine_(nullptr), kind_(kind) {
  SrwLockGuard hold(g_lock);
  if (g_phase == Phase::kRunning) {
    engine_ = g_engine;
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

EngineRef StartupEngine(int* answer) {
  *answer = WMC_ERROR_SUCCESS;
  for (;;) {
    CSEVDOEngine* stopping = nullptr;
    {
      SrwLockGuard hold(g_lock);
      switch (g_phase) {
        case Phase::kRunning:
          AddRef(g_engine, EngineRef::kCall);
          return EngineLifeAccess::Adopt(g_engine, EngineRef::kCall);
        case Phase::kCreating:
          *answer = WMC_ERROR_BUSY;
          return EngineLifeAccess::Adopt(nullptr, EngineRef::kCall);
        case Phase::kNone:
          g_phase = Phase::kCreating;
          g_creationCancelled = false;
          return EngineLifeAccess::Adopt(nullptr, EngineRef::kCall);
        case Phase::kStopping:
          // A new engine gets a new SDK object only once the old one has closed its own.
          if (Contains(g_deliveryThreads, GetCurrentThreadId()) || InSentMessage()) {
            *answer = WMC_ERROR_BUSY;
            return EngineLifeAccess::Adopt(nullptr, EngineRef::kCall);
          }
          stopping = g_engine;
          AddRef(stopping, EngineRef::kDelivery);
          break;
      }
    }
    // Then the decision is taken again: another thread may have created one meanwhile.
    EngineRef watch = EngineLifeAccess::Adopt(stopping, EngineRef::kDelivery);
    if (!WaitDispatchingSent(stopping->life_.stopDoneEvent, kStopWaitMs)) {
      *answer = WMC_ERROR_BUSY;
      return EngineLifeAccess::Adopt(nullptr, EngineRef::kCall);
    }
  }
}

void EndEngineCreation() {
  SrwLockGuard hold(g_lock);
  g_phase = Phase::kNone;
}

EngineRef PublishEngine(CSEVDOEngine* engine) {
  {
    SrwLockGuard hold(g_lock);
    if (!g_creationCancelled) {
      engine->life_.module = HoldThisModule();
      engine->life_.serial = ++g_serials;
      engine->life_.refs = 2;  // the owner's, handed to the stopper at shutdown, and the caller's
      engine->life_.callThreads.push_back(GetCurrentThreadId());
      g_engine = engine;
      g_phase = Phase::kRunning;
      return EngineLifeAccess::Adopt(engine, EngineRef::kCall);
    }
  }
  // Shut down while it was made: it goes before any other start-up may open the SDK again.
  delete engine;
  EndEngineCreation();
  return EngineLifeAccess::Adopt(nullptr, EngineRef::kCall);
}

int ShutdownEngine() {
  CSEVDOEngine* e;
  bool inDelivery, callHere;
  {
    SrwLockGuard hold(g_lock);
    if (g_phase == Phase::kCreating) {
      g_creationCancelled = true;
      return WMC_ERROR_SUCCESS;
    }
    if (g_phase != Phase::kRunning) return WMC_ERROR_NOT_STARTED;
    e = g_engine;
    g_phase = Phase::kStopping;
    e->life_.stopRequested = true;
    DWORD self = GetCurrentThreadId();
    inDelivery = Contains(g_deliveryThreads, self);
    callHere = Contains(e->life_.callThreads, self);
    AddRef(e, EngineRef::kDelivery);  // this thread's, through its wait below
  }
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
    Release(e, EngineRef::kDelivery);  // this thread's
    Release(e, EngineRef::kDelivery);  // the owner's
    return WMC_ERROR_SUCCESS;
  }
  // From here only the stopper reaches the SDK; it owns the engine's references.
  if (e->sdk_) e->sdk_->Retire(stopperId);
  ResumeThread(stopper);
  bool waitForStopper = false;
  {
    EngineRef keep = EngineLifeAccess::Adopt(e, EngineRef::kDelivery);
    if (!inDelivery && !InSentMessage() && WaitDispatchingSent(e->life_.stopDoneEvent, kStopWaitMs)) {
      // Nobody else on it: the deletion follows at once, and the host's FreeLibrary after
      // this export finds the library free of it. Else the last caller's end deletes.
      SrwLockGuard hold(g_lock);
      waitForStopper = !callHere && e->life_.refs == 2 && !HasOrphanedTimers();
    }
  }
  if (waitForStopper) WaitDispatchingSent(stopper, kStopWaitMs);
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
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, SYNCHRONIZE, FALSE, 0);
  HMODULE module = kind == EngineTimer::kInit ? nullptr : HoldThisModule();
  UINT_PTR id = 0;
  {
    // Decided under the lock, so a shutdown from another thread either comes first (no
    // timer) or finds the timer among the engine's.
    SrwLockGuard hold(g_lock);
    bool current = g_phase == Phase::kRunning && g_engine == engine;
    if (current && (!module || self)) id = SetTimer(nullptr, 0, ms, proc);
    if (id) {
      for (TimerRecord& t : g_timers)
        if (t.kind == kind) t.serial = 0;  // superseded
      g_timers.push_back({kind, id, GetCurrentThreadId(), self, engine->life_.serial, module});
    }
  }
  if (!id) {
    if (self) CloseHandle(self);
    if (module) FreeLibrary(module);  // the caller still runs an export or holds the engine
    return;
  }
  TimerSlot(kind) = id;
}

EngineRef TimerEngine(EngineTimer kind, UINT_PTR id) {
  DWORD self = GetCurrentThreadId();
  TimerRecord gone = {};
  {
    SrwLockGuard hold(g_lock);
    auto it = std::find_if(g_timers.begin(), g_timers.end(),
                           [&](const TimerRecord& t) { return t.id == id && t.thread == self && t.kind == kind; });
    if (it != g_timers.end() && g_phase == Phase::kRunning && it->serial == g_engine->life_.serial) {
      EngineRef::Kind refKind = kind == EngineTimer::kInit ? EngineRef::kDelivery : EngineRef::kCall;
      AddRef(g_engine, refKind);
      return EngineLifeAccess::Adopt(g_engine, refKind);
    }
    if (it != g_timers.end()) {
      gone = *it;
      g_timers.erase(it);
    }
  }
  // Its engine is gone (or it was superseded): it stops, and its library reference goes back
  // from a thread of its own, since this procedure still has to return into the library.
  KillTimer(nullptr, id);
  UINT_PTR expected = id;
  TimerSlot(kind).compare_exchange_strong(expected, 0);
  ForgetTimer(gone);
  GiveBackModule(gone.hold);
  return EngineLifeAccess::Adopt(nullptr, EngineRef::kDelivery);
}

void KillEngineTimerHere(EngineTimer kind) {
  KillTimersHere([](const TimerRecord& t, uint64_t k) { return static_cast<uint64_t>(t.kind) == k; },
                 static_cast<uint64_t>(kind), true);
}
