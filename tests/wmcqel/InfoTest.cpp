// Connection, network and device information through the query exports, over the simulated
// modem's identity and radio.
#include <cstring>
#include <string>
#include <thread>

#include "EngineInfoTestSeams.h"
#include "PluginFixture.h"

namespace {

using namespace plugintest;

DWORD g_now = 0;
DWORD FakeNow() { return g_now; }

std::string g_manufacturer;
int g_manufacturerResult = 0;
int FakeManufacturer(char* buffer, int* length) {
  if (g_manufacturerResult != 0) return g_manufacturerResult;
  lstrcpynA(buffer, g_manufacturer.c_str(), *length + 1);
  *length = static_cast<int>(g_manufacturer.size());
  return 0;
}

class InfoTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    SetManufacturerQuery(FakeManufacturer);
    g_manufacturer = "Varnell-Ostby";
    g_manufacturerResult = 0;
  }
  void TearDown() override {
    SetManufacturerQuery(nullptr);
    PluginTest::TearDown();
  }
  WMC_NETWORK_INFO Network() {
    WMC_NETWORK_INFO n{};
    n.size = sizeof n;
    EXPECT_EQ(WMC_GetNetworkInfo(&n), 0);
    return n;
  }
  WMC_DEVICE_INFO Device() {
    WMC_DEVICE_INFO d{};
    d.size = sizeof d;
    EXPECT_EQ(WMC_GetDeviceInfo(&d), 0);
    return d;
  }
  size_t CallsOf(const char* name) { return sdk_.Calls(name).size(); }
};

// A revision notification on the SDK's thread during the query's last read writes its own
// type (2): the host still sees only the types the query computes.
TEST_F(InfoTest, RevisionNotificationDuringTheQueryLeavesTheHostsServiceType) {
  sdk_->info.service = 1;
  sdk_->info.hdrService = 1;
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.Entry("QelGetSystemTime").delayMs = 1000;
  std::thread sdkSide([&] {
    for (int k = 0; k < 500 && sdk_.Calls("QelGetSystemTime").empty(); ++k) Sleep(2);
    sdk_.Inject(19, {0, 2});
  });
  WMC_NETWORK_INFO n = Network();
  sdkSide.join();
  EXPECT_EQ(LinesWith("QEL_NOTIFY_Prev - 2"), 1) << "delivered during the read";
  EXPECT_EQ(n.serviceType, 7u);
}

struct NetworkCase {
  uint32_t service;     // QelGetServiceIndication
  uint16_t hdrService;  // QelGetHdrSrvState
  uint16_t hdrRoaming;
  uint32_t roaming;
  uint32_t callState;
  uint32_t wantType, wantRoaming, wantState;
};
class NetworkRefresh : public InfoTest, public ::testing::WithParamInterface<NetworkCase> {};

TEST_P(NetworkRefresh, ReadsTheModemOnceAndGivesTheServiceType) {
  const NetworkCase& c = GetParam();
  SimSdkInfoState& m = sdk_->info;
  m.service = c.service;
  m.hdrService = c.hdrService;
  m.hdrRoaming = c.hdrRoaming;
  m.roaming = c.roaming;
  m.callState = c.callState;
  m.cdmaRssi = 80;
  m.hdrRssi = 61;
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_NETWORK_INFO n = Network();
  EXPECT_EQ(n.size, 80u);
  EXPECT_EQ(n.serviceType, c.wantType);
  EXPECT_EQ(n.roaming, c.wantRoaming);
  EXPECT_EQ(n.signalLevel, 16u);
  EXPECT_EQ(n.cdmaRssi, 80u);
  EXPECT_EQ(n.hdrRssi, 61u);
  EXPECT_EQ(Engine()->connection_.state, c.wantState);
  // Which roaming read: the HDR one with HDR service, else the 1x one with 1x service.
  EXPECT_EQ(CallsOf("QelGetHdrRoamStatus"), c.hdrService ? 1u : 0u);
  EXPECT_EQ(CallsOf("QelGetRoamingStatus"), !c.hdrService && c.service ? 1u : 0u);
  m.service = m.hdrService = 0;  // the next query reads nothing and keeps the flags
  EXPECT_EQ(Network().serviceType, c.wantType);
  EXPECT_EQ(CallsOf("QelGetServiceIndication"), 1u);
  EXPECT_EQ(CallsOf("QelGetRssiEcio"), 1u);
}
INSTANTIATE_TEST_SUITE_P(Table, NetworkRefresh, ::testing::Values(
    NetworkCase{0, 0, 0, 1, 0, 0, 0, 1},
    NetworkCase{1, 0, 1, 5, 0x4000, 6, 1, 5},
    NetworkCase{1, 0, 0, 1, 7, 6, 2, 4},
    NetworkCase{1, 2, 1, 0, 0, 7, 2, 1},
    NetworkCase{0, 1, 0, 1, 0, 7, 0, 1}));

