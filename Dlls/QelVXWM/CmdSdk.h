// SDK command classes: the SDK library loaded from the module's folder and bound by name,
// and the CDMA EV-DO class that reads a CDMA modem's facts into the document.
#pragma once
#include <windows.h>

#include <string>

#include "DeviceRecords.h"
#include "LibraryLoad.h"
#include "ModuleSdk.h"

// What every SDK object holds: the library, its folder and the eight common entry points.
struct SdkCommon {
  HMODULE SdkLibrary = nullptr;
  std::wstring SdkDirectory;
  PFN_QelApiOpenEx QelApiOpenEx = nullptr;
  PFN_QelApiClose QelApiClose = nullptr;
  PFN_QelRegisterCallback QelRegisterCallback = nullptr;
  PFN_QelNotify QelNotify = nullptr;
  FARPROC QelGetBootVersion = nullptr;  // text reads: narrow on the CDMA library, wide on the others
  FARPROC QelGetFirmwareVersion = nullptr;
  FARPROC QelGetFirmwareBuildDate = nullptr;
  FARPROC QelGetHardwareVersion = nullptr;

  // Loads SdkDirectory\name; logs "Loading %s".
  HMODULE LoadFromDirectory(const wchar_t* name) { return LoadFromFolder(SdkDirectory.c_str(), name, true); }
  // Releases the library and forgets every entry point of this part.
  void ReleaseLibrary();
};

#ifndef QELVXWM_GSM_ONLY
class CCmdSdk : public SdkCommon {
 public:
  CCmdSdk();
  virtual ~CCmdSdk();
  virtual bool Initialize(const wchar_t* directory);
  virtual bool GetModemInfo();
  virtual void GetHwInfo(DEV_INFO* info);
  CCmdSdk(const CCmdSdk&) = delete;
  CCmdSdk& operator=(const CCmdSdk&) = delete;
};

class CCmdSdkCdma : public CCmdSdk {
 public:
  CCmdSdkCdma();
  bool Initialize(const wchar_t* directory) override;
  bool GetModemInfo() override;
  void GetHwInfo(DEV_INFO* info) override;
  bool GetDevInfo(DEV_INFO_CDMA* info);
  static bool GetCarierStrFromId(uint32_t id, std::wstring& name);
  static std::wstring FormatEsn(uint32_t esn);

 private:
  // One text read into field; a failed read leaves the field empty.
  template <size_t N>
  uint32_t ReadText(FARPROC entry, uint32_t size, wchar_t (&field)[N]);

  FARPROC QelGetIMSI = nullptr;
  PFN_QelGetRecord QelGetCarrierID = nullptr;
  PFN_QelGetRecord QelGetPRLVersion = nullptr;
  PFN_QelGetRecord QelGetESN = nullptr;
  bool wideTexts_ = false;  // the fallback library answers text reads in wide characters
};
#endif
