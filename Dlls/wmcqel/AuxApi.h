// The binding of the radio power client library "qelvxaux.dll": loaded by file name, its six
// exports bound by name, one wrapper per export that answers 1 when the export is missing.
// The library belongs to the thread that initialises it (its COM apartment, where its power
// notifications arrive), so a thread of the plug-in's own loads, initialises and calls it:
// every wrapper runs there for whichever thread calls it, and the thread's message loop
// delivers the library's power notifications.
#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "QelVxAux.h"

constexpr int kAuxNotOffered = 1;
// A wrapper whose call could not be handed to the library's thread: a failure of the power
// call (the client library's own QELHW_ERR_FAILED).
constexpr int kAuxUnreachable = 5;

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
  int RegisterCallback(QelHWCallback fn);
  void UnInitialize();
  // The plug-in's unload, under the loader lock: the library's thread removes the function,
  // then ends without running code of this library again. The library stays loaded with its
  // COM state as it is, since neither can be undone there.
  void AbandonAtUnload();

 private:
  enum class Op { kLoad, kInitialize, kGetPower, kSetPower, kRegisterCallback, kUnInitialize, kUnload };
  struct Request {
    Op op;
    const char* name;
    uint32_t* state;
    uint32_t value;
    QelHWCallback fn;
    long result;
    HANDLE done;
  };
  // Runs the request on the library's thread (at once when called there), waiting for it.
  long Run(Op op, const char* name = nullptr, uint32_t* state = nullptr, uint32_t value = 0,
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

  std::atomic<HMODULE> module_{nullptr};
  PFN_QelHWInitialize initialize_ = nullptr;
  PFN_QelHWUnInitialize unInitialize_ = nullptr;
  PFN_QelHWGetOEMIDStrA getOemIdStr_ = nullptr;
  PFN_QelHWGetPower getPower_ = nullptr;
  PFN_QelHWRegisterCallback registerCallback_ = nullptr;
  PFN_QelHWSetPower setPower_ = nullptr;
  HANDLE thread_ = nullptr;
  std::atomic<DWORD> threadId_{0};
  HANDLE ready_ = nullptr;        // the thread's message queue exists
  HANDLE exitRequest_ = nullptr;  // the unload asks the thread to end
  HANDLE parked_ = nullptr;       // the thread runs no code of ours any more
  // Requests wait in a list of their own, not in the message queue, where a modal loop of
  // the library's COM calls would dispatch (and drop) them.
  SRWLOCK requestsLock_ = SRWLOCK_INIT;
  std::vector<Request*> requests_;
  HANDLE requestEvent_ = nullptr;
};

// The process-wide binding.
CQelAuxApi& AuxApi();