TEST_F(InfoTest, RadioOffGivesNoServiceWithoutCallingTheModem) {
  sdk_->info.service = 1;
  sdk_->info.systemTime[0] = 2026;
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_NETWORK_INFO first = Network();
  EXPECT_EQ(first.serviceType, 6u);
  EXPECT_EQ(first.time[0], 2026);
  Engine()->radioOn_ = 0;
  Engine()->refreshNeeded_ = 1;
  sdk_.ClearCalls();
  sdk_->info.systemTime[0] = 1999;
  WMC_NETWORK_INFO n = Network();
  EXPECT_EQ(n.serviceType, 0u);
  EXPECT_EQ(n.time[0], 2026);  // kept
  EXPECT_TRUE(sdk_.Calls().empty());
}

TEST_F(InfoTest, HdrServiceNotificationMakesTheNextQueryReportEvdoWithoutReading) {
  sdk_->info.service = 1;
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(Network().serviceType, 6u);
  ClearCaptured();
  sdk_.ClearCalls();
  ASSERT_TRUE(sdk_.Inject(54, {0, 2}));
  ASSERT_TRUE(qeltest::PumpUntil([] { return !Notifications().empty(); }, 5000));
  EXPECT_EQ(Network().serviceType, 7u);
  EXPECT_TRUE(sdk_.Calls("QelGetHdrSrvState").empty());
}

TEST_F(InfoTest, NetworkTimeStoresFiveOfTheSevenOutputs) {
  sdk_->info.service = 1;
  for (int k = 0; k < 7; ++k) sdk_->info.systemTime[k] = static_cast<uint16_t>(10 + k);
  ASSERT_EQ(WMC_Startup(), 0);
  Engine()->network_.value26 = 9;
  WMC_NETWORK_INFO n = Network();
  EXPECT_EQ(std::vector<uint16_t>(n.time, n.time + 5), (std::vector<uint16_t>{10, 11, 12, 14, 15}));
  EXPECT_EQ(n.value26, 0);
  EXPECT_EQ(n.zero30, 0u);
  sdk_.SetResult("QelGetSystemTime", 5);
  sdk_->info.systemTime[0] = 99;
  EXPECT_EQ(Network().time[0], 10);  // a failed read changes nothing
}

TEST_F(InfoTest, ConnectionDurationsRunOnlyDuringACall) {
  g_now = 50000;
  SetEngineClock(FakeNow);
  ASSERT_EQ(WMC_Startup(), 0);
  CSEVDOEngine& e = *Engine();
  e.connectTick_ = 40000;
  e.dormantTotal_ = 1000;
  e.dormantStartTick_ = 48000;
  WMC_CONNECTION_INFO c{};
  c.size = 64;  // larger than the block: overwritten with its size
  ASSERT_EQ(WMC_GetConnectionInfo(&c), 0);
  EXPECT_EQ(c.size, 32u);
  EXPECT_EQ(c.connectedMs, 10000u);
  EXPECT_EQ(c.activeMs, 7000u);
  EXPECT_EQ(c.lastEndCode, 1000u);
  e.connectTick_ = 0;  // the call ended: the values stay
  g_now = 90000;
  ASSERT_EQ(WMC_GetConnectionInfo(&c), 0);
  EXPECT_EQ(c.connectedMs, 10000u);
  EXPECT_EQ(c.activeMs, 7000u);
  e.connectTick_ = 0xFFFFFF00u;  // across the tick count's wrap
  e.dormantStartTick_ = 0;
  e.dormantTotal_ = 0;
  g_now = 0x100;
  ASSERT_EQ(WMC_GetConnectionInfo(&c), 0);
  EXPECT_EQ(c.connectedMs, 0x200u);
  EXPECT_EQ(c.activeMs, 0x200u);
}

