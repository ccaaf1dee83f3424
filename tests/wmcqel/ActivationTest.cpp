// Manual and over-the-air activation, de-activation and the modem lock through their
// exports, over the simulated modem's NAM (pending and committed values) and lock.
#include <cstring>
#include <string>

#include "EngineInfoTestSeams.h"
#include "PluginFixture.h"

namespace {

using namespace plugintest;

// The provisioning calls in the order the modem saw them.
std::vector<std::string> Writes(const SimSdkControl& sdk) {
  static const char* const names[] = {"QelGetNamInfo",     "QelPstUnlock",         "QelPstSetCurrentNam",
                                      "QelSetMobileDirNum", "QelPstSetSipUserId",   "QelPstSetSipPassword",
                                      "QelSetIMSI",         "QelPstSetHomeSidNid",  "QelPstGetDsQcMip",
                                      "QelPstGetDsMipSsUserProf", "QelPstSetDsMipSsUserProf", "QelSetPRL",
                                      "QelPstLock",         "QelResetModem"};
  std::vector<std::string> out;
  for (const SimSdkCall& c : sdk.Calls())
    for (const char* n : names)
      if (std::strcmp(c.name, n) == 0) out.push_back(c.name);
  return out;
}

class ActivationTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    SetActivationTimeout(20);
    SimSdkActivationState& a = sdk_->activation;
    a.spc = 123456;
    std::strcpy(a.committed.sipUserId, "user@carrier");
    std::strcpy(a.committed.sipPassword, "secret");
    a.committed.homeSid = 10;
    a.committed.homeNid = 20;
    sdk_->info.esnPresent = 1;
    sdk_->info.esn = (0x9Fu << 24) | 1234567u;  // "15901234567"
  }
  void TearDown() override {
    SetActivationTimeout(kActivationTimeoutMs);
    PluginTest::TearDown();
  }
  // A manual block: MDN, MIN, the code, home SID; no PRL, no secrets.
  static WMC_ACTIVATION_INFO Manual(const char* mdn, const char* min, const char* spc = "123456") {
    WMC_ACTIVATION_INFO b{};
    b.size = sizeof b;
    auto put = [](char* field, size_t size, const char* text) { std::memcpy(field, text, strnlen(text, size)); };
    put(b.mdn, sizeof b.mdn, mdn);
    put(b.min, sizeof b.min, min);
    put(b.spc, sizeof b.spc, spc);
    b.homeSid = 4150;
    return b;
  }
  SimSdkNam& Committed() { return sdk_->activation.committed; }
};

TEST_F(ActivationTest, ManualProgrammingWritesInOrderAndCommits) {
  sdk_.SetOut("QelPstGetDsQcMip", uint16_t{1});
  ASSERT_EQ(WMC_Startup(), 0);
  uint8_t prl[3] = {0xA1, 0xB2, 0xC3};
  WMC_ACTIVATION_INFO b = Manual("5551234567", "3105551234");
  b.prlLength = 3;
  b.prl = reinterpret_cast<uintptr_t>(prl);
  b.haSecretGiven = 1;
  b.haSecretLength = 4;
  std::memcpy(b.haSecret, "hhhh", 4);
  sdk_.ClearCalls();
  EXPECT_EQ(WMC_Activate(&b), 0);
  EXPECT_EQ(Writes(sdk_), (std::vector<std::string>{
                              "QelGetNamInfo", "QelPstUnlock", "QelPstSetCurrentNam", "QelSetMobileDirNum",
                              "QelPstSetSipUserId", "QelPstSetSipPassword", "QelSetIMSI", "QelPstSetHomeSidNid",
                              "QelPstGetDsQcMip", "QelPstGetDsMipSsUserProf", "QelPstSetDsMipSsUserProf",
                              "QelSetPRL", "QelPstLock", "QelResetModem"}));
  EXPECT_EQ(sdk_.Calls("QelPstUnlock")[0].args[0], 123456u);
  EXPECT_EQ(sdk_.Calls("QelPstUnlock")[0].timeout, 5000u);
  EXPECT_EQ(sdk_.Calls("QelPstSetCurrentNam")[0].timeout, 10000u);
  EXPECT_EQ(sdk_.Calls("QelPstLock")[0].args[0], 1u);
  EXPECT_EQ(sdk_.Calls("QelPstLock")[0].args[1], 0u);
  EXPECT_STREQ(Committed().mdn, "5551234567");
  EXPECT_STREQ(Committed().imsi, "3105551234");
  EXPECT_STREQ(Committed().sipUserId, "user@carrier");  // written back as read
  EXPECT_EQ(Committed().homeSid, 4150);                 // the host's SID
  EXPECT_EQ(Committed().homeNid, 20);                   // the modem's NID
  EXPECT_EQ(Committed().haLength, 4);
  EXPECT_EQ(std::memcmp(Committed().ha, "hhhh", 4), 0);
  EXPECT_EQ(Committed().prlLength, 3u);
  EXPECT_EQ(std::memcmp(Committed().prl, prl, 3), 0);
  EXPECT_EQ(sdk_->activation.resets, 1u);
  EXPECT_EQ(sdk_->activation.activated, 1);
  EXPECT_EQ(Engine()->activation_.prl, 0u);  // the host's pointer is not kept
  EXPECT_EQ(LinesWith("CSEVDOEngine::ManualActivation"), 1);
}

