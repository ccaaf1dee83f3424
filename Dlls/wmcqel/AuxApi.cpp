#include "AuxApi.h"

#include <algorithm>
#include <cstdio>

#include "AuxApiTestSeams.h"
#include "CriticalSection.h"
#include "EngineLife.h"

struct CQelAuxApi::Request {
  Op op;
  std::string name;
  uint32_t state = 0;
  uint32_t value = 0;
  QelHWCallback fn = nullptr;
  long result = kAuxUnreachable;
  HANDLE done = nullptr;
  // This library stays mapped while the request may still be served, also after its caller
  // stopped waiting; the caller and the thread each own a share, the last one gives it back.
  HMODULE hold = nullptr;
  std::atomic<int> owners{1};
  ~Request() {
    if (done) CloseHandle(done);
  }
};

namespace {

// A global of its own (not a function's static, whose first use takes the C++ runtime's
// guard and leaves a thread handle and an event behind each time the library is loaded).
CQelAuxApi g_auxApi;
std::atomic<DWORD> g_callWaitMs{kAuxCallWaitMs};

template <class Fn>
void Bind(HMODULE module, Fn* fn, const char* name) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A system or client-library function run as an APC on the library's thread. Each takes at
// most one pointer-sized argument and its result is not used; on x86 the APC dispatcher
// restores the stack from its saved context, so a cdecl routine's unpopped argument is
// harmless.
template <class Fn>
void QueueApc(HANDLE thread, Fn fn, ULONG_PTR arg) {
  QueueUserAPC(reinterpret_cast<PAPCFUNC>(reinterpret_cast<void*>(fn)), thread, arg);
}

// Like WaitDispatchingSent, for at most ms: true when the handle was signalled.
bool WaitDispatchingSentFor(HANDLE handle, DWORD ms) {
  ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    ULONGLONG now = GetTickCount64();
    DWORD left = now >= end ? 0 : static_cast<DWORD>(end - now);
    DWORD w = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE);
    if (w == WAIT_OBJECT_0) return true;
    if (w != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // runs the sent ones
  }
}

// Process-wide (a new load of this library has new globals): held by the thread that owns the
// client library.
std::string OwnerName() {
  char name[64];
  std::snprintf(name, sizeof name, "Local\\QelWmcClientLibrary-%lu", static_cast<unsigned long>(GetCurrentProcessId()));
  return name;
}

}  // namespace

void SetAuxCallWait(DWORD ms) { g_callWaitMs = ms; }

CQelAuxApi& AuxApi() { return g_auxApi; }

// At the unload the thread was ended already (AbandonAtUnload); at the process's end the
// system ends it and frees the rest.
CQelAuxApi::~CQelAuxApi() = default;

bool CQelAuxApi::StartThread() {
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  parked_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  requestEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  owner_ = CreateMutexA(nullptr, FALSE, OwnerName().c_str());
  DWORD id = 0;
  if (ready_ && parked_ && requestEvent_ && owner_) thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &id);
  if (!thread_) {
    CloseThreadHandles();
    return false;
  }
  threadId_ = id;
  // The thread waits up to a call wait for the previous load's thread to let the library go.
  WaitDispatchingSentFor(ready_, 2 * g_callWaitMs.load());
  return true;
}

void CQelAuxApi::EndThread() {
  if (WaitDispatchingSentFor(thread_, g_callWaitMs.load())) {
    CloseThreadHandles();
    return;
  }
  // Still in a call of the library: its handles stay with it.
  thread_ = ready_ = parked_ = requestEvent_ = owner_ = nullptr;
  threadId_ = 0;
}

void CQelAuxApi::CloseThreadHandles() {
  for (HANDLE* h : {&thread_, &ready_, &parked_, &requestEvent_, &owner_})
    if (*h) CloseHandle(*h), *h = nullptr;
  threadId_ = 0;
}

DWORD WINAPI CQelAuxApi::ThreadMain(void* self) {
  static_cast<CQelAuxApi*>(self)->Loop();
  return 0;
}

