// The binding of the modem SDK library: loads it by file name, binds its entry points by
// name, opens it with the fixed fallbacks and offers one wrapper per entry point the engine
// calls. A wrapper refuses the call (the SDK is not called, nothing is written) when the SDK
// is not open or its entry point is missing.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "QelSdkEntryPoints.h"

// Wrapper results when a call is refused.
constexpr uint32_t kSdkRefused = 5;
constexpr uint32_t kSdkNotOffered = 1;
// The open result before any open: none of the codes the engine reacts to.
constexpr uint32_t kSdkNoOpenResult = 5;
// Pause between closing the SDK and freeing its library.
constexpr DWORD kSdkClosePauseMs = 100;

class CVeltraSdkApi {
 public:
  CVeltraSdkApi() = default;
  CVeltraSdkApi(const CVeltraSdkApi&) = delete;
  CVeltraSdkApi& operator=(const CVeltraSdkApi&) = delete;
  virtual ~CVeltraSdkApi();
  virtual int Init(int openMode);
  virtual int Open(int openMode);

  int LoadSdk(const char* fileName);
  uint32_t OpenEx(int openMode);
  uint32_t Close();
  const std::string& GetModelName() const { return modelName_; }
  bool IsOpened() const { return opened_ != 0; }
  uint32_t OpenResult() const { return openResult_; }
  HMODULE Module() const { return module_; }
  // The optional entry point is bound (its wrapper refuses with 5 either way).
  bool HasChangeLockPIN() const { return base_.QelChangeLockPIN != nullptr; }
  // Its engine is shutting down: from now on every wrapper refuses (5) on every thread but the
  // one that stops it (0: on every thread), and GetSdkApi no longer returns this object, so a
  // later engine opens an SDK session of its own.
  void Retire(DWORD stopperThread);
  // Returns once no other thread is inside an SDK entry point of this binding: the stopper
  // closes the SDK only then, so the close frees nothing a call in flight still uses.
  void AwaitCallsInFlight() const;

  uint32_t SetCallDisconnectCmd();
  uint32_t ResetModem();
  uint32_t IsModemReady(uint32_t timeout);
  uint32_t SendSMS(uint32_t timeout);
  uint32_t Notify(uint32_t id, uint32_t timeout);
  uint32_t StopNotify(uint32_t id, uint32_t timeout);
  uint32_t RegisterCallback(QelNotifyFn fn);
  uint32_t GetServiceIndication(void* out, uint32_t timeout);
  uint32_t GetESN(void* out, uint32_t timeout);
  uint32_t GetMEIDESN(void* out, uint32_t timeout);
  uint32_t GetPRLVersion(void* out, uint32_t timeout);
  uint32_t GetTemperature(void* out, uint32_t timeout);
  uint32_t GetActivationStatus(void* out, uint32_t timeout);
  uint32_t GetRoamingStatus(void* out, uint32_t timeout);
  uint32_t GetSMSMessageStatus(void* out, uint32_t timeout);
  uint32_t GetCallConnectionState(void* out, uint32_t timeout);
  uint32_t GetLockStatus(void* out, uint32_t timeout);
  uint32_t StoreSMSMessage(const void* in, uint32_t timeout);
  uint32_t PstSetSipUserId(const void* in, uint32_t timeout);
  uint32_t PstSetSipPassword(const void* in, uint32_t timeout);
  uint32_t GetFirmwareVersion(char* buffer, uint32_t size, uint32_t timeout);
  uint32_t GetHardwareVersion(char* buffer, uint32_t size, uint32_t timeout);
  uint32_t GetBootVersion(char* buffer, uint32_t size, uint32_t timeout);
  uint32_t GetDriverVersion(char* buffer, uint32_t size, uint32_t timeout);
  uint32_t PstGetSipUserId(char* buffer, uint32_t size, uint32_t timeout);
  uint32_t PstGetSipPassword(char* buffer, uint32_t size, uint32_t timeout);
  uint32_t GetMobileDirNum(uint16_t nam, char* buffer, uint32_t size, uint32_t timeout);
  uint32_t GetIMSI(uint16_t nam, char* buffer, uint32_t size, uint32_t timeout);
  uint32_t SetMessageRetrieved(uint16_t id, uint32_t timeout);
  uint32_t PstSetCurrentNam(uint16_t nam, uint32_t timeout);
  uint32_t PstUnlock(uint32_t code, uint32_t timeout);
  uint32_t PstGetHomeSidNid(uint16_t nam, void* out, uint32_t timeout);
  uint32_t PstGetSystemPref(uint16_t nam, void* out, uint32_t timeout);
  uint32_t SetMobileDirNum(uint16_t nam, const void* in, uint32_t timeout);
  uint32_t SetIMSI(uint16_t nam, const void* in, uint32_t timeout);
  uint32_t PstSetHomeSidNid(uint16_t nam, const QEL_HOME_SID_NID* record, uint32_t timeout);
  uint32_t RetrieveSMSMessageEx(void* record, uint32_t flag, uint32_t timeout);
  uint32_t SetCallOriginateCmd(uint32_t callType, const char* number, uint32_t timeout);
  uint32_t GetNamInfo(void* count, void* info, uint32_t timeout);
  uint32_t LockModem(const char* code, void* status, uint32_t timeout);
  uint32_t ChangeLockPIN(const char* oldCode, const char* newCode, void* result, uint32_t timeout);
  uint32_t PstLock(uint16_t a, uint16_t b, void* status, void* info, uint32_t timeout);
  uint32_t GetSystemTime(void* t1, void* t2, void* t3, void* t4, void* t5, void* t6, void* t7, uint32_t timeout);
  uint32_t PstGetDsMipGenUser(uint16_t nam, uint16_t size, char* nai, void* haSpiEnable, void* haSpi,
                              void* aaaSpiEnable, void* aaaSpi, void* reverseTunneling, void* homeAddress,
                              void* primaryHa, void* secondaryHa, uint32_t timeout);

