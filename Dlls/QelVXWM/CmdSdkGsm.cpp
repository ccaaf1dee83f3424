#include "CmdSdkGsm.h"

#include "CmdXml.h"
#include "CriticalSection.h"
#include "FunctionTrace.h"
#include "QelVxAux.h"
#include "SafeString.h"
#include "devurezazeve.h"
#ifdef QELVXWM_GSM_ONLY
#include "ModuleLog.h"
#endif

CCmdSdkGsm* CCmdSdkGsm::Current = nullptr;
SRWLOCK CCmdSdkGsm::CurrentLock = SRWLOCK_INIT;
DWORD CCmdSdkGsm::SimWaitMs = 20000;

namespace {

#ifndef QELVXWM_GSM_ONLY
constexpr uint32_t kNewerSimStatus = QEL_NOTIFY_SimStatusExp;
#else
constexpr uint32_t kNewerSimStatus = QEL_NOTIFY_SimStatusExp_R6;
#endif

bool IsSimStatus(uint32_t id) {
#ifndef QELVXWM_GSM_ONLY
  return id == QEL_NOTIFY_SimStatusExp_OLD || id == QEL_NOTIFY_SimStatusExp;
#else
  return id == QEL_NOTIFY_SimStatusExp_OLD || id == QEL_NOTIFY_SimStatusExp_R6;
#endif
}

uint32_t ModelFromCardType(uint32_t card) {
#ifndef QELVXWM_GSM_ONLY
  switch (card) {
    case 12: return 100;
    case 13: return 101;
    case 19: case 20: case 21: return 102;
    default: return 0;
  }
#else
  switch (card) {
    case 11: return 100;
    case 12: return 101;
    case 19: case 20: return 102;
    default: return 0;
  }
#endif
}

const wchar_t* ModelName(uint32_t code) {
  switch (code) {
    case 100: return L"LP4410";
    case 101: return L"LP4420";
    case 102: return L"LP4430";
    default: return L"UNKNOWN";
  }
}

uint32_t CallText(FARPROC entry, wchar_t* field, uint32_t size) {
  uint32_t rc = reinterpret_cast<PFN_QelGetWideText>(reinterpret_cast<void*>(entry))(field, size, kSdkTimeout);
  field[size - 1] = 0;  // whatever the library wrote, the field stays terminated
  if (rc) field[0] = 0;  // a failed read leaves nothing behind
  return rc;
}

}  // namespace

CCmdSdkGsm::CCmdSdkGsm() {
  FUNCTION_TRACE("CCmdSdkGsm::CCmdSdkGsm");
  SrwLockGuard hold(CurrentLock);
  Current = this;
}

CCmdSdkGsm::~CCmdSdkGsm() {
  FUNCTION_TRACE("CCmdSdkGsm::~CCmdSdkGsm");
  {
    SrwLockGuard hold(CurrentLock);  // waits for a delivery in flight
    if (Current == this) Current = nullptr;
  }
#ifdef QELVXWM_GSM_ONLY
  CloseSdk();
  ReleaseLibrary();
#endif
  SimEvent.reset();
}

#ifdef QELVXWM_GSM_ONLY
namespace {
CCmdSdkGsm* g_gsm = nullptr;
}
CCmdSdkGsm* CCmdSdkGsm::Instance() {
  if (!g_gsm) g_gsm = new CCmdSdkGsm();
  return g_gsm;
}
void CCmdSdkGsm::DeleteInstance() {
  FUNCTION_TRACE("CCmdSdkGsm::DeleteInstance");
  delete g_gsm;
  g_gsm = nullptr;
}
#endif

bool CCmdSdkGsm::Fail() {
  ReleaseLibrary();
  QelGetSerialNumber = QelGetImei = nullptr;
  QelGetAvailDev = nullptr;
  QelGetIMSI = nullptr;
  QelGetIccId = QelGetZolvanType = nullptr;
  return false;
}