void CQelAuxApi::Loop() {
  // Abandoned counts too: the thread before ended.
  DWORD owned = WaitForSingleObject(owner_, g_callWaitMs.load());
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue, before the library needs it
  SetEvent(ready_);
  for (;;) {
    // Alertable: the unload's APCs run in this wait, which they end with the thread.
    MsgWaitForMultipleObjectsEx(1, &requestEvent_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE | MWMO_ALERTABLE);
    for (;;) {
      std::shared_ptr<Request> r;
      {
        SrwLockGuard hold(requestsLock_);
        if (!requests_.empty()) {
          r = requests_.front();
          requests_.erase(requests_.begin());
        }
      }
      if (!r) break;
      bool last = r->op == Op::kUnload;  // asked by another thread, which waits for the end
      Serve(*r);
      SetEvent(r->done);
      // A caller that stopped waiting left its reference to this thread, which must not give
      // it back itself: it still returns into this library.
      if (--r->owners == 0) GiveBackModule(r->hold);
      if (last) {
        if (owned == WAIT_OBJECT_0 || owned == WAIT_ABANDONED) ReleaseMutex(owner_);
        return;
      }
    }
    // The library's COM calls and its power notifications arrive as this thread's messages.
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

long CQelAuxApi::Run(Op op, const std::string& name, uint32_t* state, uint32_t value, QelHWCallback fn) {
  const long unreachable = op == Op::kInitialize ? static_cast<long>(E_FAIL) : kAuxUnreachable;
  auto r = std::make_shared<Request>();
  r->op = op;
  r->name = name;
  r->value = value;
  r->fn = fn;
  if (GetCurrentThreadId() == threadId_) {
    Serve(*r);  // on the thread itself: queued, it would wait for itself
    if (state && r->result == 0) *state = r->state;
    return r->result;
  }
  if (!thread_) return unreachable;
  r->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!r->done) return unreachable;
  r->hold = HoldThisModule();
  r->owners = 2;
  {
    SrwLockGuard hold(requestsLock_);
    requests_.push_back(r);
  }
  SetEvent(requestEvent_);
  // A notification in flight on another thread of ours may be sending to this one.
  bool served = WaitDispatchingSentFor(r->done, g_callWaitMs.load());
  if (!served) {
    // Not begun yet: it is dropped, so a late switch does not follow a failure answered now.
    SrwLockGuard hold(requestsLock_);
    auto it = std::find(requests_.begin(), requests_.end(), r);
    if (it != requests_.end()) {
      requests_.erase(it);
      --r->owners;
    }
  }
  served = served || WaitForSingleObject(r->done, 0) == WAIT_OBJECT_0;
  long result = served ? r->result : unreachable;
  if (served && state && result == 0) *state = r->state;
  if (--r->owners == 0 && r->hold) FreeLibrary(r->hold);  // an export of the host's, still loaded
  return result;
}

void CQelAuxApi::Serve(Request& r) {
  switch (r.op) {
    case Op::kLoad: {
      HMODULE module = LoadLibraryA(r.name.c_str());
      if (!module) return;
      Bind(module, &initialize_, "QelHWInitialize");
      Bind(module, &unInitialize_, "QelHWUnInitialize");
      Bind(module, &getOemIdStr_, "QelHWGetOEMIDStrA");
      Bind(module, &getPower_, "QelHWGetPower");
      Bind(module, &registerCallback_, "QelHWRegisterCallback");
      Bind(module, &setPower_, "QelHWSetPower");
      module_ = module;
      r.result = 0;
      return;
    }
    case Op::kInitialize: {
      if (!initialize_) {
        r.result = -1;
        return;
      }
      HRESULT h = initialize_();
      if (h >= 0) {
        uint32_t probed = 0;
        if (!getPower_ || getPower_(&probed) != 0) h = E_FAIL;
      }
      r.result = h;
      return;
    }
    case Op::kGetPower:
      r.result = getPower_ ? getPower_(&r.state) : kAuxNotOffered;
      return;
    case Op::kSetPower:
      r.result = setPower_ ? setPower_(r.value) : kAuxNotOffered;
      return;
    case Op::kRegisterCallback:
      r.result = registerCallback_ ? registerCallback_(r.fn) : kAuxNotOffered;
      return;
    case Op::kUnInitialize:
      if (unInitialize_) unInitialize_();
      r.result = 0;
      return;
    case Op::kUnload: {
      HMODULE module = Unbind();
      if (module) FreeLibrary(module);
      r.result = 0;
      return;
    }
  }
}

void CQelAuxApi::Load(std::string fileName) {
  if (fileName.empty()) {
    if (!thread_) return;  // nothing is loaded
    Run(Op::kUnload);
    if (GetCurrentThreadId() != threadId_) EndThread();
    return;
  }
  if (module_) return;
  if (!thread_ && !StartThread()) return;
  Run(Op::kLoad, fileName);
  if (!module_ && GetCurrentThreadId() != threadId_) {
    Run(Op::kUnload);  // nothing to own: the thread goes again
    EndThread();
  }
}

HRESULT CQelAuxApi::Initialize() {
  if (!module_) return -1;
  return static_cast<HRESULT>(Run(Op::kInitialize));
}

int CQelAuxApi::GetPower(uint32_t* state) {
  if (!module_) return kAuxNotOffered;
  return static_cast<int>(Run(Op::kGetPower, std::string(), state));
}

int CQelAuxApi::SetPower(uint32_t state) {
  if (!module_) return kAuxNotOffered;
  return static_cast<int>(Run(Op::kSetPower, std::string(), nullptr, state));
}

int CQelAuxApi::RegisterCallback(QelHWCallback fn) {
  if (!module_) return kAuxNotOffered;
  if (fn) hostFn_ = fn;
  int r = static_cast<int>(Run(Op::kRegisterCallback, std::string(), nullptr, 0, fn ? &RelayRecord : nullptr));
  if (!fn) hostFn_ = nullptr;
  return r;
}

void CQelAuxApi::UnInitialize() {
  if (module_) Run(Op::kUnInitialize);
}

void __cdecl CQelAuxApi::RelayRecord(QelHWNotifyRecord* record) {
  CQelAuxApi& aux = AuxApi();
  {
    SrwLockGuard hold(aux.relayLock_);
    if (aux.unloading_) return;
    aux.relayed_.push_back(*record);
    if (aux.relayRunning_) return;
    aux.relayRunning_ = true;
  }
  // No loader call under the lock: the unload takes it under the loader lock.
  HMODULE module = HoldThisModule();
  HANDLE thread = module ? CreateThread(nullptr, 0, RelayMain, module, 0, nullptr) : nullptr;
  if (thread) {
    CloseHandle(thread);
    return;
  }
  {
    SrwLockGuard hold(aux.relayLock_);
    aux.relayRunning_ = false;  // the next record tries again
  }
  GiveBackModule(module);  // not from this thread, which returns into this library
}

DWORD WINAPI CQelAuxApi::RelayMain(void* module) {
  CQelAuxApi& aux = AuxApi();
  for (;;) {
    QelHWNotifyRecord record;
    {
      SrwLockGuard hold(aux.relayLock_);
      if (aux.relayed_.empty()) {
        aux.relayRunning_ = false;
        break;
      }
      record = aux.relayed_.front();
      aux.relayed_.pop_front();
    }
    if (QelHWCallback fn = aux.hostFn_.load()) fn(&record);
  }
  // The host may have let the library go during a delivery: this reference is the last then.
  FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

void CQelAuxApi::AbandonAtUnload() {
  {
    SrwLockGuard hold(relayLock_);
    unloading_ = true;
  }
  if (!thread_) return;
  // No request is in flight (each keeps this library loaded) and the relay thread has ended
  // or is ending in FreeLibraryAndExitThread. The library's thread does the Part's unload
  // order in its idle wait, after this unload has let the loader lock go, and ends there.
  // Queued while it is suspended, so that the thread finds them all at once and its wait does
  // not return into this image between two of them.
  DWORD suspended = SuspendThread(thread_);
  QueueApc(thread_, &SetEvent, reinterpret_cast<ULONG_PTR>(parked_));
  if (module_) {
    if (registerCallback_) QueueApc(thread_, registerCallback_, 0);
    if (unInitialize_) QueueApc(thread_, unInitialize_, 0);
    QueueApc(thread_, &FreeLibrary, reinterpret_cast<ULONG_PTR>(module_.load()));
  }
  QueueApc(thread_, &CloseHandle, reinterpret_cast<ULONG_PTR>(owner_));  // ownership ends with the thread
  QueueApc(thread_, &ExitThread, 0);
  if (suspended != static_cast<DWORD>(-1)) ResumeThread(thread_);
  owner_ = nullptr;
  // Bounded: the thread may be in a moment of code of ours (a message's dispatch).
  if (WaitForSingleObject(parked_, kAuxParkWaitMs) != WAIT_OBJECT_0) parked_ = nullptr;  // the APC's, then
  CloseThreadHandles();
  Unbind();
}

HMODULE CQelAuxApi::Unbind() {
  initialize_ = nullptr;
  unInitialize_ = nullptr;
  getOemIdStr_ = nullptr;
  getPower_ = nullptr;
  registerCallback_ = nullptr;
  setPower_ = nullptr;
  return module_.exchange(nullptr);
}