struct StopCase {
  const char* name;
  const char* entry;      // scripted entry point
  int32_t result;         // its result (0: out bytes instead)
  int outValue;           // uint16 out when >= 0
  const char* mdn;
  const char* min;
  const char* notCalled;  // the step the activation must not reach
  int want;
};
class ManualStops : public ActivationTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(ManualStops, StopsBeforeTheNextStep) {
  const StopCase& c = GetParam();
  ASSERT_EQ(WMC_Startup(), 0);
  if (c.entry) {
    if (c.result) sdk_.SetResult(c.entry, c.result);
    if (c.outValue >= 0) sdk_.SetOut(c.entry, static_cast<uint16_t>(c.outValue));
  }
  uint8_t prl[2] = {1, 2};
  WMC_ACTIVATION_INFO b = Manual(c.mdn, c.min, std::strcmp(c.name, "WrongCode") == 0 ? "111" : "123456");
  b.prlLength = 2;
  b.prl = reinterpret_cast<uintptr_t>(prl);
  if (std::strcmp(c.name, "PrlRefusedTwice") == 0) sdk_->activation.prlFailures = 2;
  sdk_.ClearCalls();
  EXPECT_EQ(WMC_Activate(&b), c.want);
  if (c.notCalled) {
    EXPECT_TRUE(sdk_.Calls(c.notCalled).empty());
  }
  if (c.notCalled && std::strcmp(c.notCalled, "QelPstLock") == 0) {
    // Nothing of a NAM with a failed write is committed.
    EXPECT_EQ(sdk_->activation.commits, 0u);
    EXPECT_STREQ(Committed().mdn, "");
  }
}
INSTANTIATE_TEST_SUITE_P(Table, ManualStops, ::testing::Values(
    StopCase{"NoNam", "QelGetNamInfo", 0, 0, "5551234567", "3105551234", "QelPstUnlock", 200},
    StopCase{"NamInfoFails", "QelGetNamInfo", 5, -1, "5551234567", "3105551234", "QelPstUnlock", 200},
    StopCase{"WrongCode", nullptr, 0, -1, "5551234567", "3105551234", "QelSetMobileDirNum", 200},
    StopCase{"CurrentNamFails", "QelPstSetCurrentNam", 5, -1, "5551234567", "3105551234", "QelPstLock", 200},
    StopCase{"MdnWriteFails", "QelSetMobileDirNum", 5, -1, "5551234567", "3105551234", "QelPstLock", 200},
    StopCase{"SipWriteFails", "QelPstSetSipPassword", 5, -1, "5551234567", "3105551234", "QelPstLock", 200},
    StopCase{"ImsiWriteFails", "QelSetIMSI", 5, -1, "5551234567", "3105551234", "QelPstLock", 200},
    StopCase{"SidWriteFails", "QelPstSetHomeSidNid", 5, -1, "5551234567", "3105551234", "QelPstLock", 200},
    StopCase{"PrlRefusedTwice", nullptr, 0, -1, "5551234567", "3105551234", "QelPstLock", 200},
    StopCase{"CommitStatusNotOne", "QelPstLock", 0, 0, "5551234567", "3105551234", "QelResetModem", 200},
    StopCase{"CommitFails", "QelPstLock", 5, -1, "5551234567", "3105551234", "QelResetModem", 200},
    // The reset numbers do not turn a failed commit into success.
    StopCase{"CommitFailsWithResetNumbers", "QelPstLock", 5, -1, "0011234567", "0000001234", "QelResetModem", 200},
    StopCase{"ResetFails", "QelResetModem", 5, -1, "5551234567", "3105551234", "QelIsModemReady", 200},
    StopCase{"NotActivatedAfterRestart", "QelGetActivationStatus", 0, 0, "5551234567", "3105551234", nullptr, 200},
    StopCase{"StatusUnreadableAfterRestart", "QelGetActivationStatus", 5, -1, "5551234567", "3105551234", nullptr, 200},
    StopCase{"Activated", nullptr, 0, -1, "5551234567", "3105551234", nullptr, 0}),
    [](const ::testing::TestParamInfo<StopCase>& i) { return std::string(i.param.name); });

