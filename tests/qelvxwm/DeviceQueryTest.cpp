// The built module, loaded by path from a folder assembled per test, against the real
// client library and the simulated-firmware service, the stand-in SDK and card-detect
// libraries; documents compared as parsed trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <thread>

#include "DebugOutputCapture.h"
#include "FirmwareSim.h"
#include "ModuleTestSupport.h"
#include "Registry.h"
#include "SimDeviceControl.h"
#include "SimSdkControl.h"

namespace {

using namespace qeltest;

using Status = std::array<uint8_t, 4>;
const Status kOn = {0x04, 0, 0, 0x0D};
const Status kOff = {0x04, 0, 0, 0x0C};
const Status kDisabled = {0x04, 0, 0, 0x00};
const Status kNoModem = {0x00, 0, 0, 0x0D};
const wchar_t* const kLogKey = L"Software\\DevuRezAzeve\\QelVXWM";

std::string TestName() {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  for (char& c : name)
    if (c == '/') c = '_';
  return name;
}

const std::string kApi =
    "API{QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7},QelCardDetect{Version:1.1.0.7}}";

class DeviceQuery : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(RegisterSimService());
    firmware_ = new FirmwareSim();  // held open so the firmware's state outlives each service run
    ASSERT_TRUE(firmware_->Open());
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, kLogKey, L"TraceLevel", L"TBDOL_TRACE"));
  }
  static void TearDownTestSuite() {
    RegDeleteKeyW(HKEY_CURRENT_USER, kLogKey);
    delete firmware_;
    firmware_ = nullptr;
  }
  static void SetFirmware(const Status& status) {
    firmware_->Reset();
    firmware_->Update([&](FirmwareSimBlock& b) {
      for (int i = 0; i < 4; ++i) b.status[i] = status[i];
    });
  }
  static FirmwareSim* firmware_;
  void SetUp() override {
    SetEnvironmentVariableA("QEL_SIMDEVICE_BLOCK", ("Local\\QelVxwmTest-" + std::to_string(GetCurrentProcessId())).c_str());
    device_.reset(new SimDeviceControl());
    ASSERT_TRUE(device_->ok());
    device_->Reset();
    cdma_.reset(new SimSdkControl());
    ASSERT_TRUE(cdma_->ok());
    cdma_->Reset();
    SetFirmware(kOn);
  }
  void TearDown() override { module_.library.reset(); }

  // Assembles the folder, loads the module, runs one query and returns the document's tree.
  std::string Query(const std::vector<Part>& parts, int* result = nullptr, const std::string& name = "QelVXWM.dll") {
    dir_ = MakeModuleFolder(TestName(), parts);
    if (dir_.empty() || !module_.Load(dir_, name)) return "!not loaded";
    int r = module_.Query();
    if (result) *result = r;
    return Tree(module_.Document());
  }
  static std::vector<Part> With(std::vector<Part> parts, const std::vector<Part>& more) {
    parts.insert(parts.end(), more.begin(), more.end());
    return parts;
  }

  void ScriptCdma() {
    device_->SetDevices({2240});
    cdma_->SetOut("QelGetCarrierID", uint32_t{5});
    cdma_->SetOut("QelGetESN", uint32_t{(159u << 24) | 42u});
    cdma_->SetOut("QelGetPRLVersion", uint16_t{65535});
    cdma_->SetText("QelGetHardwareVersion", "HW-2");
    cdma_->SetText("QelGetFirmwareVersion", "FW-3");
    cdma_->SetText("QelGetFirmwareBuildDate", "20081105");
    cdma_->SetText("QelGetBootVersion", "BOOT-1");
  }
  void ScriptGsm(uint32_t simStatus) {
    device_->SetDevices({4410});
    device_->SetRead(kSimHardware, 0, L"HW-G");
    device_->SetRead(kSimFirmware, 0, L"FW-G");
    device_->SetRead(kSimBuildDate, 0, L"081105");
    device_->SetRead(kSimBoot, 0, L"BOOT-G");
    device_->SetRead(kSimImei, 0, L"358000000000017");
    device_->SetRead(kSimSerial, 0, L"FSN0001");
    device_->SetRead(kSimImsi, 0, L"123456789");
    (*device_)->imsiMcc = 0x0310;
    (*device_)->imsiMnc = 0x0001;
    const uint8_t iccid[10] = {0x89, 0x01, 0x26, 0x00, 0x0A, 0xFF, 0x00, 0x00, 0x12, 0x34};
    std::memcpy((*device_)->iccid, iccid, 10);
    (*device_)->cardType = 21;
    (*device_)->simStatus = simStatus;
    (*device_)->simDelayMs = 30;
  }

  std::unique_ptr<SimDeviceControl> device_;
  std::unique_ptr<SimSdkControl> cdma_;
  Module module_;
  std::string dir_;
};

const std::vector<Part> kCdmaParts = {{"sim\\sdk\\full\\Qel_Evdomx.dll", "qel_evdomx.dll"}};
const std::vector<Part> kR4Parts = {{"sim\\module\\Qel32_KX450.dll", ""}};
const std::vector<Part> kNewerGsmParts = {{"QelVXWM.dll", ""}, {"QelVxAux.dll", ""},
                                          {"sim\\module\\QelCardDetect.dll", ""}, {"sim\\module\\Qel32_KX450.dll", ""}};
const std::vector<Part> kOlderGsmParts = {{"gsmonly\\QelVXWM.dll", "QelVXWM.dll"}, {"QelVxAux.dll", ""},
                                          {"sim\\module\\Qel32_KX450.dll", ""}};

FirmwareSim* DeviceQuery::firmware_ = nullptr;

struct PowerCase {
  Status firmware;
  const char* device;
};
class PowerStates : public DeviceQuery, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PowerStates, DocumentShowsPresenceAndPower) {
  SetFirmware(GetParam().firmware);
  device_->SetDevices({2240});
  int result = -1;
  EXPECT_EQ(Query(With(BaseParts(), kCdmaParts), &result), "VXRWM{" + std::string(kHeader) + "," + kApi + "," +
                                                             GetParam().device + "}");
  EXPECT_EQ(result, 0);
  EXPECT_EQ((*device_)->createCalls, 0u) << "no technology detection unless powered";
}
INSTANTIATE_TEST_SUITE_P(
    Firmware, PowerStates,
    ::testing::Values(PowerCase{kNoModem, "Device{Present:FALSE}"},
                      PowerCase{kOff, "Device{Present:TRUE,Technology{Type:UNKNOWN},Enabled:FALSE}"},
                      PowerCase{kDisabled, "Device{Present:TRUE,Technology{Type:UNKNOWN},Enabled:FALSE}"}));

// A power state that cannot be read counts as no modem; the state it never got is not logged.
TEST_F(DeviceQuery, UnreadablePowerStateIsNoModem) {
  firmware_->Update([](FirmwareSimBlock& b) { b.flags |= kSimFailRead; });
  device_->SetDevices({2240});
  int result = -1;
  EXPECT_EQ(Query(With(BaseParts(), kCdmaParts), &result),
            "VXRWM{" + std::string(kHeader) + "," + kApi + ",Device{Present:FALSE}}");
  EXPECT_EQ(result, 0);
  std::string log = ReadFile(AppDataLogs() + "QelVXWM.log");
  EXPECT_NE(log.find("Failed to get power state"), std::string::npos) << log;
  EXPECT_EQ(log.find("Power state:"), std::string::npos) << log;
  EXPECT_EQ((*device_)->createCalls, 0u);
}