struct IdentityCase {
  int readFails;  // QelGetMEIDESN fails, QelGetESN answers
  uint16_t inUse, provisioned;
  uint32_t high, low, pseudo;
  uint16_t esnPresent;
  uint32_t esn;
  const char* wantEsn;
  const char* wantMeid;
  uint64_t wantMeidValue;
  int wantErrorLines;
};
class Identity : public InfoTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(Identity, MeidAndEsnByTheRecord) {
  const IdentityCase& c = GetParam();
  SimSdkInfoState& m = sdk_->info;
  m.meidInUse = c.inUse;
  m.meidProvisioned = c.provisioned;
  m.meidHigh = c.high;
  m.meidLow = c.low;
  m.pseudoEsn = c.pseudo;
  m.esnPresent = c.esnPresent;
  m.esn = c.esn;
  if (c.readFails) sdk_.SetResult("QelGetMEIDESN", 5);
  ASSERT_EQ(WMC_Startup(), 0);
  std::strcpy(Engine()->device_.meid, "earlier");
  WMC_DEVICE_INFO d = Device();
  EXPECT_STREQ(d.esn, c.wantEsn);
  EXPECT_STREQ(d.meid, c.wantMeid);
  EXPECT_EQ(Engine()->meid_, c.wantMeidValue);
  EXPECT_EQ(LinesWith("MEID/ESN in use is not provisioned!"), c.wantErrorLines);
  ASSERT_EQ(sdk_.Calls("QelGetMEIDESN").size(), 1u);
  EXPECT_EQ(sdk_.Calls("QelGetMEIDESN")[0].timeout, 3000u);
  EXPECT_EQ(sdk_.Calls("QelGetESN").size(), c.readFails ? 1u : 0u);
}
INSTANTIATE_TEST_SUITE_P(Table, Identity, ::testing::Values(
    // Provisioned MEID: 14 digits, the low part with leading zeros; the pseudo-ESN.
    IdentityCase{0, 1, 1, 0x0A1B2C, 0x42, (7u << 24) | 42u, 0, 0, "00700000042", "0A1B2C00000042", 0x0A1B2C00000042ull, 0},
    // A high part past 24 bits still gives 14 digits within the field.
    IdentityCase{0, 1, 1, 0xFF0A1B2Cu, 0x0FFFFFFF, 5, 0, 0, "00000000005", "0A1B2C0FFFFFFF", 0xFF0A1B2C0FFFFFFFull, 0},
    IdentityCase{0, 1, 0, 1, 2, 3, 1, 4, "00000000000", "earlier", 0, 1},
    IdentityCase{0, 0, 0, 1, 2, 3, 0, 4, "00000000000", "earlier", 0, 1},
    IdentityCase{0, 0, 0, 1, 2, 3, 1, (255u << 24) | 16777215u, "25516777215", "earlier", 0, 0},
    IdentityCase{1, 1, 1, 1, 2, 3, 1, 12345, "00000012345", "earlier", 0, 0}));

struct EsnCase {
  uint32_t esn;
  const char* text;
};
TEST(EsnText, ElevenDecimalDigits) {
  for (EsnCase c : {EsnCase{0, "00000000000"}, EsnCase{(7u << 24) | 42u, "00700000042"},
                    EsnCase{0xFFFFFFFFu, "25516777215"}}) {
    char out[12];
    std::memset(out, 'x', sizeof out);
    FormatEsnDecimal(c.esn, out);
    EXPECT_STREQ(out, c.text);
  }
}

struct OemCase {
  uint32_t modelCode;
  const char* manufacturer;  // null: the query fails
  const char* wantModel;
  const char* wantOem;
};
class Oem : public InfoTest, public ::testing::WithParamInterface<OemCase> {};

