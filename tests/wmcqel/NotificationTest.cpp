// What SDK notifications and power records change and which host notifications they raise.
#include <cstring>
#include <functional>
#include <new>

#include "PluginFixture.h"

namespace {

using namespace plugintest;

DWORD g_now = 0;
DWORD FakeNow() { return g_now; }

SDK_NOTIF Record(uint32_t id, uint32_t w8 = 0, uint32_t w12 = 0, uint32_t w4 = 0, uint32_t w16 = 0) {
  SDK_NOTIF r = {};
  r.id = id;
  r.data[0] = w4;
  r.data[1] = w8;
  r.data[2] = w12;
  r.data[3] = w16;
  return r;
}
SDK_NOTIF Halves(uint32_t id, uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  SDK_NOTIF r = {};
  r.id = id;
  r.data[1] = a | static_cast<uint32_t>(b) << 16;
  r.data[2] = c | static_cast<uint32_t>(d) << 16;
  return r;
}

struct Row {
  const char* name;
  std::function<void(CSEVDOEngine&)> before;
  std::vector<SDK_NOTIF> records;  // the last one is the row's; earlier ones set the scene
  std::function<void(CSEVDOEngine&)> check;
  std::vector<int> notified;       // by the last record
  const char* line;
};

class Dispatch : public PluginTest, public ::testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    g_now = 100000;
    SetEngineClock(FakeNow);
    ASSERT_EQ(WMC_Startup(), 0);
    g_ignoreNextDisconnect = 0;
  }
};

TEST_P(Dispatch, ChangesStateAndRaises) {
  const Row& row = GetParam();
  CSEVDOEngine& e = *Engine();
  if (row.before) row.before(e);
  for (size_t i = 0; i + 1 < row.records.size(); ++i) e.ProcessNotification(&row.records[i]);
  ClearCaptured();
  g_now += 5000;
  e.ProcessNotification(&row.records.back());
  row.check(e);
  EXPECT_EQ(Notifications(), row.notified);
  if (row.line) {
    EXPECT_EQ(LinesWith(row.line), 1) << row.line;
  }
}

auto State(uint32_t s) {
  return [s](CSEVDOEngine& e) { EXPECT_EQ(e.connection_.state, s); };
}