TEST_F(DeviceQuery, CdmaModem) {
  ScriptCdma();
  EXPECT_EQ(Query(With(BaseParts(), kCdmaParts)),
            "VXRWM{" + std::string(kHeader) + ",API{QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7},"
            "QelCardDetect{Version:1.1.0.7},QelApiInterface{Version:2.40000.0.65535}},"
            "Device{Present:TRUE,Technology{Type:CDMA},Enabled:TRUE,ESN:159-00000042,PRL_Version:65535,"
            "Carrier_ID:Verizon Vazudari,Hardware{Version:HW-2},Firmware{Bootloader{Version:BOOT-1},"
            "Application{Version:FW-3,Build_Date:20081105}}}}");
  ASSERT_EQ(cdma_->Calls("QelApiOpenEx").size(), 1u);
  EXPECT_EQ(cdma_->Calls("QelApiOpenEx")[0].args[0], 18u);
  EXPECT_EQ(cdma_->Calls("QelApiClose").size(), 1u);
  EXPECT_EQ(std::wstring((*device_)->registryPath), L"SOFTWARE\\Veltra Vazudari Inc\\Devices_API");
}

TEST_F(DeviceQuery, CdmaReadThatFailsLeavesItsElementOut) {
  ScriptCdma();
  cdma_->SetResult("QelGetFirmwareVersion", 5);  // the shared buffer still holds the hardware text
  cdma_->SetResult("QelGetPRLVersion", 5);
  cdma_->SetOut("QelGetCarrierID", uint32_t{12});  // no name
  std::string tree = Query(With(BaseParts(), kCdmaParts));
  EXPECT_NE(tree.find("Device{Present:TRUE,Technology{Type:CDMA},Enabled:TRUE,ESN:159-00000042,"
                      "Hardware{Version:HW-2},Firmware{Bootloader{Version:BOOT-1},Application{Build_Date:20081105}}}"),
            std::string::npos)
      << tree;
}

TEST_F(DeviceQuery, CdmaOpenFailureIsTheStatus) {
  ScriptCdma();
  cdma_->block().openResult[18] = 10;
  std::string tree = Query(With(BaseParts(), kCdmaParts));
  EXPECT_NE(tree.find("Device{Present:TRUE,Technology{Type:CDMA},Enabled:TRUE},Status:Failed to open API"),
            std::string::npos)
      << tree;
  EXPECT_EQ(cdma_->Calls("QelGetESN").size(), 0u);
  EXPECT_EQ(cdma_->Calls("QelApiClose").size(), 0u);
}

TEST_F(DeviceQuery, CdmaOpenResultTwelveCountsAsOpen) {
  ScriptCdma();
  cdma_->block().openResult[18] = 12;
  std::string tree = Query(With(BaseParts(), kCdmaParts));
  EXPECT_NE(tree.find("ESN:159-00000042"), std::string::npos) << tree;
  EXPECT_EQ(cdma_->Calls("QelApiClose").size(), 1u);
}

TEST_F(DeviceQuery, CdmaFallbackLibraryGetsWideBuffers) {
  device_->SetDevices({2250});
  device_->SetRead(kSimHardware, 0, L"HWV-1");
  device_->SetRead(kSimFirmware, 0, L"FWV-1");
  device_->SetRead(kSimBuildDate, 0, L"080101");
  device_->SetRead(kSimBoot, 0, L"BTV-1");
  (*device_)->carrierId = 2;
  (*device_)->esn = 0;
  (*device_)->prlVersion = 7;
  std::string tree = Query(With(BaseParts(), {{"sim\\module\\QelApiInterfaceU.dll", ""}}));
  EXPECT_EQ(tree, "VXRWM{" + std::string(kHeader) + ",API{QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7},"
                  "QelCardDetect{Version:1.1.0.7},QelApiInterface{Version:5.0.3.2}},"
                  "Device{Present:TRUE,Technology{Type:CDMA},Enabled:TRUE,ESN:000-00000000,PRL_Version:7,"
                  "Carrier_ID:Sprint,Hardware{Version:HWV-1},Firmware{Bootloader{Version:BTV-1},"
                  "Application{Version:FWV-1,Build_Date:080101}}}}");
}

struct SimCase {
  uint32_t status;
  const char* sim;
  bool networkLocked;
};
class SimStates : public DeviceQuery, public ::testing::WithParamInterface<SimCase> {};

TEST_P(SimStates, GsmModemWithSim) {
  ScriptGsm(GetParam().status);
  std::string device =
      "Device{Present:TRUE,Technology{Type:HSDPA},Enabled:TRUE,Imei:358000000000017,Device_Type:LP4430,"
      "Hardware{Version:HW-G,FSN:FSN0001},Firmware{Bootloader{Version:BOOT-G},Application{Version:FW-G,"
      "Build_Date:081105}}" + std::string(GetParam().networkLocked ? ",Netork_Locked:FALSE" : "") + "}";
  EXPECT_EQ(Query(With(BaseParts(), kR4Parts)),
            "VXRWM{" + std::string(kHeader) + ",API{QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7},"
            "QelCardDetect{Version:1.1.0.7},QelApiInterface{Version:4.2.0.11}}," + device + "," + GetParam().sim + "}");
  EXPECT_EQ((*device_)->lastOpenDevice, 13);
  EXPECT_EQ((*device_)->notifyId, 17u);
  EXPECT_EQ((*device_)->registerMask, ~0ull);
  EXPECT_EQ((*device_)->openRecordSize, 340u);
  EXPECT_EQ(std::wstring((*device_)->openLogName), L"QelApiInterface-QelVXWM.log");
  EXPECT_EQ((*device_)->closeCalls, 1u);
  EXPECT_NE((*device_)->notifyThread, GetCurrentThreadId());
}
INSTANTIATE_TEST_SUITE_P(
    Sdk, SimStates,
    ::testing::Values(
        SimCase{7, "SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:FALSE},Home_MCC:310,Home_MNC:001,"
                   "IMSI:,ICCID:890126000aff00001234}", true},
        SimCase{1, "SIM{Present:FALSE}", false},
        SimCase{3, "SIM{Present:TRUE,Security{PIN1_Locked:TRUE,PIN1_Blocked:FALSE}}", false},
        SimCase{6, "SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:TRUE}}", false},
        SimCase{10, "SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:FALSE}}", false}));

TEST_F(DeviceQuery, GsmNewerLibraryUsesTheDeviceList) {
  ScriptGsm(7);
  device_->SetDevices({4420});
  (*device_)->availCount = 1;
  (*device_)->availId = 101;
  std::string tree = Query(With(BaseParts(), {{"sim\\module\\QelApiInterfaceU.dll", ""}}));
  EXPECT_NE(tree.find("Device_Type:LP4420"), std::string::npos) << tree;
  EXPECT_NE(tree.find("QelApiInterface{Version:5.0.3.2}"), std::string::npos) << tree;
  EXPECT_EQ((*device_)->lastOpenDevice, 101);
  EXPECT_EQ((*device_)->notifyId, 2008u);
  EXPECT_NE(tree.find("ICCID:890126000aff00001234"), std::string::npos) << tree;
}

TEST_F(DeviceQuery, GsmOpenFailure) {
  ScriptGsm(7);
  (*device_)->openResult = 910;
  std::string tree = Query(With(BaseParts(), kR4Parts));
  EXPECT_NE(tree.find("Device{Present:TRUE,Technology{Type:HSDPA},Enabled:TRUE},Status:Failed to open API}"),
            std::string::npos)
      << tree;
}

TEST_F(DeviceQuery, GsmFailedHardwareReadReportsNoSimItNeverHeardOf) {
  ScriptGsm(7);
  (*device_)->simMode = 1;  // no notification: the event is set by the failed read only
  device_->SetRead(kSimHardware, 5);
  DWORD start = GetTickCount();
  std::string tree = Query(With(BaseParts(), kR4Parts));
  EXPECT_LT(GetTickCount() - start, 10000u) << "no wait after a failed hardware read";
  EXPECT_EQ(tree.find("SIM"), std::string::npos) << tree;
  EXPECT_EQ(tree.find("Imei"), std::string::npos) << "nothing read after the hardware version";
}

