// Parameters, the power switch, NDIS data mode and the firmware upgrade, against the
// simulated SDK and client library.
#include <thread>

#include "GuardedBlock.h"
#include "ParametersTestSeams.h"
#include "PluginFixture.h"

namespace {

using namespace plugintest;

class ParametersTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    SetNdisPollPause(0);
  }
  void TearDown() override {
    SetNdisPollPause(kNdisPollPauseMs);
    SetEnvironmentVariableA("QEL_EXITWITH_CODE", nullptr);
    SetEnvironmentVariableA("QEL_EXITWITH_MS", nullptr);
    PluginTest::TearDown();
  }
  // The names of the logged calls among names, in order.
  std::vector<std::string> CallsAmong(std::initializer_list<const char*> names) {
    std::vector<std::string> out;
    for (const SimSdkCall& call : sdk_.Calls())
      for (const char* n : names)
        if (std::strcmp(call.name, n) == 0) out.push_back(call.name);
    return out;
  }
};

// Reading the parameters.
struct GetCase {
  const char* name;
  uint16_t sdkMode, hybrid, qcMip, accolc;
  uint32_t wantMode, wantMip;  // the host's fields start at 7
  uint16_t wantHybrid;          // the modem's hybrid preference afterwards
};
class GetParameters : public ParametersTest, public ::testing::WithParamInterface<GetCase> {};