INSTANTIATE_TEST_SUITE_P(Table, Dispatch, ::testing::Values(
    Row{"Service", nullptr, {Record(5, 1)}, [](CSEVDOEngine& e) { EXPECT_EQ(e.oneXService_, 1u); }, {3},
        "QEL_NOTIFY_ServiceIndication - 1\n"},
    Row{"RoamingOneGivesTwo", [](CSEVDOEngine& e) { e.oneXService_ = 1; }, {Record(6, 1)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.roaming, 2u); }, {3}, nullptr},
    Row{"RoamingFiveGivesOne", [](CSEVDOEngine& e) { e.oneXService_ = 1; }, {Record(6, 5)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.roaming, 1u); }, {3}, nullptr},
    Row{"RoamingWithoutService", [](CSEVDOEngine& e) { e.oneXService_ = 0; e.network_.roaming = 7; }, {Record(6, 1)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.roaming, 7u); }, {}, nullptr},
    Row{"ByteCounter", nullptr, {Record(9, 11, 22)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.connection_.txBytes, 11u); EXPECT_EQ(e.connection_.rxBytes, 22u); }, {1},
        "QEL_NOTIFY_CallByteCounter - Rx: 22, Tx 11\n"},
    Row{"ConnectingValueTwo", nullptr, {Record(10, 2)}, State(0), {}, nullptr},
    Row{"ConnectingNewCall", nullptr, {Record(10, 0)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.connection_.state, 2u); EXPECT_EQ(e.connectTick_, g_now); }, {2}, nullptr},
    Row{"ConnectingDuringAutomaticActivation", [](CSEVDOEngine& e) { e.automaticActivationPending_ = 1; },
        {Record(10, 0)},
        [](CSEVDOEngine& e) {
          EXPECT_EQ(e.connection_.state, 2u);
          EXPECT_EQ(e.activationInProgress_, 1u);
          EXPECT_EQ(e.automaticActivationPending_, 0u);
        },
        {}, nullptr},
    Row{"ConnectingAfterDormancy", nullptr, {Record(10, 0), Record(34), Record(10, 0)},
        [](CSEVDOEngine& e) {
          EXPECT_EQ(e.dormantTotal_, 5000u);
          EXPECT_EQ(e.dormantStartTick_, 0u);
          EXPECT_EQ(e.connectTick_, 100000u);  // kept
        },
        {2}, "Call was dormant for 5 seconds"},
    Row{"ConnectedDormantBit", nullptr, {Record(11, 0x4000)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.connection_.state, 4u); EXPECT_EQ(e.dormant_, 0x4000u); }, {2}, nullptr},
    Row{"ConnectedDuringActivation", [](CSEVDOEngine& e) { e.activationInProgress_ = 1; }, {Record(11, 0)}, State(4),
        {}, nullptr},
    Row{"DisconnectAfterIgnoredConnect", [](CSEVDOEngine& e) { e.connection_.state = 4; e.connectTick_ = 1; },
        {Record(11, 0x200), Record(15, 0, 3)},
        [](CSEVDOEngine& e) {
          EXPECT_EQ(e.connection_.state, 4u);
          EXPECT_EQ(e.connection_.lastEndCode, 1000u);
          EXPECT_EQ(g_ignoreNextDisconnect.load(), 0u);
        },
        {}, nullptr},
    Row{"DisconnectDuringActivation", [](CSEVDOEngine& e) { e.activationInProgress_ = 1; }, {Record(15, 0, 3)},
        [](CSEVDOEngine& e) {
          EXPECT_EQ(e.activationInProgress_, 0u);
          EXPECT_EQ(e.connection_.lastEndCode, 1000u);
          EXPECT_EQ(e.connection_.state, 1u);
        },
        {9}, nullptr},
    Row{"Disconnect", nullptr, {Record(10, 0), Record(15, 0, 3)},
        [](CSEVDOEngine& e) {
          EXPECT_EQ(e.connection_.state, 1u);
          EXPECT_EQ(e.connection_.lastEndCode, 1025u);
          EXPECT_EQ(e.connection_.connectedMs, 5000u);
          EXPECT_EQ(e.connectTick_, 0u);
        },
        {2}, nullptr},
    Row{"DisconnectWithoutConnectTick", nullptr, {Record(15, 0, 0)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.connection_.connectedMs, 0u); }, {2}, nullptr},
    Row{"CallError", nullptr, {Record(16, 0, 7)}, State(0), {1}, "QEL_NOTIFY_CallError 7\n"},
    Row{"SmsNone", [](CSEVDOEngine& e) { e.messagesWaiting_ = 1; }, {Record(17, 0, 0)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.messagesWaiting_, 0u); }, {}, nullptr},
    Row{"SmsOne", nullptr, {Record(17, 1, 0)}, [](CSEVDOEngine& e) { EXPECT_EQ(e.messagesWaiting_, 1u); }, {5},
        nullptr},
    Row{"SmsCountersSummingToZero", nullptr, {Record(17, 0xFFFFFFFFu, 1)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.messagesWaiting_, 1u); }, {5}, nullptr},
    Row{"SmsSendStatus", nullptr, {Record(18, 2, 3, 1, 4)},
        [](CSEVDOEngine& e) {
          EXPECT_EQ(e.smsSendStatus_[0], 1u);
          EXPECT_EQ(e.smsSendStatus_[2], 3u);
          EXPECT_EQ(e.smsSendStatus_[3], 4u);
          EXPECT_EQ(WaitForSingleObject(e.smsSendEvent_, 0), WAIT_OBJECT_0);
        },
        {}, nullptr},
    Row{"RevisionSixWithHdr", [](CSEVDOEngine& e) { e.hdrService_ = 1; }, {Record(19, 6)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.serviceType, 7u); }, {3}, nullptr},
    Row{"RevisionSixWithout", [](CSEVDOEngine& e) { e.oneXService_ = 1; }, {Record(19, 6)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.serviceType, 6u); }, {3}, nullptr},
    Row{"RevisionOneKeepsType", [](CSEVDOEngine& e) { e.oneXService_ = 1; e.network_.serviceType = 6; },
        {Record(19, 1)}, [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.serviceType, 6u); }, {3}, nullptr},
    Row{"RevisionWithoutService", nullptr, {Record(19, 6)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.serviceType, 0u); }, {}, nullptr},
    Row{"Dormant", nullptr, {Record(34)},
        [](CSEVDOEngine& e) {
          EXPECT_EQ(e.connection_.state, 5u);
          EXPECT_EQ(e.dormant_, 1u);
          EXPECT_EQ(e.dormantStartTick_, g_now);
        },
        {2}, nullptr},
    Row{"OtaspStageSix", [](CSEVDOEngine& e) { e.activationInProgress_ = 1; }, {Record(38, 4, 1)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.connection_.activationStatus, 3u); EXPECT_EQ(e.connection_.state, 6u); },
        {2}, nullptr},
    Row{"OtaspWithoutState", [](CSEVDOEngine& e) { e.activationInProgress_ = 1; }, {Record(38, 4, 0)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.connection_.activationStatus, 9u); }, {}, nullptr},
    Row{"OtaspOutsideActivation", nullptr, {Record(38, 4, 1)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.connection_.activationStatus, 0u); }, {}, nullptr},
    Row{"PowerState", [](CSEVDOEngine& e) { e.refreshNeeded_ = 0; }, {Record(46, 0)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.radioOn_, 1u); EXPECT_EQ(e.refreshNeeded_, 1u); }, {}, nullptr},
    Row{"PppFour", nullptr, {Record(48, 4)}, State(2), {2}, nullptr},
    Row{"PppSeven", nullptr, {Record(48, 7)}, State(3), {2}, nullptr},
    Row{"PppEight", nullptr, {Record(48, 8)}, State(4), {2}, nullptr},
    Row{"PppOther", [](CSEVDOEngine& e) { e.connection_.state = 4; }, {Record(48, 1)}, State(1), {2}, nullptr},
    Row{"Rssi", nullptr, {Halves(52, 80, 3, 90, 4)},
        [](CSEVDOEngine& e) {
          EXPECT_EQ(e.network_.signalLevel, 16u);
          EXPECT_EQ(e.network_.cdmaRssi, 80u);
          EXPECT_EQ(e.network_.hdrRssi, 90u);
          EXPECT_EQ(e.hdrEcio_, 4u);
        },
        {3}, "QEL_NOTIFY_Rssi_Ecio - CDMA(80, 3), HDR(90, 4)\n"},
    Row{"HdrRoamWithHdr", [](CSEVDOEngine& e) { e.hdrService_ = 1; }, {Record(53, 1)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.roaming, 2u); }, {3}, nullptr},
    Row{"HdrRoamWithout", nullptr, {Record(53, 1)}, [](CSEVDOEngine& e) { EXPECT_EQ(e.network_.roaming, 0u); }, {},
        nullptr},
    Row{"HdrServiceOn", nullptr, {Record(54, 2)}, [](CSEVDOEngine& e) { EXPECT_EQ(e.hdrService_, 1u); }, {3},
        nullptr},
    Row{"HdrServiceOneKeeps", [](CSEVDOEngine& e) { e.hdrService_ = 1; }, {Record(54, 1)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.hdrService_, 1u); }, {3}, nullptr},
    Row{"Unknown", nullptr, {Record(99)}, State(0), {}, "UNKNOWN 99\n"},
    Row{"NotificationsOff", [](CSEVDOEngine& e) { e.notificationsOn_ = 0; }, {Record(5, 1)},
        [](CSEVDOEngine& e) { EXPECT_EQ(e.oneXService_, 0u); e.notificationsOn_ = 1; }, {}, nullptr}),
    [](const ::testing::TestParamInfo<Row>& i) { return std::string(i.param.name); });