TEST_F(DeviceQuery, GsmFailedImsiReadWritesNoMccMncOrIccid) {
  ScriptGsm(7);
  device_->SetRead(kSimImsi, 5);
  std::string tree = Query(With(BaseParts(), kR4Parts));
  EXPECT_NE(tree.find(",SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:FALSE},IMSI:}"), std::string::npos)
      << tree;
  EXPECT_EQ((*device_)->reads[kSimIccId].calls, 0u);
}

TEST_F(DeviceQuery, GsmLongImeiIsCutToItsField) {
  ScriptGsm(7);
  device_->SetRead(kSimImei, 0, L"123456789012345678901234567890123456");  // fills the SDK's room, unterminated
  device_->SetRead(kSimSerial, 0, L"ABCDEFGHIJKLMNOPQRST");
  std::string tree = Query(With(BaseParts(), kR4Parts));
  EXPECT_NE(tree.find("Imei:123456789012345,"), std::string::npos) << tree;
  EXPECT_NE(tree.find("FSN:ABCDEFGHIJKLMNO}"), std::string::npos) << tree;
}

TEST_F(DeviceQuery, SimStatusNotArrivingEndsAfterTheRealTwentySeconds) {
  ScriptGsm(7);
  (*device_)->simMode = 1;
  DWORD start = GetTickCount();
  std::string tree = Query(With(BaseParts(), kR4Parts));
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 20000u);
  EXPECT_LT(elapsed, 30000u);
  EXPECT_EQ(tree.find("SIM"), std::string::npos) << tree;
  EXPECT_NE(tree.find("Imei:358000000000017"), std::string::npos) << tree;
  EXPECT_EQ((*device_)->closeCalls, 1u);
}

struct MissingCase {
  const char* name;
  std::vector<Part> parts;
  const char* tree;
};
class MissingLibraries : public DeviceQuery, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(MissingLibraries, LeaveTheirDataOut) {
  device_->SetDevices({2240});
  int result = -1;
  EXPECT_EQ(Query(GetParam().parts, &result), "VXRWM{" + std::string(kHeader) + "," + GetParam().tree + "}");
  EXPECT_EQ(result, 0);
}
INSTANTIATE_TEST_SUITE_P(
    Module, MissingLibraries,
    ::testing::Values(
        MissingCase{"NoClientLibrary", {{"QelVXWM.dll", ""}, {"sim\\module\\QelCardDetect.dll", ""}},
                    "API{QelVXWM{Version:2.1.0.7},QelCardDetect{Version:1.1.0.7}},Device{Present:FALSE}"},
        MissingCase{"NoCardDetect", {{"QelVXWM.dll", ""}, {"QelVxAux.dll", ""}},
                    "API{QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7}},"
                    "Device{Present:TRUE,Technology{Type:UNKNOWN},Enabled:TRUE}"},
        MissingCase{"NoSdk", BaseParts(),
                    "API{QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7},QelCardDetect{Version:1.1.0.7}},"
                    "Device{Present:TRUE,Technology{Type:CDMA},Enabled:TRUE}"},
        MissingCase{"SdkWithoutAnEntryPoint", {{"QelVXWM.dll", ""}, {"QelVxAux.dll", ""},
                                                {"sim\\module\\QelCardDetect.dll", ""},
                                                {"sim\\sdk\\norequired\\Qel_Evdomx.dll", "qel_evdomx.dll"}},
                    "API{QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7},QelCardDetect{Version:1.1.0.7}},"
                    "Device{Present:TRUE,Technology{Type:CDMA},Enabled:TRUE}"},
        MissingCase{"CardDetectWithoutVersion",
                    {{"QelVXWM.dll", ""}, {"QelVxAux.dll", ""}, {"sim\\module\\plain\\QelCardDetect.dll", ""}},
                    "API{QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7},QelCardDetect{Version:0.0.0.0}},"
                    "Device{Present:TRUE,Technology{Type:CDMA},Enabled:TRUE}"}),
    [](const ::testing::TestParamInfo<MissingCase>& info) { return std::string(info.param.name); });

TEST_F(DeviceQuery, ModuleRecordsItsOwnVersionUnderAnyName) {
  // Nothing in the folder is called QelVxWmU.dll, or QelVXWM.dll either.
  std::string tree = Query(BaseParts("QelVXWM.dll", "VxWelcomeInfo.dll"), nullptr, "VxWelcomeInfo.dll");
  EXPECT_NE(tree.find("QelVXWM{Version:2.1.0.7}"), std::string::npos) << tree;
}

struct TechCase {
  std::vector<uint32_t> ids;
  const char* type;
};
class Technology : public DeviceQuery, public ::testing::WithParamInterface<TechCase> {};

TEST_P(Technology, LastDeviceDecides) {
  (*device_)->deviceCount = 0;
  for (uint32_t id : GetParam().ids) (*device_)->deviceIds[(*device_)->deviceCount++] = id;
  std::string tree = Query(BaseParts());
  EXPECT_NE(tree.find(std::string("Technology{Type:") + GetParam().type + "}"), std::string::npos) << tree;
}
INSTANTIATE_TEST_SUITE_P(Ids, Technology,
                         ::testing::Values(TechCase{{2240, 4420}, "HSDPA"}, TechCase{{4420, 2240}, "CDMA"},
                                           TechCase{{9999}, "HSDPA"}, TechCase{{}, "UNKNOWN"}));

TEST_F(DeviceQuery, NullCardDetectClientIsNotUsed) {
  (*device_)->createFails = 1;
  device_->SetDevices({2240});
  std::string tree = Query(BaseParts());
  EXPECT_NE(tree.find("Technology{Type:UNKNOWN}"), std::string::npos) << tree;
  EXPECT_EQ((*device_)->nullClientCalls, 0u);
}

TEST_F(DeviceQuery, ResultCodesAndCopyProtocol) {
  dir_ = MakeModuleFolder(TestName(), BaseParts());
  ASSERT_TRUE(module_.Load(dir_));
  unsigned length = 77;
  wchar_t probe[4] = {L'Z', L'Z', L'Z', L'Z'};
  EXPECT_EQ(module_.Copy(probe, &length), 17);
  EXPECT_EQ(length, 77u);
  ASSERT_EQ(module_.Query(), 0);
  length = 0;
  EXPECT_EQ(module_.Copy(nullptr, &length), 2);
  unsigned needed = length;
  ASSERT_GT(needed, 100u);
  std::wstring text(needed + 8, L'#');
  length = needed - 1;  // one short
  EXPECT_EQ(module_.Copy(&text[0], &length), 2);
  EXPECT_EQ(length, needed);
  EXPECT_EQ(text[0], L'#');
  length = needed;  // exact fit
  EXPECT_EQ(module_.Copy(&text[0], &length), 0);
  EXPECT_EQ(length, needed);
  EXPECT_EQ(text[needed - 1], L'\0');
  EXPECT_EQ(text[needed], L'#') << "nothing written past the terminator";
  std::wstring again = module_.Document();
  EXPECT_EQ(again, text.substr(0, needed - 1));
  EXPECT_NE(Tree(again).find("VXRWM{Header"), std::string::npos);
}