bool CCmdSdkGsm::Initialize(const wchar_t* directory) {
  FUNCTION_TRACE("CCmdSdkGsm::Initialize");
  if (SdkLibrary) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"SDK already initialized");
    return true;
  }
  SdkDirectory = directory ? directory : L"";
  SdkLibrary = LoadFromDirectory(L"Qel32_KX450.dll");
#ifdef QELVXWM_GSM_ONLY
  if (!SdkLibrary) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"R4 Win32 API not available, try Win64");
    SdkLibrary = LoadFromDirectory(L"Qel64GSMU.dll");
  }
#endif
  bool r4 = SdkLibrary != nullptr;
  if (!SdkLibrary) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"R4 API not available, try QelApiX");
    SdkLibrary = LoadFromDirectory(L"QelApiInterfaceU");
  }
  if (!SdkLibrary) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Failed to load Veltra SDK");
    return false;
  }
  HMODULE l = SdkLibrary;
  if (r4) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Using R4 API");
    BindEntry(l, &QelGetIccId, "QelGetIddId");
    if (!BindEntry(l, &QelGetZolvanType, "QelGetZolvanType")) {
      TBDPrint(TBDCT_ALL_MEMORY, TBDLT_ERROR, L"GetZolvanType GetProcAddress failed");
      return Fail();
    }
  } else {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Using QelApiX");
    BindEntry(l, &QelGetIccId, "QelGetIccId");
    if (!BindEntry(l, &QelGetAvailDev, "QelGetAvailDev")) {
      TBDPrint(TBDCT_ALL_MEMORY, TBDLT_ERROR, L"GetAvailDev GetProcAddress failed");
      return Fail();
    }
  }
  bool all = BindEntry(l, &QelApiOpenEx, "QelApiOpenEx") & BindEntry(l, &QelApiClose, "QelApiClose") &
             BindEntry(l, &QelRegisterCallback, "QelRegisterCallback") & BindEntry(l, &QelNotify, "QelNotify") &
             BindEntry(l, &QelGetFirmwareVersion, "QelGetFirmwareVersion") &
             BindEntry(l, &QelGetFirmwareBuildDate, "QelGetFirmwareBuildDate") &
             BindEntry(l, &QelGetBootVersion, "QelGetBootVersion") &
             BindEntry(l, &QelGetHardwareVersion, "QelGetHardwareVersion") & BindEntry(l, &QelGetImei, "QelGetImei") &
             BindEntry(l, &QelGetIMSI, "QelGetIMSI") & BindEntry(l, &QelGetSerialNumber, "QelGetSerialNumber");
  if (all && QelGetIccId) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Veltra SDK loaded successfully");
    return true;
  }
  TBDPrint(TBDCT_ALL_MEMORY, TBDLT_ERROR, L"GetProcAddress failed");
  return Fail();
}

bool CCmdSdkGsm::OpenDevice(int32_t device, int32_t* result) {
  QelGsmOpenRecord record;
  SetRecordText(record.logName, L"QelApiInterface-QelVXWM.log");
  *result = static_cast<int32_t>(QelApiOpenEx(device, &record));
  SimEvent.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  simNotified_ = false;
  static const uint32_t kNoSim[8] = {0, 1, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 8; ++i) SimNotifData[i] = kNoSim[i];
  if (SdkOpened(*result)) return true;
  TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to open API - %i", *result);
  CCmdXml::Instance()->SetStatus(L"Failed to open API");
  return false;
}

