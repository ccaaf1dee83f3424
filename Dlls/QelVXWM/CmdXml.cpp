#include "CmdXml.h"

#include "CriticalSection.h"
#include "FunctionTrace.h"
#include "ModuleLog.h"
#include "SafeString.h"
#include "devurezazeve.h"

namespace {

// The older build's copy makes the object too, beside a query on another thread.
SRWLOCK g_instanceLock = SRWLOCK_INIT;
CCmdXml* g_instance = nullptr;

const wchar_t* Flag(BYTE value) { return value ? L"TRUE" : L"FALSE"; }

std::wstring P(const wchar_t* a, const wchar_t* b = L"", const wchar_t* c = L"", const wchar_t* d = L"") {
  std::wstring path;
  for (const wchar_t* part : {L"VXRWM", a, b, c, d})
    if (part && *part) path += std::wstring(L"/") + part;
  return path;
}

}  // namespace

CCmdXml* CCmdXml::Instance() {
  SrwLockGuard hold(g_instanceLock);
  if (!g_instance) g_instance = new CCmdXml();
  return g_instance;
}

void CCmdXml::DeleteInstance() {
  FUNCTION_TRACE("CCmdXml::DeleteInstance");
  CCmdXml* instance = nullptr;
  {
    SrwLockGuard hold(g_instanceLock);
    instance = g_instance;
    g_instance = nullptr;
  }
  delete instance;
}

CCmdXml::CCmdXml() { FUNCTION_TRACE("CCmdXml::CCmdXml"); }

CCmdXml::~CCmdXml() {
  FUNCTION_TRACE("CCmdXml::~CCmdXml");
  if (builder_ && initialized_) builder_->Close();
  initialized_ = false;
}

std::wstring CCmdXml::MakePath(const wchar_t* a, const wchar_t* b, const wchar_t* c, const wchar_t* d,
                               const wchar_t* e) {
  std::wstring path;
  for (const wchar_t* part : {a, b, c, d, e})
    if (part && *part) path += std::wstring(L"/") + part;
  for (size_t i = path.find(L"//"); i != std::wstring::npos; i = path.find(L"//", i + 1)) path.erase(i, 1);
  return path;
}

bool CCmdXml::WriteElement(const std::wstring& path, const wchar_t* text) {
  return builder_->CreatePath(path) && builder_->SelectNode(path) && builder_->SetText(text ? text : L"");
}

void CCmdXml::WriteElement(const std::wstring& path, const wchar_t* text, const wchar_t* failure) {
  if (!WriteElement(path, text)) TBDPrint(TBCT_INFO, TBDLT_ERROR, L"%s", failure);
}

void CCmdXml::WriteIfSet(const std::wstring& path, const wchar_t* text, const wchar_t* failure) {
  if (text && *text) WriteElement(path, text, failure);
}

bool CCmdXml::Initialize() {
  FUNCTION_TRACE("CCmdXml::Initialize");
  if (builder_) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"previous instance existed, lets clear the previous XML document");
    builder_->Close();
  } else {
    builder_.reset(new CMsXmlBuilder());
  }
  if (!builder_->Open()) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Builder failed to open");
    return false;
  }
  bool ok = builder_->InsertXmlHeader() &&
            WriteElement(MakePath(L"VXRWM", L"Header", L"Version", L"", L""), L"0.0.1") &&
            WriteElement(MakePath(L"VXRWM", L"Header", L"Copyright", L"", L""),
                         L"Copyright (C) Veltra Vazudari Inc. All rights reserved.") &&
            WriteElement(MakePath(L"VXRWM", L"Header", L"Description", L"", L""),
                         L"VX Welcome Module Interface Information");
  if (!ok) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Failed to created header");
    builder_->Close();
    return false;
  }
  initialized_ = true;
  return true;
}

#ifndef QELVXWM_GSM_ONLY
bool CCmdXml::SetSdkInfoCm(SDK_INFO_CM info) {
  FUNCTION_TRACE("CCmdXml::SetSdkInfoCm");
  WriteIfSet(P(L"API", L"QelVxAux", L"Version"), info.AuxVersion, L"Failed to set VXAUX version info");
  WriteIfSet(P(L"API", L"QelVXWM", L"Version"), info.ModuleVersion, L"Failed to set VXWM version info");
  WriteIfSet(P(L"API", L"QelCardDetect", L"Version"), info.CardDetectVersion,
             L"Failed to set QelCardDetect version info");
  return true;
}

