#include "AuxApi.h"

#include "CriticalSection.h"
#include "EngineLife.h"

namespace {

// A global of its own (not a function's static, whose first use takes the C++ runtime's
// guard and leaves a thread handle and an event behind each time the library is loaded).
CQelAuxApi g_auxApi;

template <class Fn>
void Bind(HMODULE module, Fn* fn, const char* name) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// ExitThread as an APC routine: both take one pointer-sized (x64) or 32-bit stdcall (x86)
// argument and the APC's result is not used.
static_assert(sizeof(DWORD) <= sizeof(ULONG_PTR), "the exit code fits the APC's argument");
PAPCFUNC ExitThreadApc() { return reinterpret_cast<PAPCFUNC>(reinterpret_cast<void*>(&ExitThread)); }

}  // namespace

CQelAuxApi& AuxApi() { return g_auxApi; }

// At the unload the thread was ended already (AbandonAtUnload); at the process's end the
// system ends it and frees the rest.
CQelAuxApi::~CQelAuxApi() = default;

bool CQelAuxApi::StartThread() {
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  exitRequest_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  parked_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  requestEvent_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD id = 0;
  if (ready_ && exitRequest_ && parked_ && requestEvent_)
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, &id);
  if (!thread_) {
    CloseThreadHandles();
    return false;
  }
  threadId_ = id;
  WaitDispatchingSent(ready_);
  return true;
}

void CQelAuxApi::EndThread() {
  WaitDispatchingSent(thread_);
  CloseThreadHandles();
}

void CQelAuxApi::CloseThreadHandles() {
  for (HANDLE* h : {&thread_, &ready_, &exitRequest_, &parked_, &requestEvent_})
    if (*h) CloseHandle(*h), *h = nullptr;
  threadId_ = 0;
}

DWORD WINAPI CQelAuxApi::ThreadMain(void* self) {
  static_cast<CQelAuxApi*>(self)->Loop();
  return 0;
}

void CQelAuxApi::Loop() {
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue, before the library needs it
  SetEvent(ready_);
  HANDLE waits[2] = {exitRequest_, requestEvent_};
  for (;;) {
    DWORD w = MsgWaitForMultipleObjectsEx(2, waits, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (w == WAIT_OBJECT_0) {
      // The unload: no notification may reach this library any more, and the thread ends
      // inside the wait below (ExitThread queued to it as an APC) without returning into the
      // library, which is unmapped by then.
      if (registerCallback_) registerCallback_(nullptr);
      QueueUserAPC(ExitThreadApc(), GetCurrentThread(), 0);
      SignalObjectAndWait(parked_, GetCurrentThread(), INFINITE, TRUE);
    }
    for (;;) {
      Request* r = nullptr;
      {
        SrwLockGuard hold(requestsLock_);
        if (!requests_.empty()) {
          r = requests_.front();
          requests_.erase(requests_.begin());
        }
      }
      if (!r) break;
      HANDLE done = r->done;
      bool last = r->op == Op::kUnload;  // asked by another thread, which waits for the end
      Serve(*r);
      SetEvent(done);  // r is the caller's again
      if (last) return;
    }
    // The library's COM calls and its power notifications arrive as this thread's messages.
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

long CQelAuxApi::Run(Op op, const char* name, uint32_t* state, uint32_t value, QelHWCallback fn) {
  Request r = {op, name, state, value, fn, kAuxUnreachable, nullptr};
  if (GetCurrentThreadId() == threadId_) {
    Serve(r);  // a notification's callback that calls back into the plug-in
    return r.result;
  }
  if (!thread_) return kAuxUnreachable;
  r.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!r.done) return kAuxUnreachable;
  {
    SrwLockGuard hold(requestsLock_);
    requests_.push_back(&r);
  }
  SetEvent(requestEvent_);
  // A power notification in flight on the library's thread may be sending to this one.
  WaitDispatchingSent(r.done);
  CloseHandle(r.done);
  return r.result;
}

void CQelAuxApi::Serve(Request& r) {
  switch (r.op) {
    case Op::kLoad: {
      HMODULE module = LoadLibraryA(r.name);
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
      r.result = getPower_ ? getPower_(r.state) : kAuxNotOffered;
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
    // Asked from the thread's own delivery, the thread stays for the next load.
    if (GetCurrentThreadId() != threadId_) EndThread();
    return;
  }
  if (module_) return;
  if (!thread_ && !StartThread()) return;
  Run(Op::kLoad, fileName.c_str());
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
  return static_cast<int>(Run(Op::kGetPower, nullptr, state));
}

int CQelAuxApi::SetPower(uint32_t state) {
  if (!module_) return kAuxNotOffered;
  return static_cast<int>(Run(Op::kSetPower, nullptr, nullptr, state));
}

int CQelAuxApi::RegisterCallback(QelHWCallback fn) {
  if (!module_) return kAuxNotOffered;
  return static_cast<int>(Run(Op::kRegisterCallback, nullptr, nullptr, 0, fn));
}

void CQelAuxApi::UnInitialize() {
  if (module_) Run(Op::kUnInitialize);
}

void CQelAuxApi::AbandonAtUnload() {
  if (!thread_) return;
  SetEvent(exitRequest_);
  WaitForSingleObject(parked_, INFINITE);  // it finishes what it runs, then parks
  CloseThreadHandles();
  Unbind();  // the library stays loaded
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