// Power records from the client library, with and without an engine.
struct PowerCase {
  uint32_t value;
  std::vector<int> notified;
  bool clearsState;
};
class PowerRecords : public PluginTest, public ::testing::WithParamInterface<PowerCase> {};
TEST_P(PowerRecords, BecomeHostNotifications) {
  QelHWNotifyRecord record = {QELHW_NOTIFY_Power, 0, GetParam().value};
  NotificationCallback(&record);  // no engine
  EXPECT_EQ(Notifications(), GetParam().notified);
  ASSERT_EQ(WMC_Startup(), 0);
  Engine()->connection_.state = WMC_STATE_CONNECTED;
  ClearCaptured();
  NotificationCallback(&record);
  EXPECT_EQ(Notifications(), GetParam().notified);
  EXPECT_EQ(Engine()->connection_.state, GetParam().clearsState ? 0u : 4u);
}
INSTANTIATE_TEST_SUITE_P(Values, PowerRecords, ::testing::Values(
    PowerCase{1, {11}, false}, PowerCase{2, {14}, true}, PowerCase{3, {13}, true}, PowerCase{4, {}, false}));

TEST_F(PluginTest, ClientLibraryRecordsArriveAsUnknownThenPower) {
  ASSERT_EQ(WMC_Startup(), 0);
  ClearCaptured();
  // The simulated client library calls the registered function with {0,0,v}, then {91,0,v}.
  auto notify = reinterpret_cast<int32_t(__cdecl*)(uint32_t)>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("qelvxaux.dll"), "SimClient_Notify")));
  ASSERT_NE(notify, nullptr);
  ASSERT_EQ(notify(2u), 1);  // delivered on the thread that initialised the library
  // and raised to the host from a relay thread of ours
  EXPECT_TRUE(qeltest::PumpUntil([] { return !Notifications().empty(); }, 5000));
  EXPECT_EQ(LinesWith("UNKNOWN 0\n"), 1);
  EXPECT_EQ(LinesWith("QELHW_NOTIFY_Power - 2\n"), 1);
  EXPECT_EQ(Notifications(), std::vector<int>{WMC_NOTIFY_RADIO_OFF});
}