struct NumbersCase {
  const char* mdn;
  const char* min;
  bool imsiWritten;
  int want;  // the modem reads not activated after the restart
};
class ResetNumbers : public ActivationTest, public ::testing::WithParamInterface<NumbersCase> {};

TEST_P(ResetNumbers, ImsiAndTheResetPattern) {
  const NumbersCase& c = GetParam();
  sdk_.SetOut("QelGetActivationStatus", uint16_t{0});
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b = Manual(c.mdn, c.min);
  EXPECT_EQ(WMC_Activate(&b), c.want);
  EXPECT_EQ(sdk_.Calls("QelSetIMSI").size(), c.imsiWritten ? 1u : 0u);
  EXPECT_EQ(sdk_->activation.commits, 1u);
}
INSTANTIATE_TEST_SUITE_P(Table, ResetNumbers, ::testing::Values(
    // The device ESN text is "15901234567": "001" and its last seven digits.
    NumbersCase{"0011234567", "000000123", false, 0}, NumbersCase{"", "0000009999", false, 0},
    NumbersCase{"00112", "000000", false, 0}, NumbersCase{"0011234568", "000000123", false, 200},
    NumbersCase{"0011234567", "000001123", true, 200}, NumbersCase{"5551234567", "3105551234", true, 200}));

struct SecretCase {
  uint32_t size;
  uint32_t haGiven, haLength;
  const char* ha;
  uint32_t aaaGiven, aaaLength;
  const char* aaa;
  bool written;
  const char* wantHa;
  const char* wantAaa;
};
class Secrets : public ActivationTest, public ::testing::WithParamInterface<SecretCase> {};

TEST_P(Secrets, OnlyChangedSecretsAreWritten) {
  const SecretCase& c = GetParam();
  SimSdkNam& nam = Committed();
  nam.haLength = 4;
  std::memcpy(nam.ha, "HAHA", 4);
  nam.aaaLength = 3;
  std::memcpy(nam.aaa, "AAA", 3);
  sdk_.SetOut("QelPstGetDsQcMip", uint16_t{2});
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b = Manual("5551234567", "3105551234");
  b.size = c.size;
  b.haSecretGiven = c.haGiven;
  b.haSecretLength = c.haLength;
  std::memcpy(b.haSecret, c.ha, std::strlen(c.ha));
  b.aaaSecretGiven = c.aaaGiven;
  b.aaaSecretLength = c.aaaLength;
  std::memcpy(b.aaaSecret, c.aaa, std::strlen(c.aaa));
  EXPECT_EQ(WMC_Activate(&b), 0);
  EXPECT_EQ(sdk_.Calls("QelPstSetDsMipSsUserProf").size(), c.written ? 1u : 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Committed().ha), Committed().haLength), c.wantHa);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Committed().aaa), Committed().aaaLength), c.wantAaa);
}
INSTANTIATE_TEST_SUITE_P(Table, Secrets, ::testing::Values(
    SecretCase{124, 0, 4, "XXXX", 0, 3, "YYY", false, "HAHA", "AAA"},
    SecretCase{124, 1, 4, "HAHA", 1, 3, "AAA", false, "HAHA", "AAA"},
    SecretCase{124, 1, 17, "XXXXXXXXXXXXXXXX", 1, 2, "ZZ", true, "HAHA", "ZZ"},
    SecretCase{124, 1, 16, "0123456789abcdef", 0, 0, "", true, "0123456789abcdef", "AAA"},
    SecretCase{124, 1, 4, "HAHB", 0, 0, "", true, "HAHB", "AAA"}));

