// The binding of the radio power client library "qelvxaux.dll": loaded by file name, its six
// exports bound by name, one wrapper per export that answers 1 when the export is missing.
// The library's power calls belong to the thread that initialised it (its apartment): from
// any other thread the power wrappers answer 1, as for an absent library, and the caller
// falls back to the SDK.
#pragma once
#include <windows.h>

#include <string>

#include "QelVxAux.h"

constexpr int kAuxNotOffered = 1;

class CQelAuxApi {
 public:
  CQelAuxApi() = default;
  CQelAuxApi(const CQelAuxApi&) = delete;
  CQelAuxApi& operator=(const CQelAuxApi&) = delete;
  virtual ~CQelAuxApi();

  // Non-empty name: loads and binds when nothing is loaded. Empty name: unloads.
  void Load(std::string fileName);
  bool IsLoaded() const { return module_ != nullptr; }
  // QelHWInitialize, then a power probe: -1 when unbound, its negative HRESULT, E_FAIL when the
  // probe fails, else its result.
  HRESULT Initialize();
  int GetPower(uint32_t* state);
  int SetPower(uint32_t state);
  int RegisterCallback(QelHWCallback fn);
  void UnInitialize();
  // Forgets the library without freeing it (for the loader-lock context of an unload, where
  // its COM state cannot be undone: it stays loaded, with no function registered).
  void Abandon();
  // The thread whose QelHWInitialize the library belongs to (0 before one).
  DWORD OwnerThread() const { return ownerThread_; }

 private:
  bool OnOwnerThread() const { return ownerThread_ == 0 || ownerThread_ == GetCurrentThreadId(); }

  HMODULE module_ = nullptr;
  PFN_QelHWInitialize initialize_ = nullptr;
  PFN_QelHWUnInitialize unInitialize_ = nullptr;
  PFN_QelHWGetOEMIDStrA getOemIdStr_ = nullptr;
  PFN_QelHWGetPower getPower_ = nullptr;
  PFN_QelHWRegisterCallback registerCallback_ = nullptr;
  PFN_QelHWSetPower setPower_ = nullptr;
  DWORD ownerThread_ = 0;
};

// The process-wide binding.
CQelAuxApi& AuxApi();