TEST_P(Oem, CodeByTheWholeModelName) {
  const OemCase& c = GetParam();
  sdk_->modelCode = c.modelCode;
  g_manufacturer = c.manufacturer ? c.manufacturer : "";
  g_manufacturerResult = c.manufacturer ? 0 : 1;
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_DEVICE_INFO d = Device();
  EXPECT_STREQ(d.model, c.wantModel);
  EXPECT_STREQ(d.oemCode, c.wantOem);
  EXPECT_STREQ(d.manufacturer, "Veltra Vazudari");
}
INSTANTIATE_TEST_SUITE_P(Table, Oem, ::testing::Values(
    OemCase{17, "Varnell-Ostby", "LP2240", "VX"}, OemCase{20, "KORVAN", "LP2250", "DRX"},
    OemCase{16, "Acme Computers", "PN2210", "Acme Computers"}, OemCase{17, nullptr, "LP2240", ""},
    OemCase{19, "KORVAN", "KX310", "TRDM"}, OemCase{23, "KORVAN", "KX310U", "PLNK"},
    OemCase{22, "KORVAN", "KX330E", "TRQ"}, OemCase{24, "KORVAN", "PN2230", ""},
    OemCase{21, "KORVAN", "Unknown model", ""}));

TEST_F(InfoTest, VersionsAreReadOncePerEngineAndFirmwareIsCutAtItsBlank) {
  SimSdkInfoState& m = sdk_->info;
  std::strcpy(m.firmware, "1.2.30 build 45");
  std::strcpy(m.hardware, "HW rev B 2");
  std::strcpy(m.boot, "BOOT-1");
  std::strcpy(m.driver, "DRV-7");
  m.prlVersion = 51234;
  m.eriVersion = 6;
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_DEVICE_INFO d = Device();
  EXPECT_STREQ(d.firmwareVersion, "1.2.30");
  EXPECT_STREQ(d.hardwareVersion, "HW rev B 2");
  EXPECT_STREQ(d.bootVersion, "BOOT-1");
  EXPECT_STREQ(d.driverVersion, "DRV-7");
  EXPECT_EQ(d.prlVersion, 51234u);
  EXPECT_EQ(d.eriVersion, 6u);
  EXPECT_EQ(d.one, 1u);
  std::strcpy(m.firmware, "2.0");
  std::strcpy(m.hardware, "HW rev C");
  std::strcpy(m.boot, "BOOT-2");
  d = Device();
  EXPECT_STREQ(d.firmwareVersion, "1.2.30");
  EXPECT_STREQ(d.hardwareVersion, "HW rev B 2");
  EXPECT_STREQ(d.bootVersion, "BOOT-2");  // read every time
  EXPECT_EQ(CallsOf("QelGetFirmwareVersion"), 1u);
  EXPECT_EQ(CallsOf("QelGetHardwareVersion"), 1u);
  EXPECT_EQ(CallsOf("QelGetBootVersion"), 2u);
  ASSERT_EQ(sdk_.Calls("QelGetFirmwareVersion")[0].args[1], 127u);
  ASSERT_EQ(sdk_.Calls("QelGetBootVersion")[0].args[1], 256u);
  EXPECT_EQ(sdk_.Calls("QelGetBootVersion")[0].timeout, 5000u);
  // A new engine reads them again.
  WMC_Shutdown();
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_STREQ(Device().firmwareVersion, "2.0");
}