TEST_F(ActivationTest, SecretsNeedMobileIpAndTheirRead) {
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b = Manual("5551234567", "3105551234");
  b.haSecretGiven = 1;
  b.haSecretLength = 2;
  sdk_.SetOut("QelPstGetDsQcMip", uint16_t{0});
  EXPECT_EQ(WMC_Activate(&b), 0);
  EXPECT_TRUE(sdk_.Calls("QelPstGetDsMipSsUserProf").empty());
  sdk_.SetOut("QelPstGetDsQcMip", uint16_t{1});
  sdk_.SetResult("QelPstGetDsMipSsUserProf", 5);
  EXPECT_EQ(WMC_Activate(&b), 0);
  EXPECT_TRUE(sdk_.Calls("QelPstSetDsMipSsUserProf").empty());
}

TEST_F(ActivationTest, PrlIsSkippedRetriedOnceAndItsLengthBounded) {
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b = Manual("5551234567", "3105551234");
  EXPECT_EQ(WMC_Activate(&b), 0);
  EXPECT_TRUE(sdk_.Calls("QelSetPRL").empty());
  uint8_t prl[4] = {9, 8, 7, 6};
  b.prlLength = 4;
  b.prl = reinterpret_cast<uintptr_t>(prl);
  sdk_->activation.prlFailures = 1;
  EXPECT_EQ(WMC_Activate(&b), 0);
  ASSERT_EQ(sdk_.Calls("QelSetPRL").size(), 2u);
  EXPECT_EQ(sdk_.Calls("QelSetPRL")[1].args[2], 4u);
  EXPECT_EQ(Committed().prlLength, 4u);
  // A length the SDK's 16 bits cannot carry, or bytes without a pointer: refused untouched.
  sdk_.ClearCalls();
  b.prlLength = 65536;
  EXPECT_EQ(WMC_Activate(&b), 1);
  b.prlLength = 2;
  b.prl = 0;
  EXPECT_EQ(WMC_Activate(&b), 1);
  EXPECT_TRUE(sdk_.Calls("QelGetNamInfo").empty());
  b.prlLength = 65535;
  b.prl = reinterpret_cast<uintptr_t>(prl);
  sdk_.SetResult("QelSetPRL", 3);  // the simulated bytes are not read past 64
  EXPECT_EQ(WMC_Activate(&b), 200);
  ASSERT_EQ(sdk_.Calls("QelSetPRL").size(), 2u);
  EXPECT_EQ(sdk_.Calls("QelSetPRL")[0].args[2], 65535u);
}

TEST_F(ActivationTest, HostFieldsFilledWholeAreReadWithinTheBlock) {
  sdk_->activation.spc = 12345678;
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b = Manual("", "");
  std::memset(b.mdn, '5', sizeof b.mdn);
  std::memset(b.min, '3', sizeof b.min);
  std::memcpy(b.spc, "12345678", 8);  // no terminator: the home SID's bytes follow
  b.homeSid = 0x3939;                   // "99"
  EXPECT_EQ(WMC_Activate(&b), 0);
  EXPECT_EQ(sdk_.Calls("QelPstUnlock")[0].args[0], 12345678u);
  EXPECT_EQ(std::string(Committed().mdn), std::string(22, '5'));
  EXPECT_EQ(std::string(Committed().imsi), std::string(22, '3'));
}

TEST_F(ActivationTest, DeActivationWritesTheFactoryNumbersAndSucceedsWhenNotActivated) {
  sdk_->activation.spc = kFixedProgrammingCode;
  std::strcpy(Committed().mdn, "5551234567");
  sdk_->activation.activated = 1;
  ASSERT_EQ(WMC_Startup(), 0);
  // An earlier manual activation left a PRL pointer and secrets in the engine's copy.
  uint8_t prl[2] = {1, 2};
  WMC_ACTIVATION_INFO b = Manual("5551234567", "3105551234");
  b.prlLength = 2;
  b.prl = reinterpret_cast<uintptr_t>(prl);
  b.haSecretGiven = 1;
  b.haSecretLength = 2;
  sdk_.SetOut("QelPstGetDsQcMip", uint16_t{1});
  ASSERT_EQ(WMC_Activate(&b), 0);
  Committed().haLength = 3;  // changed since: an old host secret must not come back
  std::memcpy(Committed().ha, "new", 3);
  sdk_.ClearCalls();
  EXPECT_EQ(WMC_ResetFactoryDefaults(nullptr), 0);
  EXPECT_STREQ(Committed().mdn, "0000001911");  // the ESN 2668811911's last four digits
  EXPECT_EQ(sdk_.Calls("QelSetPRL").size(), 0u);
  EXPECT_EQ(sdk_.Calls("QelPstSetDsMipSsUserProf").size(), 0u);
  EXPECT_EQ(sdk_.Calls("QelPstUnlock")[0].args[0], kFixedProgrammingCode);
  EXPECT_EQ(sdk_->activation.activated, 0);
  EXPECT_EQ(Committed().homeSid, 4150);  // what the modem holds now
  EXPECT_EQ(std::string(reinterpret_cast<char*>(Committed().ha), Committed().haLength), "new");
  EXPECT_EQ(LinesWith("CSEVDOEngine::DeActivate"), 1);
}

