// Firmware access and the hardware interface against the simulated firmware's WMI classes.
#include <array>
#include <cstring>

#include "BIOSWireless.h"
#include "PCHWIntf.h"
#include "ServiceTestSupport.h"
#include "SimWmi.h"

namespace {

class FirmwareAccess : public FirmwareFixture {
 protected:
  void SetUp() override {
    FirmwareFixture::SetUp();
    ASSERT_TRUE(apartment_.ok());
    ASSERT_HRESULT_SUCCEEDED(RegisterSimWbemLocator(&cookie_));
    SimWmiRecord() = SimWmiCalls();
  }
  void TearDown() override { CoRevokeClassObject(cookie_); }
  ComApartment apartment_;
  DWORD cookie_ = 0;
};

TEST_F(FirmwareAccess, ReadSendsSignatureCommandAndEmptyData) {
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  ASSERT_TRUE(bios.Connect());
  const SimWmiCalls& calls = SimWmiRecord();
  EXPECT_EQ(calls.connectedNamespace, L"\\\\.\\root\\wmi");
  EXPECT_EQ(calls.enumFlags, 0x30);

  BYTE out[4] = {};
  int32_t rc = -2;
  ASSERT_EQ(bios.ExecMethod(1, 5, 0, 4, &rc, nullptr, out), S_OK);
  EXPECT_EQ(0, std::memcmp(out, FirmwareSim::kDefaultStatus, 4));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(calls.execMethod, L"vxrBIOSInt4");
  EXPECT_NE(calls.execPath.find(L"vxrBIntM.InstanceName"), std::wstring::npos);
  EXPECT_EQ(calls.inDataVt, VT_UNKNOWN);

  struct Want { const wchar_t* name; VARTYPE vt; };
  const Want want[] = {{L"Sign", VT_ARRAY | VT_UI1}, {L"Command", VT_I4}, {L"CommandType", VT_I4},
                       {L"Size", VT_I4}, {L"vxrBData", VT_ARRAY | VT_UI1}};
  ASSERT_EQ(calls.dataInPuts.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(calls.dataInPuts[i].name, want[i].name);
    EXPECT_EQ(calls.dataInPuts[i].vt, want[i].vt) << i;
    EXPECT_EQ(calls.dataInPuts[i].cimType, 0) << i;
  }
  EXPECT_EQ(calls.dataInPuts[0].bytes, (std::vector<BYTE>{0x53, 0x45, 0x43, 0x55}));
  EXPECT_EQ(calls.dataInPuts[1].value, 1);
  EXPECT_EQ(calls.dataInPuts[2].value, 5);
  EXPECT_EQ(calls.dataInPuts[3].value, 0);
  EXPECT_FALSE(calls.dataInPuts[4].hasArray);
}

TEST_F(FirmwareAccess, WriteWithoutOutputUsesMethodZeroAndSendsBytes) {
  CPCHWIntf hw(CLSID_QelSimWbemLocator);
  ASSERT_EQ(hw.Init(), S_OK);
  const BYTE bytes[4] = {0xFB, 0x04, 0x00, 0x0D};
  EXPECT_TRUE(hw.Write(4, bytes));
  EXPECT_EQ(SimWmiRecord().execMethod, L"vxrBIOSInt0");
  EXPECT_EQ(SimWmiRecord().dataInPuts[3].value, 4);
  EXPECT_EQ(SimWmiRecord().dataInPuts[4].bytes, std::vector<BYTE>(bytes, bytes + 4));
  EXPECT_EQ(sim_.Snapshot().status[3], 0x0C);
}

TEST_F(FirmwareAccess, EnumerationThatKeepsTimingOutIsAskedTenTimes) {
  sim_.Update([](FirmwareSimBlock& b) { b.timeoutsBeforeInstance = -1; });
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  EXPECT_FALSE(bios.Connect());
  EXPECT_EQ(SimWmiRecord().nextCalls, 10);
}

TEST_F(FirmwareAccess, InstanceFoundAfterTimeoutsConnects) {
  sim_.Update([](FirmwareSimBlock& b) { b.timeoutsBeforeInstance = 9; });
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  EXPECT_TRUE(bios.Connect());
  EXPECT_EQ(SimWmiRecord().nextCalls, 10);
}

TEST_F(FirmwareAccess, NoInstanceFailsButKeepsClass) {
  SetFlags(kSimNoInstance);
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  EXPECT_FALSE(bios.Connect());
  EXPECT_TRUE(bios.IsConnected());
}

TEST_F(FirmwareAccess, ConnectFailures) {
  for (uint32_t flags : {uint32_t(kSimNoClass), uint32_t(kSimFailConnect)}) {
    SetFlags(flags);
    CBIOSWireless bios(CLSID_QelSimWbemLocator);
    EXPECT_FALSE(bios.Connect()) << flags;
    EXPECT_FALSE(bios.IsConnected()) << flags;
  }
  CBIOSWireless unregistered(CLSID_NULL);
  EXPECT_FALSE(unregistered.Connect());
}

TEST_F(FirmwareAccess, WrongByteCountGives87AndLeavesOutput) {
  for (int answer : {3, 5, 0}) {
    sim_.Update([answer](FirmwareSimBlock& b) { b.answerCount = answer; });
    CBIOSWireless bios(CLSID_QelSimWbemLocator);
    ASSERT_TRUE(bios.Connect());
    BYTE out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    int32_t rc = 0;
    EXPECT_EQ(bios.ExecMethod(1, 5, 0, 4, &rc, nullptr, out), E_FAIL) << answer;
    EXPECT_EQ(rc, 87) << answer;
    EXPECT_EQ(out[0], 0xAA);
    EXPECT_EQ(out[3], 0xAA);
  }
}

TEST_F(FirmwareAccess, CallWhileNotConnectedFailsWithLastReturnCode) {
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  BYTE out[4] = {};
  int32_t rc = 0;
  EXPECT_EQ(bios.ExecMethod(1, 5, 0, 4, &rc, nullptr, out), E_FAIL);
  EXPECT_EQ(rc, -1);
}

struct FailedCallCase {
  const char* name;
  uint32_t flag;
  HRESULT want;  // S_OK: any failure
};
class FailedCall : public FirmwareAccess, public ::testing::WithParamInterface<FailedCallCase> {};

// A call the firmware refuses, or whose objects do not come, fails and writes no output.
TEST_P(FailedCall, FailsAndLeavesTheOutput) {
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  ASSERT_TRUE(bios.Connect());
  SetFlags(GetParam().flag);
  BYTE out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  int32_t rc = 0;
  HRESULT hr = bios.ExecMethod(1, 5, 0, 4, &rc, nullptr, out);
  EXPECT_TRUE(FAILED(hr));
  if (GetParam().want != S_OK) {
    EXPECT_EQ(hr, GetParam().want);
  }
  EXPECT_EQ(out[0], 0xAA);
}

INSTANTIATE_TEST_SUITE_P(Firmware, FailedCall,
                         ::testing::Values(FailedCallCase{"FirmwareRefuses", kSimFailRead, static_cast<HRESULT>(WBEM_E_FAILED)},
                                           FailedCallCase{"OutputWithoutOutData", kSimNoOutData, S_OK},
                                           FailedCallCase{"DataInClassWithoutObject", kSimNullDataInClass, E_FAIL}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareAccess, MethodNameHoldsAnyCount) {
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  ASSERT_TRUE(bios.Connect());
  int32_t rc = 0;
  EXPECT_TRUE(FAILED(bios.ExecMethod(1, 5, 0, INT32_MIN, &rc, nullptr, nullptr)));
  ASSERT_FALSE(SimWmiRecord().methods.empty());
  EXPECT_EQ(SimWmiRecord().methods.back(), L"vxrBIOSInt-2147483648");
}

TEST_F(FirmwareAccess, EventQueryStartsOnceAndStops) {
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  ASSERT_TRUE(bios.Connect());
  bios.StopListeningForEvents();  // nothing running: nothing happens
  EXPECT_EQ(SimWmiRecord().cancelCalls, 0);
  ASSERT_TRUE(bios.StartListeningForEvents());
  EXPECT_EQ(SimWmiRecord().queryLanguage, L"WQL");
  EXPECT_EQ(SimWmiRecord().query, L"SELECT * FROM vxrBEvnt");
  EXPECT_EQ(SimWmiRecord().queryFlags, 0x80);
  EXPECT_FALSE(bios.StartListeningForEvents());
  bios.StopListeningForEvents();
  EXPECT_EQ(SimWmiRecord().cancelCalls, 1);
  EXPECT_EQ(SimWmiRecord().statusCompletes, 1);
  EXPECT_FALSE(bios.IsListening());
}

TEST_F(FirmwareAccess, RefusedEventQueryIsFalse) {
  SetFlags(kSimFailSubscribe);
  CBIOSWireless bios(CLSID_QelSimWbemLocator);
  ASSERT_TRUE(bios.Connect());
  EXPECT_FALSE(bios.StartListeningForEvents());
}

// ---- status mapping and the set rule

struct StatusCase {
  std::array<BYTE, 4> bytes;
  QelHWPowerState want;
};
class StatusToState : public ::testing::TestWithParam<StatusCase> {};
TEST_P(StatusToState, MapsFirmwareBytes) { EXPECT_EQ(PowerStateFromStatus(GetParam().bytes.data()), GetParam().want); }
INSTANTIATE_TEST_SUITE_P(Firmware, StatusToState,
                         ::testing::Values(StatusCase{{0x00, 0, 0, 0x0D}, QELHW_POWER_NOT_INSTALLED},
                                           StatusCase{{0x04, 0, 0, 0x00}, QELHW_POWER_DISABLED},
                                           StatusCase{{0x04, 0, 0, 0x09}, QELHW_POWER_DISABLED},
                                           StatusCase{{0x04, 0, 0, 0x05}, QELHW_POWER_DISABLED},
                                           StatusCase{{0x04, 0, 0, 0x0C}, QELHW_POWER_OFF},
                                           StatusCase{{0x04, 0, 0, 0x0D}, QELHW_POWER_ON}));

struct SetCase {
  std::array<BYTE, 4> status;
  uint32_t request;
  bool writes;
  std::array<BYTE, 4> written;
};
class SetRule : public FirmwareAccess, public ::testing::WithParamInterface<SetCase> {};
TEST_P(SetRule, WritesOnlyWhatChangesTheRadio) {
  const SetCase& c = GetParam();
  SetStatus(c.status[0], c.status[1], c.status[2], c.status[3]);
  CPCHWIntf hw(CLSID_QelSimWbemLocator);
  ASSERT_EQ(hw.Init(), S_OK);
  uint32_t state = 0;
  ASSERT_EQ(hw.GetPower(&state), S_OK);
  EXPECT_EQ(hw.SetPower(c.request), S_OK);
  FirmwareSimBlock b = sim_.Snapshot();
  EXPECT_EQ(b.writes + b.refusedWrites, c.writes ? 1u : 0u);
  if (c.writes) {
    EXPECT_EQ(std::memcmp(b.lastWrite, c.written.data(), 4), 0);
  }
}
INSTANTIATE_TEST_SUITE_P(Firmware, SetRule,
                         ::testing::Values(SetCase{{0x04, 0, 0x33, 0x0D}, 1, false, {}},
                                           SetCase{{0x04, 0, 0x33, 0x0C}, 1, true, {0x04, 0x04, 0x33, 0x0C}},
                                           SetCase{{0x04, 0, 0x33, 0x0D}, 2, true, {0xFB, 0x04, 0x33, 0x0D}},
                                           SetCase{{0x04, 0, 0x33, 0x0C}, 2, false, {}}));

// ---- change notification

std::vector<uint32_t> g_notified;
HRESULT RecordNotification(void* state) {
  g_notified.push_back(*static_cast<uint32_t*>(state));
  return S_OK;
}

class ChangeNotification : public FirmwareAccess {
 protected:
  void SetUp() override {
    FirmwareAccess::SetUp();
    g_notified.clear();
    hw_ = std::make_unique<CPCHWIntf>(CLSID_QelSimWbemLocator);
    ASSERT_EQ(hw_->Init(), S_OK);
    ASSERT_TRUE(hw_->RegisterCallback(RecordNotification));
  }
  void TearDown() override {
    hw_->StopListening();
    hw_->Release();
    hw_.reset();
    FirmwareAccess::TearDown();
  }
  void ChangeByte3(BYTE value) {
    sim_.Update([value](FirmwareSimBlock& b) { b.status[3] = value; });
  }
  std::unique_ptr<CPCHWIntf> hw_;
};

TEST_F(ChangeNotification, OnlyRadioBitsNotify) {
  struct Case { BYTE byte3; bool notifies; };
  const Case cases[] = {{0x0F, false}, {0x8F, false}, {0xFF, false}, {0xFE, true}, {0xF6, true}, {0xF2, true}};
  for (const Case& c : cases) {
    g_notified.clear();
    ChangeByte3(c.byte3);
    hw_->NotifyCallback();
    EXPECT_EQ(g_notified.size(), c.notifies ? 1u : 0u) << std::hex << int(c.byte3);
  }
}

TEST_F(ChangeNotification, FirmwareEventReachesCallbackThroughMessageLoop) {
  sim_.FlipSwitch();
  ASSERT_TRUE(PumpUntil([] { return !g_notified.empty(); }));
  EXPECT_EQ(g_notified, std::vector<uint32_t>{QELHW_POWER_OFF});
}

TEST_F(ChangeNotification, ReadBetweenChangeAndEventDoesNotHideIt) {
  ChangeByte3(0x0C);
  uint32_t state = 0;
  ASSERT_EQ(hw_->GetPower(&state), S_OK);  // a client's read before the event arrives
  EXPECT_EQ(state, uint32_t(QELHW_POWER_OFF));
  hw_->NotifyCallback();
  EXPECT_EQ(g_notified, std::vector<uint32_t>{QELHW_POWER_OFF});
  hw_->NotifyCallback();  // the same state again: told once
  EXPECT_EQ(g_notified.size(), 1u);
}

TEST_F(ChangeNotification, WriteWhoseOutputShowsNewStateNotifiesOnce) {
  uint32_t state = 0;
  ASSERT_EQ(hw_->GetPower(&state), S_OK);
  ASSERT_EQ(hw_->SetPower(QELHW_POWER_OFF), S_OK);
  EXPECT_EQ(g_notified, std::vector<uint32_t>{QELHW_POWER_OFF});
  hw_->NotifyCallback();  // the firmware's own event for the same change
  EXPECT_EQ(g_notified.size(), 1u);
}

TEST_F(ChangeNotification, FailedWriteSendsNothing) {
  uint32_t state = 0;
  ASSERT_EQ(hw_->GetPower(&state), S_OK);
  SetFlags(kSimFailWrite);
  EXPECT_TRUE(FAILED(hw_->SetPower(QELHW_POWER_OFF)));
  EXPECT_TRUE(g_notified.empty());
}

TEST_F(ChangeNotification, FailedReadLeavesStateAndSendsNothing) {
  SetFlags(kSimFailRead);
  uint32_t state = 77;
  EXPECT_TRUE(FAILED(hw_->GetPower(&state)));
  EXPECT_EQ(state, 77u);
  ChangeByte3(0x0C);
  hw_->NotifyCallback();
  EXPECT_TRUE(g_notified.empty());
}

TEST_F(ChangeNotification, SinkRunsOneNotificationForSeveralEvents) {
  IWbemClassObject* events[2] = {};
  ASSERT_EQ(CreateSimEventObject(3, 7, &events[0]), S_OK);
  ASSERT_EQ(CreateSimEventObject(5, 0, &events[1]), S_OK);
  uint32_t readsBefore = sim_.Snapshot().reads;
  ChangeByte3(0x0C);
  auto* sink = new CWirelessEventSink();
  sink->AddRef();
  EXPECT_EQ(sink->Indicate(2, events), WBEM_S_NO_ERROR);
  EXPECT_EQ(sim_.Snapshot().reads, readsBefore + 1);
  EXPECT_EQ(g_notified.size(), 1u);
  EXPECT_EQ(sink->SetStatus(WBEM_STATUS_COMPLETE, S_OK, nullptr, nullptr), 0);
  void* other = reinterpret_cast<void*>(1);
  EXPECT_EQ(sink->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  sink->Release();
  for (auto* e : events) e->Release();
}

TEST_F(FirmwareAccess, PreviousStatusIsZeroUntilFirstRead) {
  CPCHWIntf hw(CLSID_QelSimWbemLocator);
  ASSERT_EQ(hw.Init(), S_OK);
  EXPECT_EQ(std::memcmp(hw.PreviousStatus(), "\0\0\0\0", 4), 0);
  EXPECT_EQ(std::memcmp(hw.CurrentStatus(), FirmwareSim::kDefaultStatus, 4), 0);
}

}  // namespace