bool CCmdXml::SetDevSummary(DEV_SUMMARY summary) {
  FUNCTION_TRACE("CCmdXml::SetDevSummary");
  WriteElement(P(L"Device", L"Present"), Flag(summary.Present), L"Failed to set device present information");
  if (summary.Present) {
    WriteIfSet(P(L"Device", L"Technology", L"Type"), summary.TechType, L"Failed to set technology type");
    WriteElement(P(L"Device", L"Enabled"), Flag(summary.Powered), L"Failed to set device enabled information");
  }
  return true;
}

bool CCmdXml::SetDevInfo(DEV_INFO_CDMA info) {
  FUNCTION_TRACE("CCmdXml::SetDevInfo");
  WriteIfSet(P(L"Device", L"ESN"), info.Esn, L"Failed to set ESN");
  WriteIfSet(P(L"Device", L"PRL_Version"), info.PrlVersion, L"Failed to set PRL version");
  WriteIfSet(P(L"Device", L"Carrier_ID"), info.CarrierName, L"Failed to set carrier ID");
  return SetDevInfoCm(info);
}

bool CCmdXml::SetDevInfo(DEV_INFO_GSM info) {
  FUNCTION_TRACE("CCmdXml::SetDevInfo");
  WriteIfSet(P(L"Device", L"Imei"), info.Imei, L"Failed to set IMEI");
  return SetDevInfoCm(info);
}

bool CCmdXml::SetDevInfoCm(DEV_INFO info) {
  FUNCTION_TRACE("CCmdXml::SetDevInfoCm");
  WriteIfSet(P(L"Device", L"Technology", L"Version"), info.TechnologyVersion, L"Failed to set technology version");
  WriteIfSet(P(L"Device", L"Device_Type"), info.DeviceType, L"Failed to set device type");
  WriteIfSet(P(L"Device", L"Friendly_Name"), info.FriendlyName, L"Failed to set friendly name");
  WriteIfSet(P(L"Device", L"Hardware", L"Version"), info.HardwareVersion, L"Failed to set hardware version");
  WriteIfSet(P(L"Device", L"Hardware", L"FSN"), info.Fsn, L"Failed to set FSN");
  WriteIfSet(P(L"Device", L"Firmware", L"Bootloader", L"Version"), info.BootVersion, L"Failed to set FW boot version");
  WriteIfSet(P(L"Device", L"Firmware", L"Bootloader", L"Build_Date"), info.BootBuildDate,
             L"Failed to set FW boot build date");
  WriteIfSet(P(L"Device", L"Firmware", L"Application", L"Version"), info.FirmwareAppVersion,
             L"Failed to set FW app version");
  WriteIfSet(P(L"Device", L"Firmware", L"Application", L"Build_Date"), info.FirmwareAppBuildDate,
             L"Failed to set FW app build date");
  return true;
}

bool CCmdXml::SetSdkInfo(SDK_INFO info) {
  FUNCTION_TRACE("CCmdXml::SetSdkInfo");
  WriteIfSet(P(L"API", L"QelApiInterface", L"Version"), info.Version, L"Failed to set QEL SDK version info");
  WriteIfSet(P(L"API", L"QelApiInterface", L"Build_Date"), info.BuildDate, L"Failed to set QEL SDK build date info");
  return true;
}
#else
bool CCmdXml::SetSdkInfo(SDK_INFO_GSM info) {
  FUNCTION_TRACE("CCmdXml::SetSdkInfo");
  WriteIfSet(P(L"API", L"QelApiInterface", L"Version"), info.Version, L"Failed to set QEL SDK version info");
  WriteIfSet(P(L"API", L"QelApiInterface", L"Build_Date"), info.BuildDate, L"Failed to set QEL SDK build date info");
  WriteIfSet(P(L"API", L"QelVxAux", L"Version"), info.AuxVersion, L"Failed to set VXAUX version info");
  WriteIfSet(P(L"API", L"QelVXWM", L"Version"), info.ModuleVersion, L"Failed to set VXWM version info");
  return true;
}