TEST_F(PluginTest, PowerRecordOfTypeZeroIsReadWithinItsTwelveBytes) {
  ASSERT_EQ(WMC_Startup(), 0);
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  auto* base = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * si.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  DWORD old;
  VirtualProtect(base + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old);
  auto* record = reinterpret_cast<QelHWNotifyRecord*>(base + si.dwPageSize - sizeof(QelHWNotifyRecord));
  *record = {0, 0, 2};
  NotificationCallback(record);  // a read past its end faults here
  EXPECT_EQ(LinesWith("UNKNOWN 0\n"), 1);
  VirtualFree(base, 0, MEM_RELEASE);
}

TEST_F(PluginTest, SdkNotificationsReachTheHostOnTheSdkThread) {
  ASSERT_EQ(WMC_Startup(), 0);
  ClearCaptured();
  ASSERT_TRUE(sdk_.Inject(5, {0, 1}));
  ASSERT_TRUE(qeltest::PumpUntil([] { return !Notifications().empty(); }, 5000));
  std::lock_guard<std::mutex> g(Capture().lock);
  EXPECT_EQ(Capture().notifications, std::vector<int>{WMC_NOTIFY_NETWORK_INFO});
  EXPECT_EQ(Capture().notificationThreads[0], sdk_->notifyThread);
}

TEST_F(PluginTest, SlotZeroAndTheIndexSlotBothHear) {
  WMC_SetCallback(3, CaptureNotification, 0);
  CSEVDOEngine::SendNotification(3);  // no engine needed
  EXPECT_EQ(Notifications(), (std::vector<int>{3, 3}));
  ClearCaptured();
  CSEVDOEngine::SendNotification(4);
  EXPECT_EQ(Notifications(), std::vector<int>{4});
}

struct RssiCase {
  int rssi, level;
};
class Rssi : public ::testing::TestWithParam<RssiCase> {};
TEST_P(Rssi, ScalesToTheSignalLevel) { EXPECT_EQ(ScaleRssi(GetParam().rssi), GetParam().level); }
INSTANTIATE_TEST_SUITE_P(Values, Rssi, ::testing::Values(
    RssiCase{0, 99}, RssiCase{113, 0}, RssiCase{200, 0}, RssiCase{110, 1}, RssiCase{112, 1}, RssiCase{109, 2},
    RssiCase{80, 16}, RssiCase{52, 30}, RssiCase{51, 31}, RssiCase{1, 31}));

TEST_F(PluginTest, EndReasonsAndRoamingIndicator) {
  ASSERT_EQ(WMC_Startup(), 0);
  CSEVDOEngine& e = *Engine();
  const int want[20] = {1020, 1019, 1000, 1025, 1017, 1018, 1021, 1022, 1006, 1014,
                        1026, 1027, 1025, 1001, 1015, 1023, 1007, 1015, 1021, 1018};
  for (int r = 0; r < 20; ++r) EXPECT_EQ(e.TranslateEndReasonCode(r), want[r]) << r;
  EXPECT_EQ(e.TranslateEndReasonCode(20), 1019);
  EXPECT_EQ(e.TranslateEndReasonCode(-1), 1019);
  for (auto v : {std::pair<int, uint32_t>{0, 0}, {1, 2}, {5, 1}, {-3, 1}}) {
    e.SetRoamIndicator(v.first);
    EXPECT_EQ(e.network_.roaming, v.second);
  }
}

TEST_F(PluginTest, FreshEngineHasEveryFieldSet) {
  // Built over memory full of garbage: whatever the constructor leaves unset shows.
  alignas(CSEVDOEngine) static uint8_t storage[sizeof(CSEVDOEngine)];
  std::memset(storage, 0xCD, sizeof storage);
  auto* e = new (storage) CSEVDOEngine();
  EXPECT_EQ(e->connection_.size, 32u);
  EXPECT_EQ(e->connection_.lastEndCode, 1000u);
  EXPECT_EQ(e->network_.size, 80u);
  EXPECT_EQ(e->device_.size, 548u);
  EXPECT_EQ(e->esn_, 0u);
  EXPECT_EQ(e->meid_, 0u);
  EXPECT_EQ(e->homeSid_, 0);
  EXPECT_EQ(e->radioOn_, 0u);
  EXPECT_EQ(e->refreshNeeded_, 1u);
  EXPECT_EQ(e->renotifyDelayMs_, 2000u);
  EXPECT_EQ(e->smsSendStatus_[3], 0u);
  const uint8_t* activation = reinterpret_cast<const uint8_t*>(&e->activation_);
  for (size_t i = 0; i < sizeof e->activation_; ++i) ASSERT_EQ(activation[i], 0) << i;
  e->~CSEVDOEngine();
}

}  // namespace