 protected:
  // 5 when the SDK is not open or the entry point is not bound; else the entry point's result.
  template <class Fn, class... Args>
  uint32_t CallOpen(Fn fn, Args... args) {
    InFlight call(*this);
    if (!opened_ || !fn || Retired()) return kSdkRefused;
    return fn(args...);
  }
  bool Retired() const { return retired_ && GetCurrentThreadId() != stopperThread_; }
  // Counted before the retirement is looked at, so a call the stopper did not see refuses.
  class InFlight {
   public:
    explicit InFlight(CVeltraSdkApi& api) : count_(api.inFlight_) { ++count_; }
    ~InFlight() { --count_; }
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;

   private:
    std::atomic<long>& count_;
  };

  struct BaseEntryPoints {
#define QEL_SDK_FIELD(name, type, kind) type name = nullptr;
    QEL_SDK_BASE_ENTRY_POINTS(QEL_SDK_FIELD)
#undef QEL_SDK_FIELD
  };
  BaseEntryPoints base_;
  HMODULE module_ = nullptr;
  uint32_t openResult_ = kSdkNoOpenResult;
  int32_t opened_ = 0;
  std::string modelName_;
  std::atomic<bool> retired_{false};
  std::atomic<DWORD> stopperThread_{0};
  std::atomic<long> inFlight_{0};
};

class CVeltraSdkApiEVDO : public CVeltraSdkApi {
 public:
  ~CVeltraSdkApiEVDO() override;
  int Init(int openMode) override;
  int Open(int openMode) override;

  uint32_t GetRssiEcio(void* out, uint32_t timeout);
  uint32_t GetHdrSrvState(void* out, uint32_t timeout);
  uint32_t GetHdrRoamStatus(void* out, uint32_t timeout);
  uint32_t SetHdrHybrPref(uint16_t value, uint32_t timeout);
  uint32_t GetHdrHybrPref(void* out, uint32_t timeout);
  uint32_t PstGetDsQcMip(void* out, uint32_t timeout);
  uint32_t PstSetDsQcMip(uint16_t value, uint32_t timeout);
  uint32_t PstGetAccolc(uint16_t nam, void* out, uint32_t timeout);
  uint32_t PstSetAccolc(uint16_t nam, uint16_t value, uint32_t timeout);
  uint32_t PstGetPrefMode(uint16_t nam, void* out, uint32_t timeout);
  uint32_t PstSetPrefMode(uint16_t nam, uint16_t value, uint32_t timeout);
  uint32_t PstGetSci(void* out, uint32_t timeout);
  uint32_t GetTechPacketZone(void* out, uint32_t timeout);
  uint32_t GetERIVer(const char* name, void* out, uint32_t timeout);
  uint32_t SetPower(uint32_t mode);
  uint32_t GetPower(void* out);
  uint32_t GetNDISMode(void* out);
  uint32_t SetNDISPrefMode(uint32_t mode);
  uint32_t PstSetDsMipSsUserProf(uint16_t nam, uint16_t haLength, const uint8_t* ha, uint16_t aaaLength,
                                 const uint8_t* aaa, uint32_t timeout);
  uint32_t PstGetDsMipSsUserProf(uint16_t nam, uint8_t* ha, uint16_t* haLength, uint16_t haCapacity, uint8_t* aaa,
                                 uint16_t* aaaLength, uint16_t aaaCapacity, uint32_t timeout);
  uint32_t SetPRL(uint16_t nam, const void* data, uint16_t length, uint32_t timeout);
  uint32_t VerifyUpgradeRequired(const char* path, void* status, char* buffer, void* length, uint32_t timeout);
  uint32_t SetAutoconnect(uint16_t value, uint32_t timeout);

 private:
  // 5 when the SDK is not open, 1 when the entry point is not bound.
  template <class Fn, class... Args>
  uint32_t CallOffered(Fn fn, Args... args) {
    InFlight call(*this);
    if (!opened_ || Retired()) return kSdkRefused;
    if (!fn) return kSdkNotOffered;
    return fn(args...);
  }

  struct EvdoEntryPoints {
#define QEL_SDK_FIELD(name, type, kind) type name = nullptr;
    QEL_SDK_EVDO_ENTRY_POINTS(QEL_SDK_FIELD)
#undef QEL_SDK_FIELD
  };
  EvdoEntryPoints evdo_;
};

// The process-wide binding: made (and opened with openMode) by the first call after none
// exists; later calls return it unchanged. Deleting it clears the slot.
CVeltraSdkApi* GetSdkApi(int openMode);
// The binding GetSdkApi would return, or null; does not create one.
CVeltraSdkApi* CurrentSdkApi();

// The model name of an open record's model code.
const char* SdkModelName(uint32_t modelCode);