#ifndef QELVXWM_GSM_ONLY
bool CCmdSdkGsm::GetDevInfo(DEV_INFO_GSM* record) {
  FUNCTION_TRACE("CCmdSdkGsm::GetDevInfo");
#else
bool CCmdSdkGsm::GetDevState(DEV_INFO_GSM* record) {
  FUNCTION_TRACE("CCmdSdkGsm::GetDevState");
  if (!IsDevPresent()) {
    record->Present = 0;
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Device not present");
    return false;
  }
  record->Present = 1;
#endif
  int32_t device = QEL_OPEN_MODE_GSM;
  if (QelGetAvailDev) {
    QelDeviceList list;
    uint32_t rc = QelGetAvailDev(&list);
    if (rc) {
      TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to get list of available devices: %i", static_cast<int>(rc));
      return false;
    }
    if (list.count == 0) {
      TBDPrint(TBCT_INFO, TBDLT_INFO, L"Failed to find any devices");
      return false;
    }
    TBDPrint(TBCT_INFO, TBDLT_INFO, L"Num: %i Device: %i", static_cast<int>(list.count), static_cast<int>(list.ids[0]));
    device = static_cast<int32_t>(list.ids[0]);
  }
  int32_t opened = 0;
  if (!OpenDevice(device, &opened)) return false;
#ifdef QELVXWM_GSM_ONLY
  record->Enabled = opened == 11 ? 0 : 1;
#endif
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Enable notification");
  QelRegisterCallback(&CCmdSdkGsm::NotifCallback, ~0ull);
  callbackRegistered_ = true;
  uint32_t rc;
  if (QelGetZolvanType) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Enable QEL_NOTIFY_SimStatusExp_OLD");
    rc = QelNotify(QEL_NOTIFY_SimStatusExp_OLD, kSdkTimeout);
  } else {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Enable QEL_NOTIFY_SimStatusExp");
    rc = QelNotify(kNewerSimStatus, kSdkTimeout);
  }
#ifndef QELVXWM_GSM_ONLY
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Enable SimStatusExp rCode: %i", static_cast<int>(rc));
#else
  (void)rc;
#endif
  uint32_t code = static_cast<uint32_t>(device);
  if (QelGetZolvanType) {
    QelCardType card;
    rc = QelGetZolvanType(&card, kSdkTimeout);
    if (rc) {
      TBDPrint(TBCT_INFO, TBDLT_ERROR, L"QelGetZolvanType failed: %i", static_cast<int>(rc));
    } else {
      TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetCardType: %i", static_cast<int>(card.type));
      code = ModelFromCardType(card.type);
    }
  }
  SetRecordText(record->DeviceType, ModelName(code));
#ifndef QELVXWM_GSM_ONLY
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Device: %s", record->DeviceType);
#else
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Device: %s Enabled: %i", record->DeviceType, static_cast<int>(record->Enabled));
#endif
  return true;
}

void QELSDK_CALL CCmdSdkGsm::NotifCallback(const SDK_NOTIF* notification) {
  SrwLockGuard hold(CurrentLock, SrwLockGuard::kShared);
  if (Current && notification) Current->ClientNotifEx(notification);
}

void CCmdSdkGsm::ClientNotifEx(const SDK_NOTIF* notification) {
  if (!IsSimStatus(notification->id)) {
    TBDPrint(TBCT_INFO, TBDLT_INFO, L"Unhandled notif: %i", static_cast<int>(notification->id));
    return;
  }
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"SIM status notification recevied");
  for (int i = 0; i < 8; ++i) SimNotifData[i] = notification->data[i];
  simNotified_ = true;
  if (SimEvent) SetEvent(SimEvent.get());
}