TEST_F(DeviceQuery, MultithreadedCallerGetsSixteenAndNoCache) {
  dir_ = MakeModuleFolder(TestName(), BaseParts());
  ASSERT_TRUE(module_.Load(dir_));
  ASSERT_EQ(module_.Query(), 0);
  int result = -1, copy = -1;
  std::thread mta([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    result = module_.Query();
    unsigned length = 0;
    copy = module_.Copy(nullptr, &length);
    CoUninitialize();
  });
  mta.join();
  EXPECT_EQ(result, 16);
  EXPECT_EQ(copy, 17);
  EXPECT_EQ(module_.Query(), 0) << "the next query on an apartment thread works again";
}

TEST_F(DeviceQuery, LogAndDocumentInTheApplicationDataFolder) {
  std::string tree = Query(BaseParts());
  std::string xml = ReadFile(AppDataLogs() + "QelVXWM.xml");
  ASSERT_FALSE(xml.empty());
  EXPECT_EQ(Tree(Wide(xml)), tree);
  std::string log = ReadFile(AppDataLogs() + "QelVXWM.log");
  EXPECT_NE(log.find("QelVXWM : "), std::string::npos);
  EXPECT_NE(log.find("Returning: 0"), std::string::npos);
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, " 0x%08lx : ", static_cast<unsigned long>(GetCurrentThreadId()));
  EXPECT_NE(log.find(prefix), std::string::npos) << "the query's lines carry this thread's id: " << prefix;
  EXPECT_EQ(log.find("ID 0x"), std::string::npos) << "that prefix is the older build's";
  EXPECT_NE(log.find(" E :   selectSingleNode /VXRWM failed, hr = 00000001"), std::string::npos);
}

TEST_F(DeviceQuery, NoLibraryLoadInTheEntryPoint) {
  dir_ = MakeModuleFolder(TestName(), BaseParts());
  ASSERT_TRUE(module_.Load(dir_));
  std::string log = ReadFile(AppDataLogs() + "QelVXWM.log");
  ASSERT_NE(log.find("Path: "), std::string::npos);
  EXPECT_EQ(log.find("Version: "), std::string::npos) << "the version line loads version.dll: not under the loader lock";
  ASSERT_EQ(module_.Query(), 0);
  log = ReadFile(AppDataLogs() + "QelVXWM.log");
  EXPECT_NE(log.find("Version: "), std::string::npos);
}

TEST_F(DeviceQuery, CopyLogLineShowsOnlyWrittenText) {
  dir_ = MakeModuleFolder(TestName(), BaseParts());
  ASSERT_TRUE(module_.Load(dir_));
  ASSERT_EQ(module_.Query(), 0);
  wchar_t small[4] = {L'Z', L'Z', L'Z', L'Z'};  // no terminator
  unsigned length = 4;
  EXPECT_EQ(module_.Copy(small, &length), 2);
  std::string log = ReadFile(AppDataLogs() + "QelVXWM.log");
  size_t at = log.find("rCode: 2 - Len: ");
  ASSERT_NE(at, std::string::npos);
  std::string line = log.substr(at, log.find("\r\n", at) - at);
  EXPECT_EQ(line.find("ZZZZ"), std::string::npos) << line;
}

// Runs program with args, its standard output into the file out; its exit code.
DWORD RunPrinting(const std::string& program, const std::string& args, const std::string& out,
                  DWORD timeoutMs = 60000) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  UniqueFile file(CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
  if (!file) return 0x80000000u;
  std::string line = "\"" + program + "\" " + args;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file.get();
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return GetLastError() | 0x80000000u;
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), WAIT_TIMEOUT);
    WaitForSingleObject(process.get(), 10000);
    return WAIT_TIMEOUT;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

// The demo's welcome-application program: it loads the module by path, queries, copies and
// prints the document of the modem it scripted.
TEST_F(DeviceQuery, WelcomeApplicationPrintsTheDocument) {
  dir_ = MakeModuleFolder(TestName(), With(With(BaseParts(), kCdmaParts), kR4Parts));
  ASSERT_FALSE(dir_.empty());
  const struct {
    const char* modem;
    const char* part;
  } runs[] = {{"cdma", "Technology{Type:CDMA},Enabled:TRUE,ESN:159-00000042,"}, {"gsm", ",SIM{Present:TRUE,"}};
  for (const auto& run : runs) {
    std::string out = dir_ + "welcome.txt";
    EXPECT_EQ(RunPrinting(BinDir() + "welcomeapp.exe", std::string("--modem ") + run.modem + " \"" + dir_ +
                                                           "QelVXWM.dll\"", out),
              0u);
    std::string tree = Tree(Wide(ReadFile(out)));
    EXPECT_NE(tree.find(run.part), std::string::npos) << tree;
  }
}

class ProfileFolders : public DeviceQuery {
 protected:
  void SetUp() override {
    DeviceQuery::SetUp();
    appData_ = Env("APPDATA");
    allUsers_ = Env("ALLUSERSPROFILE");
    userProfile_ = Env("USERPROFILE");
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    cwd_ = cwd;
  }
  void TearDown() override {
    DeviceQuery::TearDown();
    SetEnvironmentVariableA("APPDATA", appData_.c_str());
    SetEnvironmentVariableA("ALLUSERSPROFILE", allUsers_.c_str());
    SetEnvironmentVariableA("USERPROFILE", userProfile_.c_str());
    SetCurrentDirectoryA(cwd_.c_str());
  }
  // A fresh scratch folder bin\qelvxwm\<name>\ made the current directory.
  std::string ScratchCurrentDirectory(const std::string& name) {
    std::string here = BinDir() + "qelvxwm\\" + name + "\\";
    CreateDirectoryA((BinDir() + "qelvxwm").c_str(), nullptr);
    CreateDirectoryA(here.c_str(), nullptr);
    DeleteFileA((here + "QelVXWM.xml").c_str());
    EXPECT_TRUE(SetCurrentDirectoryA(here.c_str()));
    return here;
  }
  std::string appData_, allUsers_, userProfile_, cwd_;
};

TEST_F(ProfileFolders, WithoutAnyProfileFolderTheDocumentGoesToTheCurrentDirectory) {
  std::string here = BinDir() + "qelvxwm\\current\\";
  CreateDirectoryA((BinDir() + "qelvxwm").c_str(), nullptr);
  CreateDirectoryA(here.c_str(), nullptr);
  DeleteFileA((here + "QelVXWM.xml").c_str());
  ASSERT_TRUE(SetCurrentDirectoryA(here.c_str()));
  SetEnvironmentVariableA("APPDATA", nullptr);
  SetEnvironmentVariableA("ALLUSERSPROFILE", "");
  int result = -1;
  std::string tree = Query(BaseParts(), &result);
  EXPECT_EQ(result, 0);
  EXPECT_NE(tree.find("VXRWM{Header"), std::string::npos) << tree;
  EXPECT_EQ(Tree(Wide(ReadFile(here + "QelVXWM.xml"))), tree);
  DeleteFileA((here + "QelVXWM.xml").c_str());
}

TEST_F(ProfileFolders, EmptyApplicationDataFallsBackToAllUsers) {
  SetEnvironmentVariableA("APPDATA", "");
  CreateDirectoryA((Env("ALLUSERSPROFILE") + "\\Application data").c_str(), nullptr);  // as the system has it
  std::string logs = Env("ALLUSERSPROFILE") + "\\Application data\\Veltra Vazudari\\Logs\\";
  DeleteFileA((logs + "QelVXWM.xml").c_str());
  std::string tree = Query(BaseParts());
  EXPECT_EQ(Tree(Wide(ReadFile(logs + "QelVXWM.xml"))), tree);
  EXPECT_NE(ReadFile(logs + "QelVXWM.log").find("Returning: 0"), std::string::npos);
}