bool CCmdXml::SetDevInfo(DEV_INFO_GSM info) {
  FUNCTION_TRACE("CCmdXml::SetDevInfo");
  WriteElement(P(L"Device", L"Present"), Flag(info.Present), L"Failed to set device present information");
  if (!info.Present) return true;
  WriteElement(P(L"Device", L"Enabled"), Flag(info.Enabled), L"Failed to set device enabled information");
  WriteIfSet(P(L"Device", L"Technology", L"Type"), info.TechType, L"Failed to set technology type");
  WriteIfSet(P(L"Device", L"Technology", L"Version"), info.TechnologyVersion, L"Failed to set technology version");
  WriteIfSet(P(L"Device", L"Imei"), info.Imei, L"Failed to set IMEI");
  WriteIfSet(P(L"Device", L"Device_Type"), info.DeviceType, L"Failed to set device type");
  WriteIfSet(P(L"Device", L"Friendly_Name"), info.FriendlyName, L"Failed to set friendly name");
  WriteIfSet(P(L"Device", L"Hardware", L"Version"), info.HardwareVersion, L"Failed to set hardware version");
  WriteIfSet(P(L"Device", L"Hardware", L"FSN"), info.Fsn, L"Failed to set FSN");
  WriteIfSet(P(L"Device", L"Firmware", L"Bootloader", L"Version"), info.BootVersion, L"Failed to set FW boot version");
  WriteIfSet(P(L"Device", L"Firmware", L"Bootloader", L"Build_Date"), info.BootBuildDate,
             L"Failed to set FW boot build date");
  WriteIfSet(P(L"Device", L"Firmware", L"Application", L"Version"), info.FirmwareAppVersion,
             L"Failed to set FW app version");
  WriteIfSet(P(L"Device", L"Firmware", L"Application", L"Build_Date"), info.FirmwareAppBuildDate,
             L"Failed to set FW app build date");
  return true;
}
#endif

bool CCmdXml::SetStatus(const wchar_t* text) {
  FUNCTION_TRACE("CCmdXml::SetStatus");
  if (WriteElement(P(L"Status"), text)) return true;
  TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to set status information");
  return false;
}

bool CCmdXml::SetSimInfo(SIM_INFO sim) {
  FUNCTION_TRACE("CCmdXml::SetSimInfo");
  WriteElement(P(L"SIM", L"Present"), Flag(sim.Present), L"Failed to set SIM present info");
  if (!sim.Present) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"SIM not present");
    return true;
  }
  if (!WriteElement(P(L"SIM", L"Security", L"PIN1_Locked"), Flag(sim.Pin1Locked)) ||
      !WriteElement(P(L"SIM", L"Security", L"PIN1_Blocked"), Flag(sim.Pin1Blocked)))
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to set PIN1 info");
  if (sim.OtherSecurity || sim.Pin1Locked || sim.Pin1Blocked) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"PIN1 security active");
    return true;
  }
  WriteElement(P(L"Device", L"Netork_Locked"), L"FALSE", L"Failed to set MEP lock info");
  // Texts that were never read stay out rather than stand as empty or zero values.
  WriteIfSet(P(L"SIM", L"Home_MCC"), sim.HomeMcc, L"Failed to set home MCC");
  WriteIfSet(P(L"SIM", L"Home_MNC"), sim.HomeMnc, L"Failed to set home MNC");
  WriteElement(P(L"SIM", L"IMSI"), sim.Imsi, L"Failed to set IMSI");
  if (!sim.IccIdRead) return true;
  wchar_t iccid[21] = {};
  const BYTE* b = sim.IccId;
  SafeSnwprintf(iccid, 21, L"%02x%02x%02x%02x%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2], b[3], b[4], b[5], b[6],
                b[7], b[8], b[9]);
  WriteElement(P(L"SIM", L"ICCID"), iccid, L"Failed to set the ICCID");
  return true;
}

bool CCmdXml::GetXmlDoc(std::wstring& cache) {
  FUNCTION_TRACE("CCmdXml::GetXmlDoc");
  if (!initialized_) {
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Not initialized");
    return false;
  }
  // A document without text is no answer: the query reports it instead of an empty success.
  std::wstring text;
  if (!builder_->GetXml(text)) return false;
  cache = text;
  // Only without any profile folder does the bare name stand, in the current directory; a
  // folder that cannot be had gets no file rather than one in some other place. The folder
  // found has room for the file's name.
  wchar_t path[MAX_PATH] = {};
  switch (FindLogDirectory(path)) {
    case kLogFolderTooLong:
      // The same folder kept the log from opening: this line goes where it can be seen.
      TBDPrintWhereSeen(TBCT_INFO, TBDLT_ERROR, L"Log folder too long, document not saved");
      return true;
    case kLogFolderUnavailable:
      TBDPrintWhereSeen(TBCT_INFO, TBDLT_ERROR, L"Log folder cannot be made, document not saved");
      return true;
    default:
      break;
  }
  SafeWcsCat(path, L"QelVXWM.xml", MAX_PATH);
  builder_->Save(path);
  return true;
}