TEST_F(ActivationTest, DeActivationOfAFreshEngineAndItsFailures) {
  sdk_->activation.spc = kFixedProgrammingCode;
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(WMC_ResetFactoryDefaults(nullptr), 0);
  EXPECT_STREQ(Committed().mdn, "0000001911");
  EXPECT_STREQ(Committed().imsi, "0");
  EXPECT_EQ(Committed().homeSid, 10);  // the modem's own: the engine's copy held nothing
  EXPECT_TRUE(sdk_.Calls("QelSetPRL").empty());
  sdk_.SetOut("QelGetActivationStatus", uint16_t{1});  // still activated
  EXPECT_EQ(WMC_ResetFactoryDefaults(nullptr), 200);
  sdk_.SetResult("QelGetActivationStatus", 5);  // unreadable
  EXPECT_EQ(WMC_ResetFactoryDefaults(nullptr), 200);
  sdk_.SetResult("QelGetActivationStatus", 0);
  sdk_.SetResult("QelPstLock", 5);
  sdk_.SetOut("QelGetActivationStatus", uint16_t{0});
  EXPECT_EQ(WMC_ResetFactoryDefaults(nullptr), 200);
}

TEST_F(ActivationTest, DeActivationDigitsOfAnEsnAboveTwoToTheThirtyOne) {
  sdk_->activation.spc = kFixedProgrammingCode;
  sdk_->info.esn = 0xFFFFFFFBu;  // 4294967291
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(WMC_ResetFactoryDefaults(nullptr), 0);
  EXPECT_STREQ(Committed().mdn, "0000007291");
}

TEST_F(ActivationTest, AutomaticActivationTimesOutWithItsNotification) {
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b{};
  b.size = sizeof b;
  b.type = 1;
  ClearCaptured();
  EXPECT_EQ(WMC_Activate(&b), 205);
  EXPECT_STREQ(sdk_->activation.dialled, "*22899");
  EXPECT_EQ(Engine()->automaticActivationPending_, 1u);
  EXPECT_NE(g_activationTimer.load(), 0u);
  ASSERT_TRUE(qeltest::PumpUntil([] { return !Notifications().empty(); }, 5000));
  EXPECT_EQ(Notifications(), std::vector<int>{WMC_NOTIFY_ACTIVATION_DONE});
  EXPECT_EQ(Engine()->automaticActivationPending_, 0u);
  EXPECT_EQ(g_activationTimer.load(), 0u);
  EXPECT_EQ(LinesWith("CSEVDOEngine::AutoActivation"), 1);
}

TEST_F(ActivationTest, ConnectingInTimeLeavesTheTimerNothingToDo) {
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b{};
  b.size = sizeof b;
  b.type = 7;
  EXPECT_EQ(WMC_Activate(&b), 205);
  SDK_NOTIF connecting = {};
  connecting.id = 10;
  Engine()->ProcessNotification(&connecting);
  EXPECT_EQ(Engine()->activationInProgress_, 1u);
  ClearCaptured();
  ASSERT_TRUE(qeltest::PumpUntil([] { return g_activationTimer.load() == 0; }, 5000));
  EXPECT_TRUE(Notifications().empty());
  EXPECT_EQ(Engine()->activationInProgress_, 1u);
  // A second one while this one runs is refused, and so is any while the call is up.
  EXPECT_EQ(WMC_Activate(&b), 102);
  Engine()->connection_.state = WMC_STATE_IDLE;
  EXPECT_EQ(WMC_Activate(&b), 200);
  EXPECT_EQ(sdk_.Calls("QelSetCallOriginateCmd").size(), 1u);
}

TEST_F(ActivationTest, AnUndialledActivationStartsNoTimer) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetResult("QelSetCallOriginateCmd", 9);
  WMC_ACTIVATION_INFO b{};
  b.size = sizeof b;
  b.type = 1;
  EXPECT_EQ(WMC_Activate(&b), 200);
  EXPECT_EQ(g_activationTimer.load(), 0u);
  EXPECT_EQ(Engine()->automaticActivationPending_, 0u);
}