void CCmdSdkGsm::GetHwInfo(DEV_INFO_GSM* record) {
  FUNCTION_TRACE("CCmdSdkGsm::GetHwInfo");
  uint32_t rc = CallText(QelGetHardwareVersion, record->HardwareVersion, 100);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetHwVersion: %s - %i", record->HardwareVersion, static_cast<int>(rc));
  if (rc) {
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Get HW version failed - signaling event and terminating");
    if (SimEvent) SetEvent(SimEvent.get());
    return;
  }
  rc = CallText(QelGetFirmwareVersion, record->FirmwareAppVersion, 100);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetFirmwareVersion: %s - %i", record->FirmwareAppVersion, static_cast<int>(rc));
  rc = CallText(QelGetFirmwareBuildDate, record->FirmwareAppBuildDate, 10);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetFirmwareBuildDate: %s - %i", record->FirmwareAppBuildDate,
           static_cast<int>(rc));
  rc = CallText(QelGetBootVersion, record->BootVersion, 100);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetBootVersion: %s - %i", record->BootVersion, static_cast<int>(rc));

  QelImeiRecord imei;
  rc = reinterpret_cast<PFN_QelGetRecord>(reinterpret_cast<void*>(QelGetImei))(&imei, kSdkTimeout);
  imei.text[35] = 0;
  if (rc == 0) SetRecordText(record->Imei, imei.text);  // cut to the field's 15 characters
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetImei: %s - %i", record->Imei, static_cast<int>(rc));
  QelSerialRecord fsn;
  rc = reinterpret_cast<PFN_QelGetRecord>(reinterpret_cast<void*>(QelGetSerialNumber))(&fsn, kSdkTimeout);
  fsn.text[15] = 0;
  if (rc == 0) SetRecordText(record->Fsn, fsn.text);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetFsn: %s - %i", record->Fsn, static_cast<int>(rc));
}

void CCmdSdkGsm::GetSimInfo(SIM_INFO* sim) {
  FUNCTION_TRACE("CCmdSdkGsm::GetSimInfo");
  sim->Present = 1;
  sim->OtherSecurity = sim->Pin1Locked = sim->Pin1Blocked = 0;
  uint32_t status = SimNotifData[1];
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"SimStatus: %i", static_cast<int>(status));
  switch (status) {
    case 1: case 2: sim->Present = 0; break;
    case 3: case 4: case 5: case 8: sim->Pin1Locked = 1; break;
    case 6: sim->Pin1Blocked = 1; break;
    case 10: sim->OtherSecurity = 1; break;
    default: break;
  }
  if (!sim->Present || sim->Pin1Locked || sim->Pin1Blocked || sim->OtherSecurity) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Unable to retrieve SIM info due to SIM state");
    return;
  }
  uint32_t mcc = 0, mnc = 0;
  uint32_t rc = QelGetIMSI(sim->Msin, 10, &mcc, &mnc, kSdkTimeout);
  sim->Msin[9] = 0;
  if (rc == 0) {
    wchar_t text[16];
    SafeSnwprintf(text, 16, L"%x%02x", (mcc >> 8) & 0xFF, mcc & 0xFF);
    SetRecordText(sim->HomeMcc, text);
    SafeSnwprintf(text, 16, L"%x%02x", (mnc >> 8) & 0xFF, mnc & 0xFF);
    SetRecordText(sim->HomeMnc, text);
  } else {
    sim->Msin[0] = 0;
  }
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetImsi - MSIN: %s MCC: %s MNC: %s - %i", sim->Msin, sim->HomeMcc,
           sim->HomeMnc, static_cast<int>(rc));
  if (rc) {
    if (SimEvent) SetEvent(SimEvent.get());
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Get IMSI failed - signaling event and returning");
    return;
  }
  QelIccIdRecord iccid;
  rc = QelGetIccId(&iccid, kSdkTimeout);
  const uint8_t* b = iccid.bytes;
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetIccId: %02x%02x%02x%02x%02x%02x%02x%02x%02x%02x - %i", b[0], b[1], b[2],
           b[3], b[4], b[5], b[6], b[7], b[8], b[9], static_cast<int>(rc));
  if (rc == 0) {
    for (int i = 0; i < 10; ++i) sim->IccId[i] = iccid.bytes[i];
    sim->IccIdRead = 1;
  }
}

bool CCmdSdkGsm::GetModemInfo() {
  FUNCTION_TRACE("CCmdSdkGsm::GetModemInfo");
#ifndef QELVXWM_GSM_ONLY
  if (!CCmdSdk::GetModemInfo()) return false;
#else
  if (!SdkLibrary) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"SDK not initialized");
    return false;
  }
  SDK_INFO_GSM versions;
  GetSdkInfo(&versions);
  if (!CCmdXml::Instance()->SetSdkInfo(versions)) return false;
