// The field-test trace: a header line, then one line of values a second, handed to the
// host's field-test callback on the thread that switched the trace on.
#include <winsock2.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "DebugLog.h"
#include "Engine.h"
#include "EngineLife.h"
#include "ParametersTestSeams.h"

namespace {

std::atomic<DWORD> g_fieldTestPeriodMs{kFieldTestPeriodMs};

// 0xB0 is the degree sign of the Windows ANSI code page.
const char kHeader[] =
    "Directory #,Home SID,Accolc,Slot Cycle Index,SystemPref,SW Version,HW Version,PRL,ERI Version,"
    "HDR Power Save,HDR Roam Status,NAI,Mn Ha Spi Enable,Mn Ha Spi,Mn Aaa Spi Enable,Mn Aaa Spi,"
    "Reverse Tunneling,Home Address,Primary Ha Address,Secondary Ha Address,PAP_USER_ID,HDR Hybrid Pref,"
    "Preferred Mode,CDMA RSSI,CDMA Ec/Io,HDR RSSI,HDR Ec/Io,Temperature (\xB0"
    "C),Prev,Packet Zone ID,Dormant,UATI024,Color Code,AT State\r\n";
static_assert(sizeof kHeader - 1 == 413, "the header line is 413 bytes");

const char kLineFormat[] =
    "%s,%d,%d,%d,%s,%s,%s,%d,%d,%s,%d,%s,%d,%d,%d,%d,%d,%s,%s,%s,%s,%d,%d,%d,%d,%d,%d,%d,%d,%d,%s,%s,%d,%s\r\n";

// inet_ntoa answers in one buffer that its next call overwrites: each text is copied out.
void AddressText(uint32_t address, char (&text)[16]) {
  in_addr a;
  a.s_addr = address;
  lstrcpynA(text, inet_ntoa(a), sizeof text);
}

}  // namespace

void SetFieldTestPeriod(DWORD ms) { g_fieldTestPeriodMs = ms; }

const char* CSEVDOEngine::SystemPrefString(int value) {
  DebugLog("CSEVDOEngine::SystemPrefString\n");
  static const char* const texts[] = {"System A only", "System B only", "Home only",
                                      "Home preferred", "Automatic A",   "Automatic B"};
  return value >= 0 && value <= 5 ? texts[value] : "Unknown (>5)";
}

const char* CSEVDOEngine::ATStateString(int value) {
  DebugLog("CSEVDOEngine::ATStateString\n");
  static const char* const texts[] = {"Inactive", "Acquisition", "Sync", "Idle", "Access", "Connected"};
  return value >= 0 && value <= 5 ? texts[value] : "Unknown (> 5)";
}

const char* CSEVDOEngine::YesNoString(int value) {
  DebugLog("CSEVDOEngine::YesNoString\n");
  return value ? "Yes" : "No";
}

