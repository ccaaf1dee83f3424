#include "AuxApi.h"

namespace {

template <class Fn>
void Bind(HMODULE module, Fn* fn, const char* name) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

CQelAuxApi& AuxApi() {
  static CQelAuxApi api;
  return api;
}

CQelAuxApi::~CQelAuxApi() { Load(""); }

void CQelAuxApi::Abandon() {
  module_ = nullptr;  // not freed
  Load("");           // clears the entry points
}

void CQelAuxApi::Load(std::string fileName) {
  if (fileName.empty()) {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
    initialize_ = nullptr;
    unInitialize_ = nullptr;
    getOemIdStr_ = nullptr;
    getPower_ = nullptr;
    registerCallback_ = nullptr;
    setPower_ = nullptr;
    ownerThread_ = 0;
    return;
  }
  if (module_) return;
  module_ = LoadLibraryA(fileName.c_str());
  if (!module_) return;
  Bind(module_, &initialize_, "QelHWInitialize");
  Bind(module_, &unInitialize_, "QelHWUnInitialize");
  Bind(module_, &getOemIdStr_, "QelHWGetOEMIDStrA");
  Bind(module_, &getPower_, "QelHWGetPower");
  Bind(module_, &registerCallback_, "QelHWRegisterCallback");
  Bind(module_, &setPower_, "QelHWSetPower");
}

HRESULT CQelAuxApi::Initialize() {
  if (!initialize_) return -1;
  HRESULT r = initialize_();
  ownerThread_ = GetCurrentThreadId();
  if (r < 0) return r;
  uint32_t state = 0;
  if (GetPower(&state) != 0) return E_FAIL;
  return r;
}

int CQelAuxApi::GetPower(uint32_t* state) {
  if (!getPower_ || !OnOwnerThread()) return kAuxNotOffered;
  return getPower_(state);
}

int CQelAuxApi::SetPower(uint32_t state) {
  if (!setPower_ || !OnOwnerThread()) return kAuxNotOffered;
  return setPower_(state);
}

int CQelAuxApi::RegisterCallback(QelHWCallback fn) {
  if (!registerCallback_) return kAuxNotOffered;
  return registerCallback_(fn);
}

void CQelAuxApi::UnInitialize() {
  if (unInitialize_) unInitialize_();
  ownerThread_ = 0;
}