TEST_F(ProfileFolders, OverLongApplicationDataSavesNothing) {
  std::string base = BinDir() + "qelvxwm\\" + std::string(240 - (BinDir().size() + 8), 'x');
  ASSERT_LT(base.size(), 250u);
  CreateDirectoryA((BinDir() + "qelvxwm").c_str(), nullptr);
  CreateDirectoryA(base.c_str(), nullptr);
  RemoveDirectoryA((base + "\\Veltra Vazudari\\Logs").c_str());
  RemoveDirectoryA((base + "\\Veltra Vazudari").c_str());
  ASSERT_FALSE(FileExists(base + "\\Veltra Vazudari"));
  SetEnvironmentVariableA("APPDATA", base.c_str());
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  DeleteFileA((std::string(cwd) + "\\QelVXWM.xml").c_str());
  int result = -1;
  DebugOutputCapture debugOutput;
  std::string tree = Query(BaseParts(), &result);
  debugOutput.Stop();
  EXPECT_EQ(result, 0);
  EXPECT_NE(tree.find("VXRWM{Header"), std::string::npos);
  EXPECT_FALSE(FileExists(base + "\\Veltra Vazudari")) << "nothing created for a path that does not fit";
  EXPECT_FALSE(FileExists(std::string(cwd) + "\\QelVXWM.xml"));
  // No log could open in that folder: the line goes to the debugger output.
  EXPECT_NE(debugOutput.text().find("QelVXWM : Log folder too long, document not saved\r\n"), std::string::npos)
      << debugOutput.text();
}

// The older GSM-only build: its document for a GSM modem and its log folder.
TEST_F(DeviceQuery, OlderBuildGsmDocumentAndFolder) {
  ScriptGsm(7);
  std::string logs = Env("USERPROFILE") + "\\Application Data\\Veltra Vazudari\\Logs\\";
  DeleteFileA((logs + "QelVXWM.xml").c_str());
  std::vector<Part> parts = {{"gsmonly\\QelVXWM.dll", "QelVXWM.dll"}, {"QelVxAux.dll", ""},
                             {"sim\\module\\Qel32_KX450.dll", ""}};
  int result = -1;
  std::string tree = Query(parts, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(tree, "VXRWM{" + std::string(kHeader) + ",API{QelApiInterface{Version:4.2.0.11},"
                  "QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7}},"
                  "Device{Present:TRUE,Enabled:TRUE,Technology{Type:HSDPA},Imei:358000000000017,"
                  "Device_Type:UNKNOWN,Hardware{Version:HW-G,FSN:FSN0001},Firmware{Bootloader{Version:BOOT-G},"
                  "Application{Version:FW-G,Build_Date:081105}},Netork_Locked:FALSE},"
                  "SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:FALSE},Home_MCC:310,Home_MNC:001,"
                  "IMSI:,ICCID:890126000aff00001234}}");
  EXPECT_EQ(Tree(Wide(ReadFile(logs + "QelVXWM.xml"))), tree);
  std::string log = ReadFile(logs + "QelVXWM.log");
  EXPECT_NE(log.find("ID 0x"), std::string::npos);
  EXPECT_NE(log.find("Returning: 0"), std::string::npos);
  EXPECT_NE(log.find(" i :   selectSingleNode /VXRWM failed, hr = 00000001"), std::string::npos)
      << "the older builder logs its failures as information";
  EXPECT_EQ((*device_)->closeCalls, 1u);
}

// The older build's SDK libraries: the second R4 name, and the newer library with its own
// SIM status id; its card types name the models its own way.
struct OlderSdkCase {
  const char* name;
  const char* library;
  uint32_t cardType;
  const char* model;
  uint32_t simId;
};
class OlderBuildSdk : public DeviceQuery, public ::testing::WithParamInterface<OlderSdkCase> {};

TEST_P(OlderBuildSdk, LibraryModelAndSimStatus) {
  ScriptGsm(7);
  (*device_)->cardType = GetParam().cardType;
  (*device_)->availCount = 1;
  (*device_)->availId = 102;
  std::string tree = Query({{"gsmonly\\QelVXWM.dll", "QelVXWM.dll"}, {"QelVxAux.dll", ""}, {GetParam().library, ""}});
  EXPECT_NE(tree.find(std::string("Device_Type:") + GetParam().model + ","), std::string::npos) << tree;
  EXPECT_NE(tree.find(",SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:FALSE},Home_MCC:310"),
            std::string::npos)
      << tree;
  EXPECT_EQ((*device_)->notifyId, GetParam().simId);
  EXPECT_EQ((*device_)->closeCalls, 1u);
}
INSTANTIATE_TEST_SUITE_P(
    Older, OlderBuildSdk,
    ::testing::Values(OlderSdkCase{"SecondR4Name", "sim\\module\\Qel64GSMU.dll", 11, "LP4410", 17},
                      OlderSdkCase{"SecondR4NameCard20", "sim\\module\\Qel64GSMU.dll", 20, "LP4430", 17},
                      OlderSdkCase{"NewerLibrary", "sim\\module\\QelApiInterfaceU.dll", 0, "LP4430", 18}),
    [](const ::testing::TestParamInfo<OlderSdkCase>& info) { return std::string(info.param.name); });

TEST_F(DeviceQuery, OlderBuildOpenResultElevenIsNotEnabled) {
  ScriptGsm(7);
  (*device_)->openResult = 11;
  std::string tree = Query({{"gsmonly\\QelVXWM.dll", "QelVXWM.dll"}, {"QelVxAux.dll", ""}, {"sim\\module\\Qel32_KX450.dll", ""}});
  EXPECT_NE(tree.find("Device{Present:TRUE,Enabled:FALSE,Technology{Type:HSDPA},Imei:358000000000017,"), std::string::npos)
      << tree;
}

TEST_F(DeviceQuery, OlderBuildWithoutModem) {
  SetFirmware(kNoModem);
  std::vector<Part> parts = {{"gsmonly\\QelVXWM.dll", "QelVXWM.dll"}, {"QelVxAux.dll", ""},
                             {"sim\\module\\Qel32_KX450.dll", ""}};
  int result = -1;
  std::string tree = Query(parts, &result);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(tree, "VXRWM{" + std::string(kHeader) + ",API{QelApiInterface{Version:4.2.0.11},"
                  "QelVxAux{Version:1.0.0.1},QelVXWM{Version:2.1.0.7}},Device{Present:FALSE}}");
  EXPECT_EQ((*device_)->openCalls, 0u);
}

// An SDK shipped as several libraries finds its siblings in the module's folder, whatever
// the host's folder and current directory (this test program's folder has no sibling).
TEST_F(DeviceQuery, SdkOfSeveralLibrariesLoadsFromTheModuleFolder) {
  ScriptCdma();
  std::string tree = Query(With(BaseParts(), {{"sim\\module\\split\\qel_evdomx.dll", ""},
                                              {"sim\\module\\split\\QelSdkPart.dll", ""}}));
  EXPECT_NE(tree.find("QelApiInterface{Version:2.40000.0.65535}"), std::string::npos) << tree;
  EXPECT_NE(tree.find("ESN:159-00000042,PRL_Version:65535,Carrier_ID:Verizon Vazudari"), std::string::npos) << tree;
}

// A card-detect library that reports an implausible device count: the query reads no more
// devices than the maker's device list holds, says so once and ends (run in its own
// process, where the unbounded count was found to hang).
TEST_F(DeviceQuery, ImplausibleDeviceCountIsBounded) {
  device_->SetDevices({2240, 2240, 2240, 2240, 2240, 2240, 2240, 2240});
  (*device_)->deviceCount = 0xFFFFFFFFu;  // the stand-in answers id 0 past its eight
  dir_ = MakeModuleFolder(TestName(), BaseParts());
  ASSERT_FALSE(dir_.empty());
  std::string out = dir_ + "welcome.txt";
  ASSERT_EQ(RunPrinting(BinDir() + "welcomeapp.exe", "\"" + dir_ + "QelVXWM.dll\"", out, 120000), 0u);
  std::string tree = Tree(Wide(ReadFile(out)));
  EXPECT_NE(tree.find("Technology{Type:HSDPA}"), std::string::npos) << tree;  // the last device read decides
  std::string log = ReadFile(AppDataLogs() + "QelVXWM.log");
  EXPECT_EQ(Count(log, "Implausible device count: 4294967295, reading 200\r\n"), 1u) << log.substr(0, 4000);
  EXPECT_EQ(Count(log, "Unknown device type: 0\r\n"), 192u);
  EXPECT_EQ((*device_)->deviceIdCalls, 200u);
}

// Component versions come from the files: a component's start-up runs only when it is
// used. The card-detect stand-in counts its start-ups; in the older build it stands in as
// the client library, whose version that build reads and whose exports it then misses.
struct StartupCase {
  const char* name;
  Status firmware;
  std::vector<Part> parts;
  const char* version;
  uint32_t startups;
};
void PrintTo(const StartupCase& c, std::ostream* os) { *os << c.name; }
class ComponentStartups : public DeviceQuery, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(ComponentStartups, RunOnlyForUse) {
  ScriptGsm(7);
  SetFirmware(GetParam().firmware);
  std::string tree = Query(GetParam().parts);
  EXPECT_NE(tree.find(GetParam().version), std::string::npos) << tree;
  EXPECT_EQ((*device_)->cardDetectAttaches, GetParam().startups);
}
INSTANTIATE_TEST_SUITE_P(
    Builds, ComponentStartups,
    ::testing::Values(StartupCase{"NewerRadioOff", kOff, BaseParts(), "QelCardDetect{Version:1.1.0.7}", 0},
                      StartupCase{"NewerRadioOn", kOn, BaseParts(), "QelCardDetect{Version:1.1.0.7}", 1},
                      StartupCase{"Older",
                                  kOn,
                                  {{"gsmonly\\QelVXWM.dll", "QelVXWM.dll"},
                                   {"sim\\module\\QelCardDetect.dll", "QelVxAux.dll"},
                                   {"sim\\module\\Qel32_KX450.dll", ""}},
                                  "QelVxAux{Version:1.1.0.7}",
                                  1}),
    [](const ::testing::TestParamInfo<StartupCase>& info) { return std::string(info.param.name); });

// With the service not registered the client library's start fails; the queries leave the
// caller's thread out of any apartment, as they found it (both builds).
struct AbsentCase {
  const char* name;
  std::vector<Part> parts;
};
void PrintTo(const AbsentCase& c, std::ostream* os) { *os << c.name; }
class ServiceAbsent : public DeviceQuery, public ::testing::WithParamInterface<AbsentCase> {};

TEST_P(ServiceAbsent, QueriesLeaveTheCallersApartmentClean) {
  ASSERT_TRUE(WaitServersGone());
  ASSERT_EQ(RunProgram(X64Dir() + "sim\\QelVxWmi.exe", "-UnregServer"), 0u);
  struct Reregister {
    ~Reregister() { EXPECT_TRUE(RegisterSimService()); }
  } reregister;
  dir_ = MakeModuleFolder(TestName(), GetParam().parts);
  ASSERT_TRUE(module_.Load(dir_));
  std::vector<int> results;
  HRESULT after = E_FAIL;
  std::thread([&] {
    for (int i = 0; i < 3; ++i) results.push_back(module_.Query());
    after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(after)) CoUninitialize();
  }).join();
  EXPECT_EQ(results, std::vector<int>({0, 0, 0}));
  EXPECT_EQ(after, S_OK) << "RPC_E_CHANGED_MODE: a query left an apartment behind";
  EXPECT_NE(module_.Document().find(L"<Present>FALSE</Present>"), std::wstring::npos) << Narrow(module_.Document());
}
INSTANTIATE_TEST_SUITE_P(
    Builds, ServiceAbsent,
    ::testing::Values(AbsentCase{"Newer", BaseParts()}, AbsentCase{"Older", kOlderGsmParts}),
    [](const ::testing::TestParamInfo<AbsentCase>& info) { return std::string(info.param.name); });