TEST_F(InfoTest, NumbersAreReadEachTimeAndCopiedBoundedAndTerminated) {
  SimSdkNam& nam = sdk_->activation.committed;
  std::strcpy(nam.mdn, "5551234567");
  std::strcpy(nam.imsi, "310004445551234");
  std::strcpy(nam.sipUserId, "user@example");
  nam.homeSid = 4150;
  nam.homeNid = 7;
  sdk_->activation.lockStatus = 1;
  std::string longFirmware(120, 'F');
  sdk_.SetText("QelGetFirmwareVersion", longFirmware.c_str());
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_DEVICE_INFO d = Device();
  EXPECT_STREQ(d.mdn, "5551234567");
  EXPECT_STREQ(d.imsi, "310004445551234");
  EXPECT_EQ(d.homeSid, 4150u);
  EXPECT_EQ(d.lockStatus, 1u);
  EXPECT_EQ(Engine()->sipUserId_, "user@example");
  EXPECT_EQ(Engine()->homeNid_, 7);
  EXPECT_EQ(std::string(d.firmwareVersion), std::string(63, 'F'));  // 63 and the terminator
  // Texts that fill their fields are cut to leave the terminator.
  std::strcpy(nam.mdn, "12345678901234567890123456789");
  std::strcpy(nam.imsi, "abcdefghijklmnopqrstuvwxyz");
  d = Device();
  EXPECT_EQ(std::string(d.mdn, strnlen(d.mdn, sizeof d.mdn)), "123456789012345678901");
  EXPECT_EQ(std::string(d.imsi, strnlen(d.imsi, sizeof d.imsi)), "abcdefghijklmnopqrstu");
  // A failed read empties the string; a failed lock read keeps the status.
  sdk_.SetResult("QelGetMobileDirNum", 5);
  sdk_.SetResult("QelGetLockStatus", 5);
  sdk_.SetResult("QelPstGetHomeSidNid", 5);
  sdk_->activation.lockStatus = 0;
  d = Device();
  EXPECT_STREQ(d.mdn, "");
  EXPECT_EQ(Engine()->mdn_, "");
  EXPECT_EQ(d.lockStatus, 1u);
  EXPECT_EQ(d.homeSid, 0u);
}

TEST_F(InfoTest, TextsTheSdkLeavesUnterminatedEndWithinTheirBuffers) {
  SimSdkInfoState& m = sdk_->info;
  m.fillTextBuffers = 1;
  std::strcpy(m.firmware, "F");
  std::strcpy(m.hardware, "H");
  std::strcpy(m.boot, "B");
  std::strcpy(m.driver, "D");
  std::strcpy(sdk_->activation.committed.mdn, "5");
  std::strcpy(sdk_->activation.committed.sipUserId, "u");
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_DEVICE_INFO d = Device();
  EXPECT_EQ(std::string(d.firmwareVersion), std::string(63, 'F'));
  EXPECT_EQ(std::string(d.hardwareVersion), std::string(63, 'H'));
  EXPECT_EQ(std::string(d.bootVersion), std::string(63, 'B'));
  EXPECT_EQ(std::string(d.driverVersion), std::string(63, 'D'));
  EXPECT_EQ(std::string(d.mdn), std::string(21, '5'));
  EXPECT_EQ(Engine()->mdn_, std::string(255, '5'));  // the 256-byte read buffer's last byte ends it
  EXPECT_EQ(Engine()->sipUserId_, std::string(255, 'u'));
}

TEST_F(InfoTest, ActivatedOnlyWhenTheModemSaysSo) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_->activation.activated = 1;
  EXPECT_EQ(Device().activated, 1u);
  sdk_->activation.activated = 0;
  EXPECT_EQ(Device().activated, 0u);
  sdk_.SetResult("QelGetActivationStatus", 5);  // unreadable is not activated
  sdk_->activation.activated = 1;
  EXPECT_EQ(Device().activated, 0u);
}

TEST_F(InfoTest, WithoutAnAnsweringModemTheBlockHoldsItsConstants) {
  sdk_->modelCode = 17;
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_DEVICE_INFO d = Device();
  ASSERT_STREQ(d.model, "LP2240");
  ASSERT_EQ(Engine()->sdk_->Close(), 0u);  // every wrapper now refuses
  std::memset(&Engine()->device_, 0, sizeof Engine()->device_);
  Engine()->device_.size = 548;
  d = Device();
  EXPECT_EQ(d.size, 548u);
  EXPECT_STREQ(d.manufacturer, "Veltra Vazudari");
  EXPECT_STREQ(d.model, "LP2240");  // the model of the open
  EXPECT_STREQ(d.esn, "00000000000");
  EXPECT_EQ(d.activated, 0u);
  EXPECT_EQ(d.one, 1u);
  EXPECT_STREQ(d.firmwareVersion, "");
  EXPECT_EQ(d.prlVersion, 0u);
}

}  // namespace