void CSEVDOEngine::CallFieldTestHeader() {
  DebugLog("CSEVDOEngine::CallFieldTestHeader\n");
  WMC_FIELDTEST_CALLBACK fn = g_hostCallbacks.fieldTest.load();
  if (!fn) return;
  fn(kHeader, static_cast<int>(sizeof kHeader - 1));
  if (StopRequested()) return;  // the host shut down from its callback

  // The slowly changing values, read once per start; a failed read keeps the value it had.
  uint16_t u16 = 0;
  if (sdk_->PstGetSystemPref(0, &u16, kSdkTimeoutPst) == 0) systemPreference_ = u16;
  if (sdk_->PstGetAccolc(0, &u16, kSdkTimeoutPst) == 0) accolc_ = u16;
  if (sdk_->PstGetPrefMode(0, &u16, kSdkTimeoutPst) == 0) preferredMode_ = u16;
  if (!device_.firmwareVersion[0])
    lstrcpynA(device_.firmwareVersion, GetFirmwareVer().c_str(), sizeof device_.firmwareVersion);
  if (!device_.hardwareVersion[0])
    lstrcpynA(device_.hardwareVersion, GetHardwareVer().c_str(), sizeof device_.hardwareVersion);
  if (device_.prlVersion == 0) device_.prlVersion = GetPRLVer();
  uint8_t signal[12] = {};
  if (sdk_->GetRssiEcio(signal, kSdkTimeout) == 0) {
    std::memcpy(&cdmaRssi_, signal + 4, 2);
    std::memcpy(&cdmaEcio_, signal + 6, 2);
    std::memcpy(&hdrRssi_, signal + 8, 2);
    std::memcpy(&hdrEcio_, signal + 10, 2);
  }
  char nai[sizeof nai_] = {};
  uint16_t haEnable = 0, aaaEnable = 0, tunneling = 0;
  uint32_t haSpi = 0, aaaSpi = 0, home = 0, primary = 0, secondary = 0;
  if (sdk_->PstGetDsMipGenUser(0, sizeof nai, nai, &haEnable, &haSpi, &aaaEnable, &aaaSpi, &tunneling, &home,
                               &primary, &secondary, kSdkTimeoutPst) == 0) {
    lstrcpynA(nai_, nai, sizeof nai_);
    haSpiEnable_ = haEnable;
    haSpi_ = haSpi;
    aaaSpiEnable_ = aaaEnable;
    aaaSpi_ = aaaSpi;
    reverseTunneling_ = tunneling;
    homeAddress_ = home;
    primaryHa_ = primary;
    secondaryHa_ = secondary;
  }
  int32_t temperature = 0;
  if (sdk_->GetTemperature(&temperature, kSdkTimeout) == 0) temperature_ = temperature;
  if (sdk_->PstGetSci(&u16, kSdkTimeout) == 0) slotCycleIndex_ = u16;
  if (sdk_->GetERIVer("eri_nam1", &u16, kSdkTimeout) == 0) eriVersion_ = u16;
  if (sdk_->GetTechPacketZone(&u16, kSdkTimeout) == 0) packetZone_ = u16;
  mdn_ = ReadMobileDirNum();
  ReadHomeSidNid();

  StartEngineTimer(EngineTimer::kFieldTest, this, g_fieldTestPeriodMs, FieldTestTimerProc);  // at most one
}

void CALLBACK FieldTestTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  // Only the engine that started the trace: once it is shut down the timer stops, and a later
  // start-up does not resume the trace.
  EngineRef engine = TimerEngine(EngineTimer::kFieldTest, id);
  if (!engine) return;
  if (!g_hostCallbacks.fieldTest.load()) KillEngineTimerHere(EngineTimer::kFieldTest);  // switched off
  DebugLog("CALLING FIELD TEST\n");
  engine->CallFieldTest();
}

void CSEVDOEngine::CallFieldTest() {
  DebugLog("CSEVDOEngine::CallFieldTest\n");
  WMC_FIELDTEST_CALLBACK fn = g_hostCallbacks.fieldTest.load();
  if (!fn) return;
  int32_t t = 0;
  if (sdk_->GetTemperature(&t, kSdkTimeoutTemperature) == 0) temperature_ = t;
  char home[16], primary[16], secondary[16];
  AddressText(homeAddress_, home);
  AddressText(primaryHa_, primary);
  AddressText(secondaryHa_, secondary);
  char firmware[sizeof device_.firmwareVersion + 1] = {}, hardware[sizeof device_.hardwareVersion + 1] = {};
  std::memcpy(firmware, device_.firmwareVersion, sizeof device_.firmwareVersion);
  std::memcpy(hardware, device_.hardwareVersion, sizeof device_.hardwareVersion);
  char line[2048];
  int n = std::snprintf(
      line, sizeof line, kLineFormat, mdn_.c_str(), static_cast<int>(homeSid_), static_cast<int>(accolc_),
      static_cast<int>(slotCycleIndex_), SystemPrefString(systemPreference_), firmware, hardware,
      static_cast<int>(device_.prlVersion), static_cast<int>(eriVersion_), YesNoString(static_cast<int>(hdrPowerSave_)),
      static_cast<int>(hdrRoamStatus_), nai_, static_cast<int>(haSpiEnable_), static_cast<int>(haSpi_),
      static_cast<int>(aaaSpiEnable_), static_cast<int>(aaaSpi_), static_cast<int>(reverseTunneling_), home, primary,
      secondary, sipUserId_.c_str(), static_cast<int>(hdrHybridPreference_), static_cast<int>(preferredMode_),
      -static_cast<int>(cdmaRssi_), static_cast<int>(cdmaEcio_), -static_cast<int>(hdrRssi_),
      static_cast<int>(hdrEcio_), static_cast<int>(temperature_), static_cast<int>(network_.serviceType),
      static_cast<int>(packetZone_), YesNoString(static_cast<int>(dormant_)), uati_, static_cast<int>(colorCode_),
      ATStateString(atState_));
  if (n < 0) return;
  if (n >= static_cast<int>(sizeof line)) n = static_cast<int>(sizeof line) - 1;
  fn(line, n);
}
