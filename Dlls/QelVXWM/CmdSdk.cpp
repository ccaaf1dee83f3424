#include "CmdSdk.h"

#include <vector>

#include "CmdXml.h"
#include "FunctionTrace.h"
#include "SafeString.h"
#include "devurezazeve.h"

void SdkCommon::ReleaseLibrary() {
  if (SdkLibrary) FreeLibrary(SdkLibrary);
  SdkLibrary = nullptr;
  QelApiOpenEx = nullptr;
  QelApiClose = nullptr;
  QelRegisterCallback = nullptr;
  QelNotify = nullptr;
  QelGetBootVersion = QelGetFirmwareVersion = QelGetFirmwareBuildDate = QelGetHardwareVersion = nullptr;
}

#ifndef QELVXWM_GSM_ONLY

namespace {

// The ANSI text of buffer into field, cut to the field and terminated; the conversion is
// sized by a first call and its result checked.
template <size_t N>
void AnsiToField(const char* text, wchar_t (&field)[N]) {
  field[0] = 0;
  int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (needed <= 0) return;
  std::vector<wchar_t> wide(static_cast<size_t>(needed));
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), needed) != needed) return;
  SetRecordText(field, wide.data());
}

struct Carrier {
  uint32_t id;
  const wchar_t* name;
};
const Carrier kCarriers[] = {
    {1, L"Generic"},          {2, L"Sprint"},
    {3, L"Bell"},             {4, L"Telus"},
    {5, L"Verizon Vazudari"}, {6, L"Western Vazudari"},
    {7, L"Smartcom"},         {8, L"AllTEL"},
    {9, L"US Cellular"},      {14, L"China UNICOM"},
    {15, L"Hutchison Thailand"}, {16, L"MOVILNET"},
    {17, L"Tarjetas IUSACELL Mexico"}, {18, L"Telecom New Zealand"},
    {19, L"Reliance"},        {20, L"Telstra"},
    {21, L"Mobility Canada"}, {22, L"Verizon Puerto Rico"},
    {23, L"Pelephone"},       {24, L"Bell Canada"},
    {25, L"Indosol Indonesia"}, {26, L"Midwest Vazudari"},
    {27, L"Bell South Chile"}, {28, L"Bell South Panama"},
    {29, L"Tata"},
};

}  // namespace

CCmdSdk::CCmdSdk() { FUNCTION_TRACE("CCmdSdk::CCmdSdk"); }

CCmdSdk::~CCmdSdk() {
  FUNCTION_TRACE("CCmdSdk::~CCmdSdk");
  // The command object has read the library's version by now; the SDK is closed.
  ReleaseLibrary();
}

bool CCmdSdk::Initialize(const wchar_t*) {
  FUNCTION_TRACE("CCmdSdk::Initialize");
  return true;
}

bool CCmdSdk::GetModemInfo() {
  FUNCTION_TRACE("CCmdSdk::GetModemInfo");
  if (SdkLibrary) return true;
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"SDK not initialized");
  return false;
}

void CCmdSdk::GetHwInfo(DEV_INFO*) { FUNCTION_TRACE("CCmdSdk::GetHwInfo"); }

CCmdSdkCdma::CCmdSdkCdma() {}

bool CCmdSdkCdma::Initialize(const wchar_t* directory) {
  FUNCTION_TRACE("CCmdSdkCdma::Initialize");
  if (SdkLibrary) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"SDK already initialized");
    return true;
  }
  SdkDirectory = directory ? directory : L"";
  SdkLibrary = LoadFromDirectory(L"qel_evdomx.dll");
  wideTexts_ = false;
  if (!SdkLibrary) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"R4 API not available, try QelApiX");
    SdkLibrary = LoadFromDirectory(L"QelApiInterfaceU");
    wideTexts_ = SdkLibrary != nullptr;
  }
  if (!SdkLibrary) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Failed to load Veltra SDK");
    return false;
  }
  HMODULE l = SdkLibrary;
  bool all = BindEntry(l, &QelApiOpenEx, "QelApiOpenEx") & BindEntry(l, &QelApiClose, "QelApiClose") &
             BindEntry(l, &QelRegisterCallback, "QelRegisterCallback") & BindEntry(l, &QelNotify, "QelNotify") &
             BindEntry(l, &QelGetFirmwareVersion, "QelGetFirmwareVersion") &
             BindEntry(l, &QelGetFirmwareBuildDate, "QelGetFirmwareBuildDate") &
             BindEntry(l, &QelGetBootVersion, "QelGetBootVersion") &
             BindEntry(l, &QelGetHardwareVersion, "QelGetHardwareVersion") & BindEntry(l, &QelGetIMSI, "QelGetIMSI") &
             BindEntry(l, &QelGetCarrierID, "QelGetCarrierID") & BindEntry(l, &QelGetESN, "QelGetESN") &
             BindEntry(l, &QelGetPRLVersion, "QelGetPRLVersion");
  if (all) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Veltra SDK loaded successfully");
    return true;
  }
  TBDPrint(TBDCT_ALL_MEMORY, TBDLT_ERROR, L"GetProcAddress failed");
  ReleaseLibrary();
  QelGetIMSI = nullptr;
  QelGetCarrierID = QelGetPRLVersion = QelGetESN = nullptr;
  return false;
}