// Copies with a null buffer or a null length pointer, each in a process of its own (both
// builds): a null buffer has room 0, a null length pointer gets 2 and nothing is written.
struct NullCopyCase {
  const char* name;
  bool nullBuffer;  // else a null length pointer
  std::vector<Part> parts;
};
void PrintTo(const NullCopyCase& c, std::ostream* os) { *os << c.name; }
class NullCopies : public DeviceQuery, public ::testing::WithParamInterface<NullCopyCase> {};

TEST_P(NullCopies, AnswerTwoWithoutWriting) {
  ScriptGsm(7);
  dir_ = MakeModuleFolder(TestName(), GetParam().parts);
  ASSERT_FALSE(dir_.empty());
  std::string out = dir_ + "probe.txt";
  std::string args = std::string(GetParam().nullBuffer ? "null-buffer" : "null-length") + " \"" + dir_ + "QelVXWM.dll\"";
  ASSERT_EQ(RunPrinting(BinDir() + "qelvxwm_copyprobe.exe", args, out), 0u) << "the probe crashed";
  std::string printed = ReadFile(out);
  int query = -1, result = -1;
  if (GetParam().nullBuffer) {
    unsigned length = 0, needed = 0;
    ASSERT_EQ(std::sscanf(printed.c_str(), "query %d %d %u %u", &query, &result, &length, &needed), 4) << printed;
    EXPECT_EQ(length, needed) << "the length needed, as for a buffer of room 0";
    EXPECT_GT(needed, 100u);
  } else {
    char buffer[32] = {};
    ASSERT_EQ(std::sscanf(printed.c_str(), "query %d %d buffer %31s", &query, &result, buffer), 3) << printed;
    EXPECT_STREQ(buffer, "untouched");
  }
  EXPECT_EQ(query, 0);
  EXPECT_EQ(result, 2);
}
INSTANTIATE_TEST_SUITE_P(Builds, NullCopies,
                         ::testing::Values(NullCopyCase{"NewerNullBuffer", true, kNewerGsmParts},
                                           NullCopyCase{"NewerNullLength", false, kNewerGsmParts},
                                           NullCopyCase{"OlderNullBuffer", true, kOlderGsmParts},
                                           NullCopyCase{"OlderNullLength", false, kOlderGsmParts}),
                         [](const ::testing::TestParamInfo<NullCopyCase>& info) { return std::string(info.param.name); });

// The application-data bound at the edge: the log's backup beside the document must fit
// MAX_PATH with its terminator, so a folder whose backup path has 259 characters is used
// and one of 260 is not (nothing created, nothing saved).
struct BoundCase {
  size_t backupPathChars;
  bool saved;
};
class ApplicationDataBound : public ProfileFolders, public ::testing::WithParamInterface<BoundCase> {};

