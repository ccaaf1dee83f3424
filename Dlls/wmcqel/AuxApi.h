// The binding of the radio power client library "qelvxaux.dll": loaded by file name, its six
// exports bound by name, one wrapper per export that answers 1 when the export is missing.
// The library belongs to the thread that initialises it (its COM apartment, where its power
// notifications arrive), so a thread of the plug-in's own loads, initialises and calls it:
// every wrapper runs there for whichever thread calls it, waiting a bounded time, and the
// thread's message loop receives the library's power notifications. That thread never calls
// the host: each record is handed to a short-lived relay thread, which calls the registered
// function, so a host callback may block or call any export without stalling the library.
#pragma once
#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "QelVxAux.h"

constexpr int kAuxNotOffered = 1;
// A wrapper whose call could not be handed to the library's thread, or was not done there in
// time: a failure of the power call (the client library's own QELHW_ERR_FAILED).
constexpr int kAuxUnreachable = 5;
// The longest a caller waits for its call on the library's thread.
constexpr DWORD kAuxCallWaitMs = 10000;
// The unload's wait for the library's thread to stop running code of this library.
constexpr DWORD kAuxParkWaitMs = 2000;

class CQelAuxApi {
 public:
  CQelAuxApi() = default;
  CQelAuxApi(const CQelAuxApi&) = delete;
  CQelAuxApi& operator=(const CQelAuxApi&) = delete;
  virtual ~CQelAuxApi();

  // Non-empty name: loads and binds when nothing is loaded. Empty name: unloads, and the
  // library's thread ends.
  void Load(std::string fileName);
  bool IsLoaded() const { return module_ != nullptr; }
  // QelHWInitialize, then a power probe: -1 when unbound, its negative HRESULT, E_FAIL when the
  // probe fails, else its result.
  HRESULT Initialize();
  int GetPower(uint32_t* state);
  int SetPower(uint32_t state);
  // The library calls a relay of ours; the relay thread calls fn.
  int RegisterCallback(QelHWCallback fn);
  void UnInitialize();
  // The plug-in's unload, under the loader lock: runs nothing of the client library here and
  // waits only a bounded time. The library's thread removes the callback, uninitialises and
  // frees the library, and ends, all without returning into this image.
  void AbandonAtUnload();

 private:
  enum class Op { kLoad, kInitialize, kGetPower, kSetPower, kRegisterCallback, kUnInitialize, kUnload };
  struct Request;
  // Runs the request on the library's thread (at once when called there), waiting for it at
  // most the call wait; kAuxUnreachable (E_FAIL for the initialisation) when it did not end.
  long Run(Op op, const std::string& name = std::string(), uint32_t* state = nullptr, uint32_t value = 0,
           QelHWCallback fn = nullptr);
  void Serve(Request& r);
  // Every field cleared; the module it held (not freed).
  HMODULE Unbind();
  bool StartThread();
  void EndThread();
  // The thread's handle and its events, once the thread runs no code of ours.
  void CloseThreadHandles();
  static DWORD WINAPI ThreadMain(void* self);
  void Loop();
  // The relay: the library's thread queues each record, a thread of ours delivers them.
  static void __cdecl RelayRecord(QelHWNotifyRecord* record);
  static DWORD WINAPI RelayMain(void* module);

  std::atomic<HMODULE> module_{nullptr};
  PFN_QelHWInitialize initialize_ = nullptr;
  PFN_QelHWUnInitialize unInitialize_ = nullptr;
  PFN_QelHWGetOEMIDStrA getOemIdStr_ = nullptr;
  PFN_QelHWGetPower getPower_ = nullptr;
  PFN_QelHWRegisterCallback registerCallback_ = nullptr;
  PFN_QelHWSetPower setPower_ = nullptr;
  HANDLE thread_ = nullptr;
  std::atomic<DWORD> threadId_{0};
  HANDLE ready_ = nullptr;   // the thread's message queue exists
  HANDLE parked_ = nullptr;  // the thread runs no code of ours any more
  // Owned by the library's thread while it lives: a thread of a later load of this library
  // takes the client library only once the one before has given it up.
  HANDLE owner_ = nullptr;
  // Requests wait in a list of their own, not in the message queue, where a modal loop of
  // the library's COM calls would dispatch (and drop) them.
  SRWLOCK requestsLock_ = SRWLOCK_INIT;
  std::vector<std::shared_ptr<Request>> requests_;
  HANDLE requestEvent_ = nullptr;

  SRWLOCK relayLock_ = SRWLOCK_INIT;
  std::deque<QelHWNotifyRecord> relayed_;
  std::atomic<QelHWCallback> hostFn_{nullptr};
  bool relayRunning_ = false;
  bool unloading_ = false;
};

// The process-wide binding.
CQelAuxApi& AuxApi();