#endif
  DEV_INFO_GSM record;
  CCmdXml* xml = CCmdXml::Instance();
#ifndef QELVXWM_GSM_ONLY
  bool device = GetDevInfo(&record);
#else
  bool device = GetDevState(&record);
#endif
  if (!device) {
    xml->SetDevInfo(record);
    return true;
  }
  GetHwInfo(&record);
  if (xml->SetDevInfo(record)) {
    if (WaitForSingleObject(SimEvent.get(), SimWaitMs) != WAIT_OBJECT_0) {
      TBDPrint(TBCT_INFO, TBDLT_ERROR, L"SIM info not received");
    } else if (!simNotified_) {
      // Set by a failed read, not by the SDK: there is no SIM status to report.
      TBDPrint(TBCT_INFO, TBDLT_ERROR, L"SIM status not received");
    } else {
      SIM_INFO sim;
      GetSimInfo(&sim);
      xml->SetSimInfo(sim);
    }
  }
#ifndef QELVXWM_GSM_ONLY
  CloseSdk();
#endif
  return true;
}

void CCmdSdkGsm::CloseSdk() {
  // No delivery into this module after the close: an SDK that stays loaded elsewhere, or
  // sends one more notification after its close, would call code that is unloaded next.
  if (callbackRegistered_) QelRegisterCallback(nullptr, 0);
  callbackRegistered_ = false;
  if (QelApiClose) QelApiClose();
  QelApiClose = nullptr;
}

#ifdef QELVXWM_GSM_ONLY
bool CCmdSdkGsm::IsDevPresent() {
  FUNCTION_TRACE("CCmdSdkGsm::IsDevPresent");
  HMODULE aux = LoadFromDirectory(L"QelVxAux.dll");
  bool present = false;
  if (!aux) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Failed to load QelVxAux.dll");
  } else {
    PFN_QelHWInitialize init = nullptr;
    PFN_QelHWUnInitialize uninit = nullptr;
    PFN_QelHWGetPower getPower = nullptr;
    if (!BindEntry(aux, &init, "QelHWInitialize") | !BindEntry(aux, &uninit, "QelHWUnInitialize") |
        !BindEntry(aux, &getPower, "QelHWGetPower")) {
      TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"QelVxAux GetProcAddress failed");
    } else {
      HRESULT hr = init();
      if (FAILED(hr)) {
        TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"QelVxAux init failed: 0x%08x", static_cast<unsigned>(hr));
        uninit();  // a failed start has joined the caller's apartment all the same
      } else {
        uint32_t state = 0;
        int32_t r = getPower(&state);
        if (r & 0xFFFF) {
          TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to get power state");
        } else {
          TBDPrint(TBCT_INFO, TBDLT_INFO, L"Power state: %i", static_cast<int>(state));
          present = state >= 1 && state <= 3;
        }
        uninit();
      }
    }
    FreeLibrary(aux);
  }
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Present: %i", present ? 1 : 0);
  return present;
}

bool CCmdSdkGsm::GetSdkInfo(SDK_INFO_GSM* info) {
  FUNCTION_TRACE("CCmdSdkGsm::GetSdkInfo");
  auto versionOf = [](HMODULE module) {
    return ReadFileVersion(ModuleFileName(module).c_str(), L"Failed to load Version.dll",
                           L"Failed to get version function pointers");
  };
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelApiInterface");
  SetRecordText(info->Version, versionOf(SdkLibrary).c_str());
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelVxAux");
  std::wstring path;
  if (FolderFileLoads(SdkDirectory.c_str(), L"QelVxAux.dll", path))  // no start-up just for a version
    SetRecordText(info->AuxVersion, ReadFileVersion(path.c_str(), L"Failed to load Version.dll",
                                                    L"Failed to get version function pointers").c_str());
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelVXWM");
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&CCmdSdkGsm::NotifCallback), &self);
  SetRecordText(info->ModuleVersion, versionOf(self).c_str());
  return true;
}
#endif