TEST_P(ApplicationDataBound, BackupPathMustFitWithItsTerminator) {
  const std::string kBackupTail = "\\Veltra Vazudari\\Logs\\QelVXWM.log_BACKUP";
  std::string prefix = BinDir() + "qelvxwm\\";
  size_t baseChars = GetParam().backupPathChars - kBackupTail.size();
  ASSERT_GT(baseChars, prefix.size() + 4);
  std::string base = prefix + std::string(baseChars - prefix.size(), 'b');
  ASSERT_EQ((base + kBackupTail).size(), GetParam().backupPathChars);
  CreateDirectoryA(prefix.c_str(), nullptr);
  CreateDirectoryA(base.c_str(), nullptr);
  std::string logs = base + "\\Veltra Vazudari\\Logs\\";
  DeleteFileA((logs + "QelVXWM.xml").c_str());
  DeleteFileA((logs + "QelVXWM.log").c_str());
  RemoveDirectoryA(logs.c_str());
  RemoveDirectoryA((base + "\\Veltra Vazudari").c_str());
  std::string here = ScratchCurrentDirectory("bound-current");
  SetEnvironmentVariableA("APPDATA", base.c_str());
  int result = -1;
  std::string tree = Query(BaseParts(), &result);
  module_.library.reset();  // the log closed, so the folder can be looked at and removed
  EXPECT_EQ(result, 0);
  EXPECT_EQ(FileExists(logs + "QelVXWM.xml"), GetParam().saved);
  if (GetParam().saved) {
    EXPECT_EQ(Tree(Wide(ReadFile(logs + "QelVXWM.xml"))), tree);
  }
  EXPECT_EQ(FileExists(base + "\\Veltra Vazudari"), GetParam().saved) << "nothing created for a path that does not fit";
  EXPECT_FALSE(FileExists(here + "QelVXWM.xml"));
  DeleteFileA((logs + "QelVXWM.xml").c_str());
  DeleteFileA((logs + "QelVXWM.log").c_str());
  RemoveDirectoryA(logs.c_str());
  RemoveDirectoryA((base + "\\Veltra Vazudari").c_str());
  RemoveDirectoryA(base.c_str());
}
INSTANTIATE_TEST_SUITE_P(Edge, ApplicationDataBound,
                         ::testing::Values(BoundCase{259, true}, BoundCase{260, false}),
                         [](const ::testing::TestParamInfo<BoundCase>& info) {
                           return std::to_string(info.param.backupPathChars);
                         });