TEST_F(ActivationTest, ATimerThatOutlivesItsEngineDoesNothing) {
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b{};
  b.size = sizeof b;
  b.type = 1;
  EXPECT_EQ(WMC_Activate(&b), 205);
  ASSERT_EQ(WMC_Shutdown(), 0);
  ClearCaptured();
  ASSERT_TRUE(qeltest::PumpUntil([] { return g_activationTimer.load() == 0; }, 5000));
  EXPECT_TRUE(Notifications().empty());
}

TEST_F(ActivationTest, RealTimeOutIsTwoSeconds) {
  SetActivationTimeout(kActivationTimeoutMs);
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_ACTIVATION_INFO b{};
  b.size = sizeof b;
  b.type = 1;
  ClearCaptured();
  DWORD start = GetTickCount();
  EXPECT_EQ(WMC_Activate(&b), 205);
  ASSERT_TRUE(qeltest::PumpUntil([] { return !Notifications().empty(); }, 6000));
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 1950u);
  EXPECT_LT(elapsed, 4000u);
}

struct LockCase {
  uint16_t status;
  int lock;
  const char* modemCode;
  const char* code;
  int32_t statusRead;  // QelGetLockStatus's scripted result
  int want;
  size_t lockCalls;
  uint16_t wantStatus;
};
class Lock : public ActivationTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(Lock, LockTable) {
  const LockCase& c = GetParam();
  sdk_->activation.lockStatus = c.status;
  std::strcpy(sdk_->activation.lockCode, c.modemCode);
  ASSERT_EQ(WMC_Startup(), 0);
  if (c.statusRead) sdk_.SetResult("QelGetLockStatus", c.statusRead);
  EXPECT_EQ(WMC_SetLock(c.lock, c.code), c.want);
  EXPECT_EQ(sdk_.Calls("QelLockModem").size(), c.lockCalls);
  EXPECT_EQ(sdk_->activation.lockStatus, c.wantStatus);
}
INSTANTIATE_TEST_SUITE_P(Table, Lock, ::testing::Values(
    LockCase{1, 1, "1234", "1234", 0, 204, 0, 1}, LockCase{0, 0, "1234", "1234", 0, 0, 0, 0},
    LockCase{0, 1, "1234", "1234", 0, 0, 1, 1}, LockCase{1, 0, "1234", "1234", 0, 0, 1, 0},
    LockCase{0, 1, "1234", "9999", 0, 203, 1, 0}, LockCase{1, 0, "1234", "9999", 0, 203, 1, 1},
    LockCase{0, 1, "1234", "1234", 5, 101, 0, 0}));

TEST_F(ActivationTest, LockCallThatLeavesTheStateIsRefused) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetOut("QelLockModem", uint16_t{1});  // answers 0 without locking
  EXPECT_EQ(WMC_SetLock(1, "0000"), 203);
  EXPECT_EQ(sdk_.Calls("QelGetLockStatus").size(), 2u);
}

struct CodeCase {
  uint16_t status;
  const char* oldCode;
  int32_t statusRead;
  int want;
  const char* wantCode;
};
class ChangeCode : public ActivationTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ChangeCode, ChangeTable) {
  const CodeCase& c = GetParam();
  sdk_->activation.lockStatus = c.status;
  std::strcpy(sdk_->activation.lockCode, "1234");
  ASSERT_EQ(WMC_Startup(), 0);
  if (c.statusRead) sdk_.SetResult("QelGetLockStatus", c.statusRead);
  EXPECT_EQ(WMC_ChangeLockCode(c.oldCode, "5678"), c.want);
  EXPECT_STREQ(sdk_->activation.lockCode, c.wantCode);
}
INSTANTIATE_TEST_SUITE_P(Table, ChangeCode, ::testing::Values(
    CodeCase{0, "1234", 0, 0, "5678"}, CodeCase{0, "0000", 0, 203, "1234"}, CodeCase{1, "1234", 0, 204, "1234"},
    CodeCase{0, "1234", 5, 101, "1234"}, CodeCase{0, nullptr, 0, 1, "1234"}));

TEST_F(ActivationTest, ChangeLockCodeWithoutItsEntryPointIsNotOffered) {
  Use("nochangepin", "full");
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(WMC_ChangeLockCode("1234", "5678"), 103);
  EXPECT_EQ(WMC_SetLock(1, "1234"), 0);  // the rest of the library works
}

}  // namespace
