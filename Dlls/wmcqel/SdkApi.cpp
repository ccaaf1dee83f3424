#include "SdkApi.h"

#include <cstring>
#include <new>

#include "SdkApiTestSeams.h"

namespace {

CVeltraSdkApi* g_sdkApi = nullptr;
DWORD g_closePauseMs = kSdkClosePauseMs;
bool g_unavailable = false;

// The fixed application pass phrase of open mode 11.
const char kPassphrase[] = "Tq7&Hv2Lr9!mBx4%";
static_assert(sizeof kPassphrase == 17, "16 printable characters");

template <class Fn>
void Bind(HMODULE module, Fn* fn, const char* name) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void SetSdkClosePause(DWORD ms) { g_closePauseMs = ms; }
void SetSdkApiUnavailable(bool unavailable) { g_unavailable = unavailable; }

const char* SdkModelName(uint32_t modelCode) {
  switch (modelCode) {
    case 16: return "PN2210";
    case 17: return "LP2240";
    case 19: return "KX310";
    case 20: return "LP2250";
    case 22: return "KX330E";
    case 23: return "KX310U";
    case 24: return "PN2230";
    case 25: return "KX330";
    default: return "Unknown model";
  }
}

CVeltraSdkApi* GetSdkApi(int openMode) {
  if (g_sdkApi) return g_sdkApi;
  CVeltraSdkApiEVDO* api = g_unavailable ? nullptr : new (std::nothrow) CVeltraSdkApiEVDO();
  if (!api) return nullptr;
  g_sdkApi = api;
  api->Init(openMode);  // the object is returned whether or not the SDK opened
  return api;
}

CVeltraSdkApi* CurrentSdkApi() { return g_sdkApi; }

CVeltraSdkApi::~CVeltraSdkApi() {
  Close();
  if (module_) {
    if (g_closePauseMs) Sleep(g_closePauseMs);
    FreeLibrary(module_);
    module_ = nullptr;
  }
  if (g_sdkApi == this) g_sdkApi = nullptr;
}

void CVeltraSdkApi::Retire(DWORD stopperThread) {
  stopperThread_ = stopperThread;
  retired_ = true;
  if (stopperThread == 0) opened_ = 0;
  if (g_sdkApi == this) g_sdkApi = nullptr;
}

void CVeltraSdkApi::AwaitCallsInFlight() const {
  // Only the stopper's own calls may be counted then, and it makes none while it waits. The
  // calls end within the SDK's time-outs; the stopper is a thread of ours and may poll.
  while (inFlight_.load() > 0) Sleep(1);
}

int CVeltraSdkApi::LoadSdk(const char* fileName) {
  if (!module_) {
    HMODULE module = LoadLibraryA(fileName);
    if (!module) return 0;
    module_ = module;
#define QEL_SDK_BIND(name, type, kind) Bind(module_, &base_.name, #name);
    QEL_SDK_BASE_ENTRY_POINTS(QEL_SDK_BIND)
#undef QEL_SDK_BIND
  }
  bool complete = true;
#define QEL_SDK_REQUIRED_REQUIRED(name) complete = complete && base_.name != nullptr;
#define QEL_SDK_REQUIRED_OPTIONAL(name)
#define QEL_SDK_CHECK(name, type, kind) QEL_SDK_REQUIRED_##kind(name)
  QEL_SDK_BASE_ENTRY_POINTS(QEL_SDK_CHECK)
#undef QEL_SDK_CHECK
#undef QEL_SDK_REQUIRED_OPTIONAL
#undef QEL_SDK_REQUIRED_REQUIRED
  return complete ? 1 : 0;
}

uint32_t CVeltraSdkApi::OpenEx(int openMode) {
  openResult_ = kSdkRefused;
  if (!base_.QelApiOpenEx || Retired()) return openResult_;
  if (openMode == QEL_OPEN_MODE_PASSPHRASE) {
    char passphrase[sizeof kPassphrase];
    std::memcpy(passphrase, kPassphrase, sizeof passphrase);
    openResult_ = base_.QelApiOpenEx(openMode, passphrase);
  } else {
    uint8_t record[kSdkOpenRecordSize] = {};
    openResult_ = base_.QelApiOpenEx(openMode, record);
    if (openResult_ == 0) {
      uint32_t model;
      std::memcpy(&model, record + kSdkOpenRecordModelOffset, sizeof model);
      modelName_ = SdkModelName(model);
    }
  }
  if (openResult_ == 0) opened_ = 1;
  return openResult_;
}

int CVeltraSdkApi::Open(int) {
  uint32_t r = OpenEx(QEL_OPEN_MODE_CDMA1X);
  if (r == QEL_RESULT_OPEN_RETRY || r == kSdkRefused) {
    Close();
    r = OpenEx(QEL_OPEN_MODE_PASSPHRASE);
  }
  return static_cast<int>(r);
}

int CVeltraSdkApi::Init(int) {
  if (!LoadSdk("Qel_Cdma1x.dll")) return 0;
  return Open(0) == 0 ? 1 : 0;
}

uint32_t CVeltraSdkApi::Close() {
  uint32_t r = CallOpen(base_.QelApiClose);
  if (r == 0) opened_ = 0;
  return r;
}

uint32_t CVeltraSdkApi::SetCallDisconnectCmd() { return CallOpen(base_.QelSetCallDisconnectCmd); }
uint32_t CVeltraSdkApi::ResetModem() { return CallOpen(base_.QelResetModem); }
uint32_t CVeltraSdkApi::IsModemReady(uint32_t t) { return CallOpen(base_.QelIsModemReady, t); }
uint32_t CVeltraSdkApi::SendSMS(uint32_t t) { return CallOpen(base_.QelSendSMS, t); }
uint32_t CVeltraSdkApi::Notify(uint32_t id, uint32_t t) { return CallOpen(base_.QelNotify, id, t); }
uint32_t CVeltraSdkApi::StopNotify(uint32_t id, uint32_t t) { return CallOpen(base_.QelStopNotify, id, t); }
// Registered without a mask: mask 0 asks for every id.
uint32_t CVeltraSdkApi::RegisterCallback(QelNotifyFn fn) { return CallOpen(base_.QelRegisterCallback, fn, uint64_t{0}); }
uint32_t CVeltraSdkApi::GetServiceIndication(void* o, uint32_t t) { return CallOpen(base_.QelGetServiceIndication, o, t); }
uint32_t CVeltraSdkApi::GetESN(void* o, uint32_t t) { return CallOpen(base_.QelGetESN, o, t); }
uint32_t CVeltraSdkApi::GetMEIDESN(void* o, uint32_t t) { return CallOpen(base_.QelGetMEIDESN, o, t); }
uint32_t CVeltraSdkApi::GetPRLVersion(void* o, uint32_t t) { return CallOpen(base_.QelGetPRLVersion, o, t); }
uint32_t CVeltraSdkApi::GetTemperature(void* o, uint32_t t) { return CallOpen(base_.QelGetTemperature, o, t); }
uint32_t CVeltraSdkApi::GetActivationStatus(void* o, uint32_t t) { return CallOpen(base_.QelGetActivationStatus, o, t); }
uint32_t CVeltraSdkApi::GetRoamingStatus(void* o, uint32_t t) { return CallOpen(base_.QelGetRoamingStatus, o, t); }
uint32_t CVeltraSdkApi::GetSMSMessageStatus(void* o, uint32_t t) { return CallOpen(base_.QelGetSMSMessageStatus, o, t); }
uint32_t CVeltraSdkApi::GetCallConnectionState(void* o, uint32_t t) {
  return CallOpen(base_.QelGetCallConnectionState, o, t);
}
uint32_t CVeltraSdkApi::GetLockStatus(void* o, uint32_t t) { return CallOpen(base_.QelGetLockStatus, o, t); }
uint32_t CVeltraSdkApi::StoreSMSMessage(const void* i, uint32_t t) { return CallOpen(base_.QelStoreSMSMessage, i, t); }
uint32_t CVeltraSdkApi::PstSetSipUserId(const void* i, uint32_t t) { return CallOpen(base_.QelPstSetSipUserId, i, t); }
uint32_t CVeltraSdkApi::PstSetSipPassword(const void* i, uint32_t t) { return CallOpen(base_.QelPstSetSipPassword, i, t); }
uint32_t CVeltraSdkApi::GetFirmwareVersion(char* b, uint32_t s, uint32_t t) {
  return CallOpen(base_.QelGetFirmwareVersion, b, s, t);
}
uint32_t CVeltraSdkApi::GetHardwareVersion(char* b, uint32_t s, uint32_t t) {
  return CallOpen(base_.QelGetHardwareVersion, b, s, t);
}
uint32_t CVeltraSdkApi::GetBootVersion(char* b, uint32_t s, uint32_t t) { return CallOpen(base_.QelGetBootVersion, b, s, t); }
uint32_t CVeltraSdkApi::GetDriverVersion(char* b, uint32_t s, uint32_t t) {
  return CallOpen(base_.QelGetDriverVersion, b, s, t);
}
uint32_t CVeltraSdkApi::PstGetSipUserId(char* b, uint32_t s, uint32_t t) { return CallOpen(base_.QelPstGetSipUserId, b, s, t); }
uint32_t CVeltraSdkApi::PstGetSipPassword(char* b, uint32_t s, uint32_t t) {
  return CallOpen(base_.QelPstGetSipPassword, b, s, t);
}
uint32_t CVeltraSdkApi::GetMobileDirNum(uint16_t n, char* b, uint32_t s, uint32_t t) {
  return CallOpen(base_.QelGetMobileDirNum, n, b, s, t);
}
uint32_t CVeltraSdkApi::GetIMSI(uint16_t n, char* b, uint32_t s, uint32_t t) { return CallOpen(base_.QelGetIMSI, n, b, s, t); }
uint32_t CVeltraSdkApi::SetMessageRetrieved(uint16_t id, uint32_t t) { return CallOpen(base_.QelSetMessageRetrieved, id, t); }
uint32_t CVeltraSdkApi::PstSetCurrentNam(uint16_t n, uint32_t t) { return CallOpen(base_.QelPstSetCurrentNam, n, t); }
uint32_t CVeltraSdkApi::PstUnlock(uint32_t c, uint32_t t) { return CallOpen(base_.QelPstUnlock, c, t); }
uint32_t CVeltraSdkApi::PstGetHomeSidNid(uint16_t n, void* o, uint32_t t) { return CallOpen(base_.QelPstGetHomeSidNid, n, o, t); }
uint32_t CVeltraSdkApi::PstGetSystemPref(uint16_t n, void* o, uint32_t t) { return CallOpen(base_.QelPstGetSystemPref, n, o, t); }
uint32_t CVeltraSdkApi::SetMobileDirNum(uint16_t n, const void* i, uint32_t t) {
  return CallOpen(base_.QelSetMobileDirNum, n, i, t);
}
uint32_t CVeltraSdkApi::SetIMSI(uint16_t n, const void* i, uint32_t t) { return CallOpen(base_.QelSetIMSI, n, i, t); }
uint32_t CVeltraSdkApi::PstSetHomeSidNid(uint16_t n, const QEL_HOME_SID_NID* record, uint32_t t) {
  InFlight call(*this);
  if (!opened_ || !base_.QelPstSetHomeSidNid || Retired()) return kSdkRefused;
  QEL_HOME_SID_NID copy = *record;  // the SDK takes the record by value
  return base_.QelPstSetHomeSidNid(n, copy, t);
}
uint32_t CVeltraSdkApi::RetrieveSMSMessageEx(void* r, uint32_t f, uint32_t t) {
  return CallOpen(base_.QelRetrieveSMSMessageEx, r, f, t);
}
uint32_t CVeltraSdkApi::SetCallOriginateCmd(uint32_t c, const char* n, uint32_t t) {
  return CallOpen(base_.QelSetCallOriginateCmd, c, n, t);
}
uint32_t CVeltraSdkApi::GetNamInfo(void* c, void* i, uint32_t t) { return CallOpen(base_.QelGetNamInfo, c, i, t); }
uint32_t CVeltraSdkApi::LockModem(const char* c, void* s, uint32_t t) { return CallOpen(base_.QelLockModem, c, s, t); }
uint32_t CVeltraSdkApi::ChangeLockPIN(const char* o, const char* n, void* r, uint32_t t) {
  return CallOpen(base_.QelChangeLockPIN, o, n, r, t);
}
uint32_t CVeltraSdkApi::PstLock(uint16_t a, uint16_t b, void* s, void* i, uint32_t t) {
  return CallOpen(base_.QelPstLock, a, b, s, i, t);
}
uint32_t CVeltraSdkApi::GetSystemTime(void* a, void* b, void* c, void* d, void* e, void* f, void* g, uint32_t t) {
  return CallOpen(base_.QelGetSystemTime, a, b, c, d, e, f, g, t);
}
uint32_t CVeltraSdkApi::PstGetDsMipGenUser(uint16_t n, uint16_t s, char* nai, void* a, void* b, void* c, void* d,
                                           void* e, void* f, void* g, void* h, uint32_t t) {
  return CallOpen(base_.QelPstGetDsMipGenUser, n, s, nai, a, b, c, d, e, f, g, h, t);
}

CVeltraSdkApiEVDO::~CVeltraSdkApiEVDO() = default;  // the base destructor closes and frees

int CVeltraSdkApiEVDO::Init(int openMode) {
  if (!LoadSdk("Qel_Evdomx.dll")) return 0;
#define QEL_SDK_BIND(name, type, kind) Bind(module_, &evdo_.name, #name);
  QEL_SDK_EVDO_ENTRY_POINTS(QEL_SDK_BIND)
#undef QEL_SDK_BIND
  return Open(openMode) == 0 ? 1 : 0;
}

int CVeltraSdkApiEVDO::Open(int openMode) {
  if (openMode != 0) return static_cast<int>(OpenEx(openMode));
  uint32_t r = OpenEx(QEL_OPEN_MODE_EVDO_FIRST);
  if (r != QEL_RESULT_OPEN_RETRY && r != kSdkRefused) return static_cast<int>(r);
  Close();
  return static_cast<int>(OpenEx(QEL_OPEN_MODE_EVDO_FALLBACK));
}

uint32_t CVeltraSdkApiEVDO::GetRssiEcio(void* o, uint32_t t) { return CallOpen(evdo_.QelGetRssiEcio, o, t); }
uint32_t CVeltraSdkApiEVDO::GetHdrSrvState(void* o, uint32_t t) { return CallOpen(evdo_.QelGetHdrSrvState, o, t); }
uint32_t CVeltraSdkApiEVDO::GetHdrRoamStatus(void* o, uint32_t t) { return CallOpen(evdo_.QelGetHdrRoamStatus, o, t); }
uint32_t CVeltraSdkApiEVDO::SetHdrHybrPref(uint16_t v, uint32_t t) { return CallOpen(evdo_.QelSetHdrHybrPref, v, t); }
uint32_t CVeltraSdkApiEVDO::GetHdrHybrPref(void* o, uint32_t t) { return CallOpen(evdo_.QelGetHdrHybrPref, o, t); }
uint32_t CVeltraSdkApiEVDO::PstGetDsQcMip(void* o, uint32_t t) { return CallOpen(evdo_.QelPstGetDsQcMip, o, t); }
uint32_t CVeltraSdkApiEVDO::PstSetDsQcMip(uint16_t v, uint32_t t) { return CallOpen(evdo_.QelPstSetDsQcMip, v, t); }
uint32_t CVeltraSdkApiEVDO::PstGetAccolc(uint16_t n, void* o, uint32_t t) { return CallOpen(evdo_.QelPstGetAccolc, n, o, t); }
uint32_t CVeltraSdkApiEVDO::PstSetAccolc(uint16_t n, uint16_t v, uint32_t t) { return CallOpen(evdo_.QelPstSetAccolc, n, v, t); }
uint32_t CVeltraSdkApiEVDO::PstGetPrefMode(uint16_t n, void* o, uint32_t t) { return CallOpen(evdo_.QelPstGetPrefMode, n, o, t); }
uint32_t CVeltraSdkApiEVDO::PstSetPrefMode(uint16_t n, uint16_t v, uint32_t t) {
  return CallOpen(evdo_.QelPstSetPrefMode, n, v, t);
}
uint32_t CVeltraSdkApiEVDO::PstGetSci(void* o, uint32_t t) { return CallOpen(evdo_.QelPstGetSci, o, t); }
uint32_t CVeltraSdkApiEVDO::GetTechPacketZone(void* o, uint32_t t) { return CallOpen(evdo_.QelGetTechPacketZone, o, t); }
uint32_t CVeltraSdkApiEVDO::GetERIVer(const char* n, void* o, uint32_t t) { return CallOpen(evdo_.QelGetERIVer, n, o, t); }
uint32_t CVeltraSdkApiEVDO::SetPower(uint32_t m) { return CallOffered(evdo_.QelSetPower, m); }
uint32_t CVeltraSdkApiEVDO::GetPower(void* o) { return CallOffered(evdo_.QelGetPower, o); }
uint32_t CVeltraSdkApiEVDO::GetNDISMode(void* o) { return CallOffered(evdo_.QelGetNDISMode, o); }
uint32_t CVeltraSdkApiEVDO::SetNDISPrefMode(uint32_t m) { return CallOffered(evdo_.QelSetNDISPrefMode, m); }
uint32_t CVeltraSdkApiEVDO::PstSetDsMipSsUserProf(uint16_t n, uint16_t hl, const uint8_t* ha, uint16_t al,
                                                  const uint8_t* aaa, uint32_t t) {
  return CallOffered(evdo_.QelPstSetDsMipSsUserProf, n, hl, ha, al, aaa, t);
}
uint32_t CVeltraSdkApiEVDO::PstGetDsMipSsUserProf(uint16_t n, uint8_t* ha, uint16_t* hl, uint16_t hc, uint8_t* aaa,
                                                  uint16_t* al, uint16_t ac, uint32_t t) {
  return CallOffered(evdo_.QelPstGetDsMipSsUserProf, n, ha, hl, hc, aaa, al, ac, t);
}
uint32_t CVeltraSdkApiEVDO::SetPRL(uint16_t n, const void* d, uint16_t l, uint32_t t) {
  return CallOffered(evdo_.QelSetPRL, n, d, l, t);
}
uint32_t CVeltraSdkApiEVDO::VerifyUpgradeRequired(const char* p, void* s, char* b, void* l, uint32_t t) {
  InFlight call(*this);
  if (Retired()) return kSdkRefused;
  if (!evdo_.QelVerifyUpgradeRequired) return kSdkNotOffered;  // no open check
  return evdo_.QelVerifyUpgradeRequired(p, s, b, l, t);
}
uint32_t CVeltraSdkApiEVDO::SetAutoconnect(uint16_t v, uint32_t t) { return CallOffered(evdo_.QelSetAutoconnect, v, t); }