// The older build on a fresh profile (no Application Data folder): each missing level of
// its log folder is made and the document saved there; a profile whose folder cannot be
// made saves no document, and never one in the current directory.
struct FreshProfileCase {
  const char* name;
  bool profileIsAFile;
};
// The profile folder (or file) and the log folder in it, whoever logged there (the client
// library and the service log under the same profile).
void RemoveProfile(const std::string& profile) {
  std::string logs = profile + "\\Application Data\\Veltra Vazudari\\Logs\\";
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((logs + "*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do DeleteFileA((logs + found.cFileName).c_str());
    while (FindNextFileA(h, &found));
    FindClose(h);
  }
  for (const std::string& level : {logs, profile + "\\Application Data\\Veltra Vazudari", profile + "\\Application Data"})
    RemoveDirectoryA(level.c_str());
  RemoveDirectoryA(profile.c_str());
  DeleteFileA(profile.c_str());
}
class OlderBuildProfile : public ProfileFolders, public ::testing::WithParamInterface<FreshProfileCase> {};

TEST_P(OlderBuildProfile, DocumentOnlyInItsOwnFolder) {
  ScriptGsm(7);
  std::string profile = BinDir() + "qelvxwm\\profile-" + GetParam().name;
  CreateDirectoryA((BinDir() + "qelvxwm").c_str(), nullptr);
  std::string logs = profile + "\\Application Data\\Veltra Vazudari\\Logs\\";
  RemoveProfile(profile);
  if (GetParam().profileIsAFile) {
    UniqueFile file(CreateFileA(profile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
  } else {
    ASSERT_TRUE(CreateDirectoryA(profile.c_str(), nullptr));
  }
  std::string here = ScratchCurrentDirectory(std::string("profile-current-") + GetParam().name);
  SetEnvironmentVariableA("USERPROFILE", profile.c_str());
  int result = -1;
  std::string tree = Query(kOlderGsmParts, &result);
  module_.library.reset();
  EXPECT_EQ(result, 0);
  ASSERT_NE(tree.find("Imei:358000000000017"), std::string::npos) << tree;
  EXPECT_FALSE(FileExists(here + "QelVXWM.xml")) << "the document with the IMEI in the host's current folder";
  EXPECT_EQ(FileExists(logs + "QelVXWM.xml"), !GetParam().profileIsAFile);
  if (!GetParam().profileIsAFile) {
    EXPECT_EQ(Tree(Wide(ReadFile(logs + "QelVXWM.xml"))), tree);
  }
  DeleteFileA((here + "QelVXWM.xml").c_str());
  RemoveProfile(profile);
}
INSTANTIATE_TEST_SUITE_P(Older, OlderBuildProfile,
                         ::testing::Values(FreshProfileCase{"Fresh", false}, FreshProfileCase{"Unusable", true}),
                         [](const ::testing::TestParamInfo<FreshProfileCase>& info) { return std::string(info.param.name); });

// The device-count bound at its edge: 200 devices are all read without a word, 201 are cut
// to the 200 that the maker's device list holds, with the one line.
struct CountCase {
  uint32_t count;
  size_t boundLines;
};
class DeviceCountBound : public DeviceQuery, public ::testing::WithParamInterface<CountCase> {};

TEST_P(DeviceCountBound, ReadsNoMoreThanTheDeviceList) {
  device_->SetDevices({2240});
  (*device_)->deviceCount = GetParam().count;  // the stand-in answers id 0 past its first
  std::string tree = Query(BaseParts());
  module_.library.reset();
  EXPECT_NE(tree.find("Technology{Type:HSDPA}"), std::string::npos) << tree;
  EXPECT_EQ((*device_)->deviceIdCalls, 200u);
  std::string log = ReadFile(AppDataLogs() + "QelVXWM.log");
  EXPECT_EQ(Count(log, "Implausible device count: "), GetParam().boundLines);
  if (GetParam().boundLines) {
    EXPECT_EQ(Count(log, "Implausible device count: 201, reading 200\r\n"), 1u);
  }
}
INSTANTIATE_TEST_SUITE_P(Edge, DeviceCountBound, ::testing::Values(CountCase{200, 0}, CountCase{201, 1}),
                         [](const ::testing::TestParamInfo<CountCase>& info) { return std::to_string(info.param.count); });

// A card-detect library that honours the size argument: each device is offered the whole
// buffer, so the second device is read too and, being the last, decides.
TEST_F(DeviceQuery, EachDeviceIsOfferedTheWholeBuffer) {
  device_->SetDevices({4410, 2240});
  (*device_)->honourSize = 1;
  std::string tree = Query(BaseParts());
  EXPECT_NE(tree.find("Technology{Type:CDMA}"), std::string::npos) << tree;
  EXPECT_EQ((*device_)->deviceIdCalls, 2u);
}

// A module folder of the given length on this prefix's drive C: (components of at most 100
// characters), made through the extended-length form; the folder's plain path.
std::wstring MakeLongFolder(const std::string& name, size_t chars, const std::vector<Part>& parts) {
  std::wstring dir = Wide("C:\\qelvxwm-long-" + name);
  CreateDirectoryW((L"\\\\?\\" + dir).c_str(), nullptr);
  for (wchar_t part = L'a'; dir.size() < chars; ++part) {
    size_t n = std::min<size_t>(100, chars - dir.size() - 1);
    if (n == 0) n = 1;
    dir += L"\\" + std::wstring(n, part);
    CreateDirectoryW((L"\\\\?\\" + dir).c_str(), nullptr);
  }
  for (const Part& p : parts) {
    std::string file = p.name.empty() ? p.source.substr(p.source.find_last_of('\\') + 1) : p.name;
    if (!CopyFileW(Wide(BinDir() + p.source).c_str(), (L"\\\\?\\" + dir + L"\\" + Wide(file)).c_str(), FALSE))
      return L"";
  }
  return dir;
}

// The current directory on drive C:, whose root a root-relative path means, for a scope.
struct CurrentDirectoryOnC {
  char saved[MAX_PATH] = {};
  CurrentDirectoryOnC() {
    GetCurrentDirectoryA(MAX_PATH, saved);
    SetCurrentDirectoryA("C:\\");
  }
  ~CurrentDirectoryOnC() { SetCurrentDirectoryA(saved); }
};

// A library planted at the drive's root under a name the module loads, removed after.
struct PlantedAtRoot {
  std::string path;
  PlantedAtRoot(const std::string& source, const std::string& name) : path("C:\\" + name) {
    CopyFileA((BinDir() + source).c_str(), path.c_str(), FALSE);
  }
  ~PlantedAtRoot() { DeleteFileA(path.c_str()); }
};

// Long module folders: every library and version comes from the module's own folder,
// however long, and nothing from the drive's root. The client library refuses to start
// from a path longer than its own 261 characters, so the client stand-in (no such limit,
// radio on) stands in for it here; the planted "client library" is the card-detect
// stand-in, which counts its start-ups, has no client exports and a version of its own.
struct LongFolderCase {
  const char* name;
  size_t chars;
  bool extendedLoad;  // the module loaded through the \\?\ form
};
class LongFolders : public DeviceQuery, public ::testing::WithParamInterface<LongFolderCase> {};

TEST_P(LongFolders, LoadFromTheModulesFolderOnly) {
  CurrentDirectoryOnC current;
  PlantedAtRoot aux("sim\\module\\QelCardDetect.dll", "QelVxAux.dll");
  PlantedAtRoot card("sim\\module\\QelCardDetect.dll", "QelCardDetect.dll");
  ASSERT_TRUE(FileExists(aux.path));
  std::wstring dir = MakeLongFolder(GetParam().name, GetParam().chars,
                                    {{"QelVXWM.dll", ""}, {"sim\\aux\\full\\qelvxaux.dll", "QelVxAux.dll"},
                                     {"sim\\module\\QelCardDetect.dll", ""}});
  ASSERT_FALSE(dir.empty());
  ASSERT_GE(dir.size(), GetParam().chars);
  std::wstring path = (GetParam().extendedLoad ? L"\\\\?\\" : L"") + dir + L"\\QelVXWM.dll";
  ASSERT_TRUE(module_.LoadPath(path)) << GetLastError();
  int result = module_.Query();
  std::string tree = Tree(module_.Document());
  module_.library.reset();
  EXPECT_EQ(result, 0);
  EXPECT_NE(tree.find("QelVXWM{Version:2.1.0.7},QelCardDetect{Version:1.1.0.7}}"), std::string::npos) << tree;
  EXPECT_EQ(tree.find("QelVxAux{Version:1.1.0.7}"), std::string::npos) << "the planted library's version";
  EXPECT_NE(tree.find("Device{Present:TRUE,Technology{Type:UNKNOWN},Enabled:TRUE}"), std::string::npos) << tree;
  EXPECT_EQ((*device_)->cardDetectAttaches, 1u) << "only the folder's own card-detect library starts";
  EXPECT_EQ((*device_)->createCalls, 1u);
}
INSTANTIATE_TEST_SUITE_P(
    Folders, LongFolders,
    ::testing::Values(LongFolderCase{"Plain300", 300, false}, LongFolderCase{"Extended300", 300, true},
                      LongFolderCase{"Extended520", 520, true}, LongFolderCase{"Extended700", 700, true}),
    [](const ::testing::TestParamInfo<LongFolderCase>& info) { return std::string(info.param.name); });

// Two query threads and a copy thread for a few seconds, in a process of their own (both
// builds): every query answers 0 and every copied document is whole.
class ConcurrentCallers : public DeviceQuery, public ::testing::WithParamInterface<AbsentCase> {};

TEST_P(ConcurrentCallers, QueryAndCopyFromThreeThreads) {
  ScriptGsm(7);
  dir_ = MakeModuleFolder(TestName(), GetParam().parts);
  ASSERT_FALSE(dir_.empty());
  std::string out = dir_ + "probe.txt";
  DWORD code = RunPrinting(BinDir() + "qelvxwm_probe.exe", "threads \"" + dir_ + "QelVXWM.dll\" 4000", out, 120000);
  std::string printed = ReadFile(out);
  ASSERT_EQ(code, 0u) << std::hex << code << " " << printed;
  unsigned queries = 0, copies = 0, failed = 0;
  ASSERT_EQ(std::sscanf(printed.c_str(), "queries %u copies %u failed %u", &queries, &copies, &failed), 3) << printed;
  EXPECT_GE(queries, 2u);  // a query takes about a second here: a few overlap in the time
  EXPECT_GT(copies, 0u);
  EXPECT_EQ(failed, 0u);
}
INSTANTIATE_TEST_SUITE_P(
    Builds, ConcurrentCallers,
    ::testing::Values(AbsentCase{"Newer", kNewerGsmParts}, AbsentCase{"Older", kOlderGsmParts}),
    [](const ::testing::TestParamInfo<AbsentCase>& info) { return std::string(info.param.name); });

// An SDK that stays loaded and delivers once more after its close: the module has taken its
// notification function back before the close, so nothing calls into it once it is freed
// (a probe process that frees the module and lives on; both builds).
class LateNotification : public DeviceQuery, public ::testing::WithParamInterface<AbsentCase> {};

TEST_P(LateNotification, FindsNoFunctionOfTheFreedModule) {
  ScriptGsm(7);
  (*device_)->simLateMs = 300;
  dir_ = MakeModuleFolder(TestName(), GetParam().parts);
  ASSERT_FALSE(dir_.empty());
  std::string out = dir_ + "probe.txt";
  DWORD code = RunPrinting(BinDir() + "qelvxwm_probe.exe", "late \"" + dir_ + "QelVXWM.dll\" 1000", out);
  EXPECT_EQ(code, 0u) << std::hex << code << " " << ReadFile(out);
  EXPECT_EQ(ReadFile(out).find("query 0 alive"), 0u);
  EXPECT_EQ((*device_)->delivered, 1u);
  EXPECT_EQ((*device_)->callbackAtClose, 0u);
  EXPECT_EQ((*device_)->lateDelivered, 0u);
}
INSTANTIATE_TEST_SUITE_P(
    Builds, LateNotification,
    ::testing::Values(AbsentCase{"Newer", kNewerGsmParts}, AbsentCase{"Older", kOlderGsmParts}),
    [](const ::testing::TestParamInfo<AbsentCase>& info) { return std::string(info.param.name); });

// Each of our libraries loaded and freed 20 times in a process of their own: the busy heap
// stays where it was (each C++ runtime's exception buffer is about 73 KB).
TEST(LoadAndFree, LeavesNoHeapBehind) {
  std::string out = BinDir() + "qelvxwm\\heap.txt";
  CreateDirectoryA((BinDir() + "qelvxwm").c_str(), nullptr);
  const char* libraries[] = {"QelVXWM.dll", "gsmonly\\QelVXWM.dll", "QelVxAux.dll", "wmcqel.dll"};
  std::string args = "heap 20";
  for (const char* library : libraries) args += std::string(" \"") + BinDir() + library + "\"";
  ASSERT_EQ(RunPrinting(BinDir() + "qelvxwm_probe.exe", args, out), 0u);
  std::istringstream lines(ReadFile(out));
  size_t seen = 0;
  for (std::string path; lines >> path;) {
    double perCycle = -1;
    lines >> perCycle;
    EXPECT_LT(perCycle, 2048.0) << path << ": bytes of busy heap left by each load and free";
    ++seen;
  }
  EXPECT_EQ(seen, sizeof libraries / sizeof libraries[0]);
}

}  // namespace
