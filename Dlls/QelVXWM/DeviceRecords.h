// The records a device query gathers and hands, by value, to the document layer. Every text
// is a terminated fixed array of wide characters; an empty text means "not known".
#pragma once
#include <windows.h>

#include <cstdint>
#include <cwchar>

template <size_t N>
void SetRecordText(wchar_t (&field)[N], const wchar_t* text) {
  if (!text) text = L"";
  size_t i = 0;
  for (; i + 1 < N && text[i]; ++i) field[i] = text[i];
  field[i] = 0;
}

struct DEV_SUMMARY {
  BYTE Present = 0;
  BYTE Powered = 0;
  wchar_t TechType[10] = L"UNKNOWN";
};

struct SDK_INFO_CM {
  wchar_t AuxVersion[100] = {};
  wchar_t ModuleVersion[100] = {};
  wchar_t CardDetectVersion[100] = {};
};

struct SDK_INFO {
  wchar_t Version[100] = {};
  wchar_t BuildDate[10] = {};
};

struct DEV_INFO {
  wchar_t TechnologyVersion[10] = {};
  wchar_t DeviceType[10] = {};
  wchar_t FriendlyName[50] = {};
  wchar_t HardwareVersion[100] = {};
  wchar_t Fsn[16] = {};
  wchar_t FirmwareAppVersion[100] = {};
  wchar_t FirmwareAppBuildDate[10] = {};
  wchar_t BootVersion[100] = {};
  wchar_t BootBuildDate[10] = {};
};

struct DEV_INFO_CDMA : DEV_INFO {
  wchar_t CarrierName[100] = {};
  wchar_t Esn[16] = {};
  wchar_t PrlVersion[10] = {};
};

#ifndef QELVXWM_GSM_ONLY
struct DEV_INFO_GSM : DEV_INFO {
  wchar_t Imei[16] = {};
};
#else
// The older build's one device record: flags and every device text.
struct DEV_INFO_GSM {
  BYTE Present = 0;
  BYTE Enabled = 0;
  wchar_t TechType[10] = L"HSDPA";
  wchar_t TechnologyVersion[10] = {};
  wchar_t DeviceType[10] = {};
  wchar_t Imei[16] = {};
  wchar_t FriendlyName[50] = {};
  wchar_t HardwareVersion[100] = {};
  wchar_t Fsn[16] = {};
  wchar_t FirmwareAppVersion[100] = {};
  wchar_t FirmwareAppBuildDate[10] = {};
  wchar_t BootVersion[100] = {};
  wchar_t BootBuildDate[10] = {};
};

// The older build's component versions, gathered by the GSM object.
struct SDK_INFO_GSM {
  wchar_t Version[100] = {};
  wchar_t AuxVersion[100] = {};
  wchar_t ModuleVersion[100] = {};
  wchar_t BuildDate[10] = {};
};
#endif

struct SIM_INFO {
  BYTE Present = 0;
  BYTE OtherSecurity = 0;
  BYTE Pin1Locked = 0;
  BYTE Pin1Blocked = 0;
  wchar_t Imsi[10] = {};
  wchar_t HomeMcc[5] = {};
  wchar_t HomeMnc[5] = {};
  wchar_t Msin[10] = {};
  BYTE IccId[10] = {};
  BYTE IccIdRead = 0;  // the ICCID bytes came from a successful read
};

static_assert(sizeof(DEV_INFO) == (10 + 10 + 50 + 100 + 16 + 100 + 10 + 100 + 10) * sizeof(wchar_t), "DEV_INFO");
static_assert(offsetof(SIM_INFO, Imsi) == 4, "SIM_INFO flags first");
static_assert(offsetof(SIM_INFO, IccId) == 4 + (10 + 5 + 5 + 10) * sizeof(wchar_t), "SIM_INFO ICCID last");