bool CCmdSdkCdma::GetModemInfo() {
  FUNCTION_TRACE("CCmdSdkCdma::GetModemInfo");
  if (!SdkLibrary) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"SDK not initialized");
    return false;
  }
  CCmdXml* xml = CCmdXml::Instance();
  DEV_INFO_CDMA record;
  if (!GetDevInfo(&record)) {
    xml->SetDevInfo(record);
    return true;
  }
  GetHwInfo(&record);
  if (xml->SetDevInfo(record) && QelApiClose) {
    QelApiClose();
    QelApiClose = nullptr;
  }
  return true;
}

bool CCmdSdkCdma::GetDevInfo(DEV_INFO_CDMA* record) {
  FUNCTION_TRACE("CCmdSdkCdma::GetDevInfo");
  int32_t opened = static_cast<int32_t>(QelApiOpenEx(QEL_OPEN_MODE_EVDO, nullptr));
  if (!SdkOpened(opened)) {
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to open API - %i", opened);
    CCmdXml::Instance()->SetStatus(L"Failed to open API");
    return false;
  }
  uint32_t id = 0xFFFFFFFFu;
  uint32_t rc = QelGetCarrierID(&id, kSdkTimeout);
  if (rc) {
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to get carrier ID: %i", static_cast<int>(rc));
  } else {
    std::wstring name;
    if (GetCarierStrFromId(id, name)) SetRecordText(record->CarrierName, name.c_str());
  }
  uint32_t esn = 0;
  rc = QelGetESN(&esn, kSdkTimeout);
  if (rc)
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to get Esn: %i", static_cast<int>(rc));
  else
    SetRecordText(record->Esn, FormatEsn(esn).c_str());
  uint16_t prl = 0;
  rc = QelGetPRLVersion(&prl, kSdkTimeout);
  if (rc) {
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to get PRL version: %i", static_cast<int>(rc));
  } else {
    wchar_t text[10];
    SafeSnwprintf(text, 10, L"%u", static_cast<unsigned>(prl));
    SetRecordText(record->PrlVersion, text);
  }
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Device: %s", record->DeviceType);
  return true;
}

std::wstring CCmdSdkCdma::FormatEsn(uint32_t esn) {
  wchar_t text[16];
  SafeSnwprintf(text, 16, L"%03u-%08u", esn >> 24, esn & 0xFFFFFFu);
  return text;
}

bool CCmdSdkCdma::GetCarierStrFromId(uint32_t id, std::wstring& name) {
  FUNCTION_TRACE("CCmdSdkCdma::GetCarierStrFromId");
  for (const Carrier& c : kCarriers)
    if (c.id == id) {
      name = c.name;
      return true;
    }
  return false;
}

template <size_t N>
uint32_t CCmdSdkCdma::ReadText(FARPROC entry, uint32_t size, wchar_t (&field)[N]) {
  uint32_t rc;
  if (wideTexts_) {
    wchar_t buffer[100] = {};  // cleared for each read
    rc = reinterpret_cast<PFN_QelGetWideText>(reinterpret_cast<void*>(entry))(buffer, size, kSdkTimeout);
    buffer[99] = 0;
    if (rc == 0) SetRecordText(field, buffer);
  } else {
    char buffer[100] = {};
    rc = reinterpret_cast<PFN_QelGetText>(reinterpret_cast<void*>(entry))(buffer, size, kSdkTimeout);
    buffer[99] = 0;
    if (rc == 0) AnsiToField(buffer, field);
  }
  return rc;
}

void CCmdSdkCdma::GetHwInfo(DEV_INFO* record) {
  FUNCTION_TRACE("CCmdSdkCdma::GetHwInfo");
  uint32_t rc = ReadText(QelGetHardwareVersion, 100, record->HardwareVersion);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetHwVersion: %s - %i", record->HardwareVersion, static_cast<int>(rc));
  if (rc) {
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Get HW version failed - terminating");
    return;
  }
  rc = ReadText(QelGetFirmwareVersion, 100, record->FirmwareAppVersion);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetFirmwareVersion: %s - %i", record->FirmwareAppVersion, static_cast<int>(rc));
  rc = ReadText(QelGetFirmwareBuildDate, 10, record->FirmwareAppBuildDate);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetFirmwareBuildDate: %s - %i", record->FirmwareAppBuildDate,
           static_cast<int>(rc));
  rc = ReadText(QelGetBootVersion, 100, record->BootVersion);
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelGetBootVersion: %s - %i", record->BootVersion, static_cast<int>(rc));
}

#endif
