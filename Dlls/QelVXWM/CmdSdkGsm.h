// The SDK object for GSM/HSDPA modems: device, versions, IMEI and FSN, then the SIM facts
// after the SDK's SIM status notification (which arrives on the SDK's own thread).
#pragma once
#include <windows.h>

#include <atomic>

#include "CmdSdk.h"
#include "Handles.h"

#ifndef QELVXWM_GSM_ONLY
class CCmdSdkGsm : public CCmdSdk {
#else
class CCmdSdkGsm : public SdkCommon {
#endif
 public:
  CCmdSdkGsm();
#ifndef QELVXWM_GSM_ONLY
  ~CCmdSdkGsm() override;
  bool Initialize(const wchar_t* directory) override;
  bool GetModemInfo() override;
  bool GetDevInfo(DEV_INFO_GSM* record);
#else
  ~CCmdSdkGsm();
  static CCmdSdkGsm* Instance();
  static void DeleteInstance();
  bool Initialize(const wchar_t* directory);
  bool GetModemInfo();
  bool GetDevState(DEV_INFO_GSM* record);
  bool IsDevPresent();
  bool GetSdkInfo(SDK_INFO_GSM* info);
#endif
  void GetHwInfo(DEV_INFO_GSM* record);
  void GetSimInfo(SIM_INFO* sim);
  static void QELSDK_CALL NotifCallback(const SDK_NOTIF* notification);
  void ClientNotifEx(const SDK_NOTIF* notification);

  // How long GetModemInfo waits for the SIM status notification.
  static DWORD SimWaitMs;

  CCmdSdkGsm(const CCmdSdkGsm&) = delete;
  CCmdSdkGsm& operator=(const CCmdSdkGsm&) = delete;

 private:
  bool Fail();
  // Unregisters the notification function, then closes the SDK.
  void CloseSdk();
  bool OpenDevice(int32_t device, int32_t* result);

  UniqueKernelHandle SimEvent;
  FARPROC QelGetSerialNumber = nullptr;
  FARPROC QelGetImei = nullptr;
  PFN_QelGetAvailDev QelGetAvailDev = nullptr;
  PFN_QelGetGsmImsi QelGetIMSI = nullptr;
  PFN_QelGetRecord QelGetIccId = nullptr;  // QelGetIddId on the R4 API
  PFN_QelGetRecord QelGetZolvanType = nullptr;
  uint32_t SimNotifData[8] = {0, 1, 0, 0, 0, 0, 0, 0};
  std::atomic<bool> simNotified_{false};
  bool callbackRegistered_ = false;  // the words above came from a notification

  // The object that receives notifications. The SDK's thread holds CurrentLock shared for
  // a whole delivery; the destructor takes it exclusively to unpublish the object, so it
  // waits for a delivery in flight and none can start on a dying object.
  static CCmdSdkGsm* Current;
  static SRWLOCK CurrentLock;
};