TEST_P(GetParameters, MapsTheModemsValues) {
  const GetCase& c = GetParam();
  sdk_->parameters.prefMode = c.sdkMode;
  sdk_->parameters.hybridPref = c.hybrid;
  sdk_->parameters.qcMip = c.qcMip;
  sdk_->parameters.accolc = c.accolc;
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_PARAMETERS p = {14, 7, 7, 7};
  EXPECT_EQ(WMC_GetParameters(&p), 0);
  EXPECT_EQ(p.preferredMode, c.wantMode);
  EXPECT_EQ(p.qcMipMode, c.wantMip);
  EXPECT_EQ(p.accolc, c.accolc);
  EXPECT_EQ(p.size, 14u);
  EXPECT_EQ(sdk_->parameters.hybridPref, c.wantHybrid);
  EXPECT_EQ(sdk_.Calls("QelSetHdrHybrPref").size(), c.hybrid != c.wantHybrid ? 1u : 0u);
  for (const char* n : {"QelPstGetPrefMode", "QelPstGetDsQcMip", "QelPstGetAccolc"}) {
    ASSERT_EQ(sdk_.Calls(n).size(), 1u) << n;
    EXPECT_EQ(sdk_.Calls(n)[0].timeout, 5000u) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, GetParameters, ::testing::Values(
    GetCase{"AutomaticGetsHybridOne", 4, 0, 1, 3, 0, 1, 1},
    GetCase{"AutomaticWithHybridOne", 4, 1, 0, 0, 0, 0, 1},
    GetCase{"Mode9", 9, 0, 2, 15, 1, 2, 0},
    GetCase{"Mode10", 10, 0, 0, 9, 2, 0, 0},
    GetCase{"Mode5LeavesTheField", 5, 0, 0, 1, 7, 0, 0},
    GetCase{"QcMip3LeavesTheField", 9, 0, 3, 1, 1, 7, 0}),
    [](const ::testing::TestParamInfo<GetCase>& i) { return std::string(i.param.name); });

TEST_F(ParametersTest, GetParametersStopsAtAFailedRead) {
  sdk_->parameters.prefMode = 9;
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetResult("QelPstGetDsQcMip", 44);
  WMC_PARAMETERS p = {14, 7, 7, 7};
  EXPECT_EQ(WMC_GetParameters(&p), WMC_ERROR_FAILED);
  EXPECT_EQ(p.preferredMode, 1u);  // written before the failure
  EXPECT_EQ(p.qcMipMode, 7u);
  sdk_.SetResult("QelPstGetDsQcMip", 0);
  sdk_.SetResult("QelPstGetPrefMode", 44);
  EXPECT_EQ(WMC_GetParameters(&p), WMC_ERROR_FAILED);
}

// Writing them: the writes made, in order, and the restart.
struct SetCase {
  const char* name;
  uint16_t sdkMode, qcMip, accolc;  // the modem before
  uint32_t hostMip, hostMode;
  uint16_t hostAccolc;
  int want;
  std::vector<std::string> writes;
};
class SetParameters : public ParametersTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetParameters, WritesChangedValuesThenRestarts) {
  const SetCase& c = GetParam();
  sdk_->parameters.prefMode = c.sdkMode;
  sdk_->parameters.hybridPref = 1;
  sdk_->parameters.qcMip = c.qcMip;
  sdk_->parameters.accolc = c.accolc;
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.ClearCalls();
  WMC_PARAMETERS p = {14, c.hostMip, c.hostMode, c.hostAccolc};
  EXPECT_EQ(WMC_SetParameters(&p), c.want);
  EXPECT_EQ(CallsAmong({"QelSetHdrHybrPref", "QelPstSetPrefMode", "QelPstSetDsQcMip", "QelPstUnlock",
                        "QelPstSetAccolc", "QelResetModem"}),
            c.writes);
  bool restarted = !sdk_.Calls("QelResetModem").empty();
  // The restart subscribes the notifications again.
  EXPECT_EQ(sdk_.Calls("QelNotify").size(), restarted ? 18u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, SetParameters, ::testing::Values(
    SetCase{"NothingChanged", 9, 1, 3, 1, 1, 3, 0, {}},
    SetCase{"QcMipAloneNoRestart", 9, 1, 3, 2, 1, 3, 0, {"QelPstSetDsQcMip"}},
    SetCase{"AutomaticFromMode9", 9, 1, 3, 1, 0, 3, 0,
            {"QelSetHdrHybrPref", "QelPstSetPrefMode", "QelResetModem"}},
    SetCase{"Mode10", 4, 1, 3, 1, 2, 3, 0, {"QelPstSetPrefMode", "QelResetModem"}},
    SetCase{"AccolcUnlocksFirst", 9, 1, 3, 1, 1, 15, 0, {"QelPstUnlock", "QelPstSetAccolc", "QelResetModem"}},
    SetCase{"AllInOrder", 10, 0, 3, 2, 1, 4, 0,
            {"QelPstSetPrefMode", "QelPstSetDsQcMip", "QelPstUnlock", "QelPstSetAccolc", "QelResetModem"}},
    SetCase{"Accolc16", 9, 1, 3, 1, 1, 16, 1, {}},
    SetCase{"PreferredMode3", 9, 1, 3, 1, 3, 3, 1, {}},
    SetCase{"QcMip3", 9, 1, 3, 3, 1, 3, 1, {}},
    // Checked before the first write: a refused Accolc leaves the mode and QC MIP unwritten.
    SetCase{"RefusedAccolcWritesNothingBefore", 9, 1, 3, 2, 0, 16, 1, {}},
    // A mode the host cannot name counts as changed.
    SetCase{"FromAnUnnamedMode", 5, 1, 3, 1, 1, 3, 0, {"QelPstSetPrefMode", "QelResetModem"}}),
    [](const ::testing::TestParamInfo<SetCase>& i) { return std::string(i.param.name); });

TEST_F(ParametersTest, SetParametersWritesTheSdkValues) {
  sdk_->parameters.prefMode = 9;
  ASSERT_EQ(WMC_Startup(), 0);
  WMC_PARAMETERS p = {14, 2, 0, 12};
  EXPECT_EQ(WMC_SetParameters(&p), 0);
  EXPECT_EQ(sdk_->parameters.prefMode, 4);
  EXPECT_EQ(sdk_->parameters.hybridPref, 1);
  EXPECT_EQ(sdk_->parameters.qcMip, 2);
  EXPECT_EQ(sdk_->parameters.accolc, 12);
  ASSERT_EQ(sdk_.Calls("QelPstUnlock").size(), 1u);
  EXPECT_EQ(sdk_.Calls("QelPstUnlock")[0].args[0], kFixedProgrammingCode);
  EXPECT_EQ(sdk_.Calls("QelPstSetPrefMode")[0].timeout, 5000u);
  EXPECT_EQ(p.qcMipMode, 2u);  // the host's block is only read
}

struct SetFailureCase {
  const char* entry;
  int want;
};
class SetParametersFailure : public ParametersTest, public ::testing::WithParamInterface<SetFailureCase> {};
TEST_P(SetParametersFailure, AnSdkFailureGives104) {
  sdk_->parameters.prefMode = 9;
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetResult(GetParam().entry, 44);
  WMC_PARAMETERS p = {14, 2, 0, 12};
  EXPECT_EQ(WMC_SetParameters(&p), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(Table, SetParametersFailure, ::testing::Values(
    SetFailureCase{"QelPstGetAccolc", 104}, SetFailureCase{"QelSetHdrHybrPref", 104},
    SetFailureCase{"QelPstSetPrefMode", 104}, SetFailureCase{"QelPstSetDsQcMip", 104},
    SetFailureCase{"QelPstUnlock", 104}, SetFailureCase{"QelPstSetAccolc", 104},
    SetFailureCase{"QelResetModem", 104}, SetFailureCase{"QelIsModemReady", 0}));

// The parameter blocks at the end of a page: at their minimum size and one byte short.
TEST_F(ParametersTest, ParameterBlocksAtThePageEnd) {
  sdk_->parameters.prefMode = 10;
  sdk_->parameters.accolc = 6;
  ASSERT_EQ(WMC_Startup(), 0);
  GuardedBlock get(14);
  EXPECT_EQ(WMC_GetParameters(static_cast<WMC_PARAMETERS*>(get.get())), 0);
  EXPECT_EQ(get.At(8), 2u);
  EXPECT_EQ(get.At(12) & 0xFFFF, 6u);
  GuardedBlock set(14, [](void* b) {
    WMC_PARAMETERS p = {14, 0, 2, 6};
    std::memcpy(b, &p, sizeof p);
  });
  EXPECT_EQ(WMC_SetParameters(static_cast<WMC_PARAMETERS*>(set.get())), 0);
  EXPECT_TRUE(set.Unchanged());
  for (auto call : {+[](void* b) { return WMC_GetParameters(static_cast<WMC_PARAMETERS*>(b)); },
                    +[](void* b) { return WMC_SetParameters(static_cast<WMC_PARAMETERS*>(b)); }}) {
    GuardedBlock small(13);
    EXPECT_EQ(call(small.get()), 300);
    EXPECT_TRUE(small.Unchanged());
  }
}

// The power switch.
struct PowerCase {
  const char* name;
  const char* client;
  uint32_t clientPower;  // once started (3: disabled)
  int on;
  int want;
  int sdkSetPower;  // the QelSetPower argument, -1: none
};
class SetPower : public ParametersTest, public ::testing::WithParamInterface<PowerCase> {};
TEST_P(SetPower, SwitchesThroughTheClientLibraryElseTheSdk) {
  const PowerCase& c = GetParam();
  Use("full", c.client);
  ASSERT_EQ(WMC_Startup(), 0);
  client_->powerState = c.clientPower;
  sdk_.ClearCalls();
  EXPECT_EQ(WMC_SetPower(c.on), c.want);
  auto set = sdk_.Calls("QelSetPower");
  ASSERT_EQ(set.size(), c.sdkSetPower < 0 ? 0u : 1u);
  if (c.sdkSetPower >= 0) {
    EXPECT_EQ(set[0].args[0], static_cast<uint32_t>(c.sdkSetPower));
  }
}
INSTANTIATE_TEST_SUITE_P(Table, SetPower, ::testing::Values(
    PowerCase{"OnThroughClient", "full", 2, 1, 0, -1},
    PowerCase{"NoClientOnThroughSdk", "none", 0, 1, 0, 0},
    PowerCase{"NoClientOffThroughSdk", "none", 0, 0, 0, 5},
    // The client library answers 0 without switching a disabled radio.
    PowerCase{"DisabledRadioIsNotSwitched", "full", 3, 1, WMC_ERROR_NO_DEVICE, -1},
    PowerCase{"DisabledRadioOff", "full", 3, 0, WMC_ERROR_NO_DEVICE, -1}),
    [](const ::testing::TestParamInfo<PowerCase>& i) { return std::string(i.param.name); });

// NDIS mode.
struct GetNdisCase {
  const char* name;
  const char* variant;
  int32_t answer;  // of both NDIS entry points
  uint32_t offered, mode;
  int want;
  uint32_t wantMode;  // the block's mode afterwards (it starts at 7)
};
class GetNdis : public ParametersTest, public ::testing::WithParamInterface<GetNdisCase> {};
TEST_P(GetNdis, ReportsTheMode) {
  const GetNdisCase& c = GetParam();
  Use(c.variant, "full");
  sdk_->parameters.ndisAnswer = c.answer;
  sdk_->parameters.ndisOffered = c.offered;
  sdk_->parameters.ndisMode = c.mode;
  WMC_NDIS_MODE block = {8, 7};
  EXPECT_EQ(WMC_GetNDISMode(&block), c.want);  // starts the engine first
  EXPECT_NE(Engine(), nullptr);
  EXPECT_EQ(block.mode, c.wantMode);
  EXPECT_EQ(block.size, 8u);
  EXPECT_EQ(LinesWith("CSEVDOEngine::GetNDISMode\n"), 1);
}
INSTANTIATE_TEST_SUITE_P(Table, GetNdis, ::testing::Values(
    GetNdisCase{"On", "full", 0, 1, 1, 0, 1},
    GetNdisCase{"Off", "full", 0, 1, 0, 0, 0},
    GetNdisCase{"OtherModeIsOff", "full", 0, 1, 2, 0, 0},
    GetNdisCase{"NotOffered", "full", 0, 0, 1, WMC_ERROR_NOT_SUPPORTED, 7},
    GetNdisCase{"Answer911", "full", 911, 1, 1, WMC_ERROR_NOT_SUPPORTED, 7},
    GetNdisCase{"OtherFailure", "full", 44, 1, 1, WMC_ERROR_FAILED, 7},
    // The wrapper's answer for a missing entry point.
    GetNdisCase{"NoEntryPoint", "baseonly", 0, 1, 1, WMC_ERROR_NOT_SUPPORTED, 7}),
    [](const ::testing::TestParamInfo<GetNdisCase>& i) { return std::string(i.param.name); });

struct SetNdisCase {
  const char* name;
  const char* variant;
  uint32_t mode;
  int32_t answer;         // of both NDIS entry points
  int32_t dialResult;     // of QelSetCallOriginateCmd or QelSetCallDisconnectCmd
  int want;
  std::vector<std::string> calls;
  uint32_t autoconnect;   // stored by the modem
};
class SetNdis : public ParametersTest, public ::testing::WithParamInterface<SetNdisCase> {};
TEST_P(SetNdis, SwitchesAndDials) {
  const SetNdisCase& c = GetParam();
  Use(c.variant, "full");
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_->parameters.autoconnect = 9;
  sdk_->parameters.ndisAnswer = c.answer;
  sdk_.SetResult(c.mode ? "QelSetCallOriginateCmd" : "QelSetCallDisconnectCmd", c.dialResult);
  sdk_.ClearCalls();
  WMC_NDIS_MODE block = {8, c.mode};
  EXPECT_EQ(WMC_SetNDISMode(&block), c.want);
  EXPECT_EQ(CallsAmong({"QelSetNDISPrefMode", "QelSetAutoconnect", "QelSetCallOriginateCmd",
                        "QelSetCallDisconnectCmd"}),
            c.calls);
  EXPECT_EQ(sdk_->parameters.autoconnect, c.autoconnect);
  auto originate = sdk_.Calls("QelSetCallOriginateCmd");
  if (!originate.empty()) {
    EXPECT_EQ(originate[0].args[0], 257u);
    EXPECT_EQ(originate[0].timeout, 3000u);
  }
  auto pref = sdk_.Calls("QelSetNDISPrefMode");
  if (!pref.empty()) {
    EXPECT_EQ(pref[0].args[0], c.mode ? 1u : 0u);
  }
}
INSTANTIATE_TEST_SUITE_P(Table, SetNdis, ::testing::Values(
    SetNdisCase{"On", "full", 1, 0, 0, 0, {"QelSetNDISPrefMode", "QelSetAutoconnect", "QelSetCallOriginateCmd"}, 1},
    SetNdisCase{"OnDialFails", "full", 1, 0, 7, 104,
                {"QelSetNDISPrefMode", "QelSetAutoconnect", "QelSetCallOriginateCmd"}, 1},
    SetNdisCase{"OnNotOfferedStillDials", "full", 1, 911, 0, 0, {"QelSetNDISPrefMode", "QelSetCallOriginateCmd"}, 9},
    SetNdisCase{"OnNoEntryPointStillDials", "baseonly", 1, 0, 0, 0, {"QelSetCallOriginateCmd"}, 9},
    // A refused switch is a failure, and no call is started.
    SetNdisCase{"OnRefused", "full", 1, 44, 0, 104, {"QelSetNDISPrefMode"}, 9},
    SetNdisCase{"Off", "full", 0, 0, 0, 0, {"QelSetCallDisconnectCmd", "QelSetNDISPrefMode", "QelSetAutoconnect"}, 0},
    SetNdisCase{"OffDisconnectFails", "full", 0, 0, 7, 104,
                {"QelSetCallDisconnectCmd", "QelSetNDISPrefMode", "QelSetAutoconnect"}, 0},
    SetNdisCase{"OffNotOffered", "full", 0, 911, 0, 0, {"QelSetCallDisconnectCmd", "QelSetNDISPrefMode"}, 9},
    SetNdisCase{"OffRefused", "full", 0, 44, 0, 104, {"QelSetCallDisconnectCmd", "QelSetNDISPrefMode"}, 9}),
    [](const ::testing::TestParamInfo<SetNdisCase>& i) { return std::string(i.param.name); });

TEST_F(ParametersTest, NdisOffWaitsForIdleWithNotificationsOffAroundTheSwitch) {
  ASSERT_EQ(WMC_Startup(), 0);
  Engine()->connection_.state = WMC_STATE_CONNECTED;
  sdk_.SetOut("QelGetCallConnectionState", uint32_t{0x4000});
  sdk_.ClearCalls();
  WMC_NDIS_MODE block = {8, 0};
  EXPECT_EQ(WMC_SetNDISMode(&block), 0);
  // Five reads while the call stays dormant, a pause after each.
  EXPECT_EQ(sdk_.Calls("QelGetCallConnectionState").size(), 5u);
  EXPECT_EQ(LinesWith("SetNDISMode COUNT 4\n"), 1);
  EXPECT_EQ(LinesWith("SetNDISMode COUNT 5\n"), 0);
  EXPECT_EQ(Engine()->connection_.state, WMC_STATE_DORMANT);
  std::vector<std::string> order = CallsAmong({"QelStopNotify", "QelSetNDISPrefMode", "QelNotify"});
  ASSERT_EQ(order.size(), 37u);
  EXPECT_EQ(order[17], "QelStopNotify");
  EXPECT_EQ(order[18], "QelSetNDISPrefMode");
  EXPECT_EQ(order[19], "QelNotify");
  EXPECT_TRUE(Engine()->NotificationsOn());
  EXPECT_EQ(LinesWith("CSEVDOEngine::SetNDISMode(0)\n"), 1);

  // A call that goes idle ends the polls.
  Engine()->connection_.state = WMC_STATE_CONNECTED;
  sdk_.SetOut("QelGetCallConnectionState", uint32_t{0});
  sdk_.ClearCalls();
  EXPECT_EQ(WMC_SetNDISMode(&block), 0);
  EXPECT_EQ(sdk_.Calls("QelGetCallConnectionState").size(), 1u);
  EXPECT_EQ(Engine()->connection_.state, WMC_STATE_IDLE);
}

TEST_F(ParametersTest, NdisBlocksAreCheckedBeforeTheStartup) {
  sdk_->parameters.ndisOffered = 1;
  sdk_->parameters.ndisMode = 1;
  GuardedBlock shortGet(7), shortSet(7);
  EXPECT_EQ(WMC_GetNDISMode(static_cast<WMC_NDIS_MODE*>(shortGet.get())), 300);
  EXPECT_EQ(WMC_SetNDISMode(static_cast<WMC_NDIS_MODE*>(shortSet.get())), 300);
  EXPECT_EQ(WMC_GetNDISMode(nullptr), 1);
  EXPECT_EQ(WMC_SetNDISMode(nullptr), 1);
  EXPECT_TRUE(shortGet.Unchanged() && shortSet.Unchanged());
  EXPECT_EQ(Engine(), nullptr);
  GuardedBlock get(8);
  EXPECT_EQ(WMC_GetNDISMode(static_cast<WMC_NDIS_MODE*>(get.get())), 0);
  EXPECT_EQ(get.At(4), 1u);
  GuardedBlock set(8, [](void* b) { static_cast<WMC_NDIS_MODE*>(b)->mode = 1; });
  EXPECT_EQ(WMC_SetNDISMode(static_cast<WMC_NDIS_MODE*>(set.get())), 0);
  EXPECT_TRUE(set.Unchanged());
}

// The upgrade check.
struct UpgradeCase {
  int32_t sdkStatus;
  uint32_t want;
};
class UpgradeStatus : public ParametersTest, public ::testing::WithParamInterface<UpgradeCase> {};
TEST_P(UpgradeStatus, MapsTheSdkStatus) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_->parameters.upgradeScripted = 1;
  sdk_->parameters.upgradeStatus = GetParam().sdkStatus;
  std::strcpy(sdk_->parameters.upgradePath, "C:\\upgrade\\setup.exe");
  WMC_UPGRADE_INFO info = {};
  info.size = sizeof info;
  info.status = 9;
  std::strcpy(info.checkPath, "C:\\drivers");
  std::memset(info.programPath, 'x', sizeof info.programPath);
  EXPECT_EQ(WMC_CheckForUpgrade(&info), 0);
  EXPECT_EQ(info.status, GetParam().want);
  if (GetParam().want == 2) {
    EXPECT_STREQ(info.programPath, "C:\\upgrade\\setup.exe");
  } else {
    EXPECT_EQ(info.programPath[0], 'x');
  }
  EXPECT_STREQ(sdk_->parameters.checkPath, "C:\\drivers");
  ASSERT_EQ(sdk_.Calls("QelVerifyUpgradeRequired").size(), 1u);
  EXPECT_EQ(sdk_.Calls("QelVerifyUpgradeRequired")[0].timeout, 3000u);
}
INSTANTIATE_TEST_SUITE_P(Table, UpgradeStatus, ::testing::Values(
    UpgradeCase{0, 2}, UpgradeCase{1, 3}, UpgradeCase{2, 3}, UpgradeCase{3, 3}, UpgradeCase{6, 3}, UpgradeCase{8, 3},
    UpgradeCase{4, 4}, UpgradeCase{5, 4}, UpgradeCase{7, 0}, UpgradeCase{9, 0}, UpgradeCase{-1, 0}));

TEST_F(ParametersTest, UpgradeCheckFailures) {
  WMC_UPGRADE_INFO info = {};
  info.size = sizeof info;
  info.status = 9;
  EXPECT_EQ(WMC_CheckForUpgrade(&info), WMC_ERROR_NOT_STARTED);
  EXPECT_EQ(info.status, 9u);
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetResult("QelVerifyUpgradeRequired", 44);
  EXPECT_EQ(WMC_CheckForUpgrade(&info), WMC_ERROR_FAILED);
  EXPECT_EQ(info.status, 0u);
  // A status the SDK does not write is no upgrade.
  sdk_.SetResult("QelVerifyUpgradeRequired", 0);
  info.status = 9;
  EXPECT_EQ(WMC_CheckForUpgrade(&info), 0);
  EXPECT_EQ(info.status, 0u);
  WMC_Shutdown();
  Use("baseonly", "full");
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(WMC_CheckForUpgrade(&info), WMC_ERROR_NOT_SUPPORTED);
}

TEST_F(ParametersTest, UpgradePathsAreBoundedAtThePageEnd) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_->parameters.upgradeScripted = 1;
  sdk_->parameters.upgradeStatus = 0;
  std::memset(sdk_->parameters.upgradePath, 'p', 290);
  sdk_->parameters.upgradeLength = 400;  // more than the buffer it was given
  // Check path without a terminator in its field; the program path field fills the page.
  GuardedBlock block(528, [](void* b) { std::memset(static_cast<char*>(b) + 8, 'c', 520); });
  EXPECT_EQ(WMC_CheckForUpgrade(static_cast<WMC_UPGRADE_INFO*>(block.get())), 0);
  const auto* info = static_cast<const WMC_UPGRADE_INFO*>(block.get());
  EXPECT_EQ(info->status, 2u);
  EXPECT_EQ(std::string(info->programPath), std::string(259, 'p'));
  EXPECT_EQ(std::string(sdk_->parameters.checkPath), std::string(259, 'c'));
  GuardedBlock small(527);
  EXPECT_EQ(WMC_CheckForUpgrade(static_cast<WMC_UPGRADE_INFO*>(small.get())), 300);
  EXPECT_TRUE(small.Unchanged());
  EXPECT_EQ(WMC_CheckForUpgrade(nullptr), 1);
}

// The upgrade launch: the program named at +268, its exit code, the wait.
WMC_UPGRADE_INFO UpgradeTo(const std::string& program) {
  WMC_UPGRADE_INFO info = {};
  info.size = sizeof info;
  lstrcpynA(info.programPath, program.c_str(), sizeof info.programPath);
  return info;
}
std::string ExitWith() { return RootBin() + "exitwith.exe"; }

struct LaunchCase {
  const char* code;
  int want;
};
class UpgradeLaunch : public ParametersTest, public ::testing::WithParamInterface<LaunchCase> {};
TEST_P(UpgradeLaunch, ResultFollowsTheExitCode) {
  SetEnvironmentVariableA("QEL_EXITWITH_CODE", GetParam().code);
  WMC_UPGRADE_INFO info = UpgradeTo(ExitWith());
  EXPECT_EQ(WMC_Upgrade(&info), GetParam().want);  // no engine needed
}
INSTANTIATE_TEST_SUITE_P(Table, UpgradeLaunch, ::testing::Values(
    LaunchCase{"0", 0}, LaunchCase{"1", 104}, LaunchCase{"259", 104}, LaunchCase{"0xC0000005", 104}));

TEST_F(ParametersTest, UpgradeOfAMissingProgramFails) {
  WMC_UPGRADE_INFO info = UpgradeTo(RootBin() + "no-such-upgrade.exe");
  EXPECT_EQ(WMC_Upgrade(&info), WMC_ERROR_FAILED);
  GuardedBlock small(527);
  EXPECT_EQ(WMC_Upgrade(static_cast<WMC_UPGRADE_INFO*>(small.get())), 300);
  EXPECT_EQ(WMC_Upgrade(nullptr), 1);
}

// The helper's path padded with ".\" steps to exactly n characters.
std::string PaddedExitWith(size_t n) {
  char full[MAX_PATH];
  GetFullPathNameA(RootBin().c_str(), sizeof full, full, nullptr);
  std::string dir = full;  // ends with a backslash
  std::string last = dir.substr(0, dir.size() - 1);
  last = last.substr(last.rfind('\\') + 1);
  const std::string name = "exitwith.exe";
  if ((n - dir.size() - name.size()) % 2) dir += "..\\" + last + "\\";  // an odd step
  while (dir.size() + name.size() < n) dir += ".\\";
  return dir + name;
}

TEST_F(ParametersTest, UpgradeProgramPathUnterminatedAtThePageEnd) {
  // A path of 259 characters and one more byte fill the field: the launch reads no byte past
  // the block and cuts the path at 259.
  std::string program = PaddedExitWith(259);
  ASSERT_EQ(program.size(), 259u);
  GuardedBlock block(528, [&](void* b) {
    char* field = static_cast<char*>(b) + 268;
    std::memcpy(field, program.data(), program.size());
    field[259] = 'X';
  });
  EXPECT_EQ(WMC_Upgrade(static_cast<WMC_UPGRADE_INFO*>(block.get())), 0);
  EXPECT_TRUE(block.Unchanged());
}

void CALLBACK UpgradeTick(HWND, UINT, UINT_PTR, DWORD) { CaptureLine("upgrade tick"); }

TEST_F(ParametersTest, UpgradeWaitDispatchesTheThreadsTimers) {
  SetEnvironmentVariableA("QEL_EXITWITH_MS", "400");
  WMC_UPGRADE_INFO info = UpgradeTo(ExitWith());
  UINT_PTR timer = SetTimer(nullptr, 0, 20, UpgradeTick);
  EXPECT_EQ(WMC_Upgrade(&info), 0);
  KillTimer(nullptr, timer);
  EXPECT_GE(LinesWith("upgrade tick"), 3);
}

TEST_F(ParametersTest, UpgradeWaitEndsWhenTheWaitFails) {
  // A handle that names no object: the wait fails at once and the wait loop ends.
  HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x7FF0));
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = WaitForProcessPumping(bogus) ? 1 : 0; });
  DWORD start = GetTickCount();
  while (result.load() < 0 && GetTickCount() - start < 5000) Sleep(5);
  if (result.load() < 0) {
    waiter.detach();
    FAIL() << "the wait did not end";
  }
  waiter.join();
  EXPECT_EQ(result.load(), 0);
}

}  // namespace
