// Start-up, shutdown, subscriptions, the initialisation retry timer and the power switch,
// against the simulated SDK and client library.
#include <atomic>
#include <set>
#include <thread>

#include "PluginFixture.h"

namespace {

using namespace plugintest;

struct StartupCase {
  const char* name;
  const char* sdkVariant;
  const char* clientVariant;
  int32_t openResult;       // of open mode 18
  uint32_t clientPower;     // 0 on, 2 off, 3 disabled
  uint32_t sdkPowerMode;    // QelGetPower's report: 0 on
  int want;
  bool engineKept;
  bool notificationsOn;
  size_t subscriptions;     // QelNotify calls
};

class Startup : public PluginTest, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(Startup, AnswersByTheTable) {
  const StartupCase& c = GetParam();
  Use(c.sdkVariant, c.clientVariant);
  sdk_->openResult[18] = c.openResult;
  sdk_->powerMode = c.sdkPowerMode;
  client_->powerState = c.clientPower;
  EXPECT_EQ(WMC_Startup(), c.want);
  EXPECT_EQ(Engine() != nullptr, c.engineKept);
  if (Engine()) {
    EXPECT_EQ(Engine()->NotificationsOn(), c.notificationsOn);
  }
  EXPECT_EQ(sdk_.Calls("QelNotify").size(), c.subscriptions);
  if (!c.engineKept) {
    EXPECT_TRUE(WaitSdkUnloaded());
  }
}

INSTANTIATE_TEST_SUITE_P(Table, Startup, ::testing::Values(
    StartupCase{"RadioOn", "full", "full", 0, 0, 0, 0, true, true, 18},
    StartupCase{"RadioOff", "full", "full", 0, 2, 0, WMC_ERROR_RADIO_OFF, true, false, 0},
    StartupCase{"RadioDisabled", "full", "full", 0, 3, 0, WMC_ERROR_NO_DEVICE, false, false, 0},
    StartupCase{"NotInstalledAfterStartKeepsEngine", "full", "full", 0, 4, 0, WMC_ERROR_NO_DEVICE, true, true, 18},
    StartupCase{"Open903", "full", "full", 903, 0, 0, WMC_ERROR_DEVICE, false, false, 0},
    StartupCase{"Open909", "full", "full", 909, 0, 0, WMC_ERROR_DEVICE, false, false, 0},
    StartupCase{"Open910", "full", "full", 910, 0, 0, WMC_ERROR_OPEN_FAILED, false, false, 0},
    StartupCase{"Open400GoesOnAndFails", "full", "full", 400, 0, 0, WMC_ERROR_NO_DEVICE, false, false, 0},
    StartupCase{"NoSdk", "none", "full", 0, 0, 0, WMC_ERROR_NO_DEVICE, false, false, 0},
    StartupCase{"NoClientRadioOn", "full", "none", 0, 0, 0, 0, true, true, 18},
    StartupCase{"NoClientRadioOff", "full", "none", 0, 0, 5, WMC_ERROR_RADIO_OFF, true, true, 18},
    StartupCase{"NoClientNoSetPower", "nosetpower", "none", 0, 0, 0, 0, true, true, 18}),
    [](const ::testing::TestParamInfo<StartupCase>& i) { return std::string(i.param.name); });

TEST_F(PluginTest, RadioOnStartupSwitchesTheModemRadioOnAndRaisesNetworkInfo) {
  ASSERT_EQ(WMC_Startup(), 0);
  auto set = sdk_.Calls("QelSetPower");
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(set[0].args[0], 0u);
  EXPECT_EQ(Notifications(), std::vector<int>{WMC_NOTIFY_NETWORK_INFO});
  std::vector<uint32_t> ids;
  for (auto& call : sdk_.Calls("QelNotify")) {
    ids.push_back(call.args[0]);
    EXPECT_EQ(call.timeout, 12000u);
  }
  EXPECT_EQ(ids, std::vector<uint32_t>(std::begin(kSubscribedIds), std::end(kSubscribedIds)));
  EXPECT_EQ(LinesWith("CSEVDOEngine::Initialize()\n"), 1);
  EXPECT_EQ(LinesWith("QXNotify(17)\n"), 1);
}

TEST_F(PluginTest, RepeatedStartupOnlyProbes) {
  client_->powerState = 2;
  EXPECT_EQ(WMC_Startup(), WMC_ERROR_RADIO_OFF);
  CSEVDOEngine* first = Engine();
  EXPECT_EQ(WMC_Startup(), WMC_ERROR_RADIO_OFF);
  EXPECT_EQ(Engine(), first);
  client_->powerState = 1;
  EXPECT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(Engine(), first);
  EXPECT_EQ(sdk_.Calls("QelApiOpenEx").size(), 1u);
  EXPECT_TRUE(sdk_.Calls("QelRegisterCallback").empty());  // radio off: never subscribed
}

TEST_F(PluginTest, ShutdownUnsubscribesClosesAndKeepsTheClientLibrary) {
  EXPECT_EQ(WMC_Shutdown(), WMC_ERROR_NOT_STARTED);
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.ClearCalls();
  EXPECT_EQ(WMC_Shutdown(), 0);
  EXPECT_EQ(Engine(), nullptr);
  EXPECT_EQ(sdk_.Calls("QelStopNotify").size(), 18u);
  EXPECT_EQ(sdk_.Calls("QelApiClose").size(), 1u);
  EXPECT_TRUE(WaitSdkUnloaded());
  EXPECT_TRUE(ClientLoaded());
  EXPECT_EQ(client_->callbackSet, 1u);
  EXPECT_EQ(WMC_Shutdown(), WMC_ERROR_NOT_STARTED);
  // A new start-up makes a new SDK object and does not load, probe or register again.
  client_.Reset();
  EXPECT_EQ(WMC_Startup(), 0);
  EXPECT_TRUE(client_.Calls().size() == 2u) << "only the two power probes";
}

TEST_F(PluginTest, NotificationDuringShutdownFindsNoEngine) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.Entry("QelStopNotify").delayMs = 30;  // the teardown takes about half a second
  ClearCaptured();
  std::thread injector([this] {
    Sleep(100);
    sdk_.Inject(5, {0, 1});
  });
  ASSERT_EQ(WMC_Shutdown(), 0);
  injector.join();
  EXPECT_EQ(LinesWith("QEL_NOTIFY_ServiceIndication"), 0);
  EXPECT_TRUE(Notifications().empty());
}

TEST_F(PluginTest, ModemRestartWaitsForReadinessAndResubscribes) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetResult("QelResetModem", 7);
  sdk_.ClearCalls();
  EXPECT_EQ(Engine()->RestartModemAndWait(), 7u);
  EXPECT_TRUE(sdk_.Calls("QelIsModemReady").empty());
  EXPECT_TRUE(sdk_.Calls("QelNotify").empty());
  sdk_.SetResult("QelResetModem", 0);
  sdk_->notReadyPolls = 1000;
  sdk_->readyPolls = 0;
  EXPECT_EQ(Engine()->RestartModemAndWait(), 0u);
  EXPECT_EQ(sdk_.Calls("QelIsModemReady").size(), 30u);
  EXPECT_EQ(sdk_.Calls("QelNotify").size(), 18u);
  EXPECT_TRUE(sdk_.Calls("QelRegisterCallback").empty());  // registered once, at start-up
}

TEST_F(PluginTest, SeventhSubscriptionFailing) {
  sdk_->notifyFailAt = 7;
  EXPECT_EQ(WMC_Startup(), WMC_ERROR_NO_DEVICE);
  std::vector<uint32_t> ids;
  for (auto& call : sdk_.Calls("QelNotify")) ids.push_back(call.args[0]);
  EXPECT_EQ(ids, (std::vector<uint32_t>{5, 6, 9, 10, 11, 12, 13}));  // the rest untouched
  EXPECT_EQ(sdk_.Calls("QelNotify").back().result, 1);
  EXPECT_EQ(LinesWith("QXNotify failed - 6, error(1)\n"), 1);
  EXPECT_EQ(Engine(), nullptr);
}

TEST_F(PluginTest, ModemNeverReadyIsPolledTenTimes) {
  sdk_->notReadyPolls = 1000;
  EXPECT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(sdk_.Calls("QelIsModemReady").size(), 10u);
  EXPECT_EQ(sdk_.Calls("QelNotify").size(), 18u);
  EXPECT_EQ(sdk_.Calls("QelIsModemReady")[0].timeout, 3000u);
}

TEST_F(PluginTest, ReadinessRetryWaitsTheRealSecond) {
  SetReadyRetryPause(kReadyRetryPauseMs);
  EXPECT_EQ(kReadyRetryPauseMs, 1000u);
  sdk_->notReadyPolls = 1;
  DWORD start = GetTickCount();
  EXPECT_EQ(WMC_Startup(), 0);
  EXPECT_GE(GetTickCount() - start, 990u);
  EXPECT_EQ(sdk_.Calls("QelIsModemReady").size(), 2u);
}

TEST_F(PluginTest, EngineAllocationFailure) {
  SetEngineAllocationFails(true);
  EXPECT_EQ(WMC_Startup(), WMC_ERROR_OUT_OF_MEMORY);
  SetEngineAllocationFails(false);
  EXPECT_EQ(Engine(), nullptr);
  EXPECT_TRUE(sdk_.Calls("QelApiOpenEx").empty());
}

TEST_F(PluginTest, NoSdkObjectLeavesNoEngine) {
  SetSdkApiUnavailable(true);
  EXPECT_EQ(WMC_Startup(), WMC_ERROR_NO_SDK);
  SetSdkApiUnavailable(false);
  EXPECT_EQ(Engine(), nullptr);
  EXPECT_EQ(WMC_SetRadioPower(1), WMC_ERROR_NOT_STARTED);
  EXPECT_EQ(WMC_Shutdown(), WMC_ERROR_NOT_STARTED);
}

// The timer on notification 45: started on the SDK's thread, at most one, retrying until the
// initialisation succeeds.
TEST_F(PluginTest, RetryTimerRunsOnTheSdkThreadUntilInitialisationSucceeds) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetResult("QelNotify", 9);  // the retries fail for now
  ClearCaptured();
  ASSERT_TRUE(sdk_.Inject(45));
  ASSERT_TRUE(sdk_.Inject(45));  // processed before the timer can fire
  ASSERT_TRUE(qeltest::PumpUntil([] { return LinesWith("InitTimerProc") >= 3; }, 5000));
  {
    std::lock_guard<std::mutex> g(Capture().lock);
    for (size_t i = 0; i < Capture().lines.size(); ++i) {
      if (Capture().lines[i].find("InitTimerProc") != std::string::npos) {
        EXPECT_EQ(Capture().lineThreads[i], sdk_->notifyThread);
      }
    }
  }
  sdk_.SetResult("QelNotify", 0);
  ASSERT_TRUE(qeltest::PumpUntil([this] { return Engine()->NotificationsOn(); }, 5000));
  Sleep(30);
  int fired = LinesWith("InitTimerProc");
  Sleep(200);  // ten periods: a second, leaked timer would fire here
  EXPECT_EQ(LinesWith("InitTimerProc"), fired);
  EXPECT_EQ(g_hostCallbacks.initTimer.load(), 0u);
}

// Each notification 45 restarts the one retry timer: two leave one timer running, not two.
// Handled on this thread, the timers are this thread's and their ticks can be counted.
TEST_F(PluginTest, TwoNotifications45LeaveOneRetryTimer) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetResult("QelNotify", 9);  // the retries fail, so the timer keeps running
  static SDK_NOTIF n45 = {45, {}};
  Engine()->ProcessNotification(&n45);
  UINT_PTR first = g_hostCallbacks.initTimer.load();
  Engine()->ProcessNotification(&n45);
  UINT_PTR second = g_hostCallbacks.initTimer.load();
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, 0u);
  int firstRuns = 0, secondRuns = 0;
  for (int waits = 0; secondRuns < 6 && waits < 500;) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      ++waits;
      continue;
    }
    if (msg.message == WM_TIMER && !msg.hwnd && msg.wParam == second) ++secondRuns;
    else if (msg.message == WM_TIMER && !msg.hwnd && msg.wParam == first) ++firstRuns;
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(secondRuns, 6);
  EXPECT_EQ(firstRuns, 0) << "the first retry timer kept running beside the second";
  sdk_.SetResult("QelNotify", 0);
  EXPECT_TRUE(qeltest::PumpUntil([] { return g_hostCallbacks.initTimer.load() == 0; }, 5000));
}

TEST_F(PluginTest, RetryTimerUsesTheRealSecond) {
  EXPECT_EQ(kInitTimerPeriodMs, 1000u);
  SetInitTimerPeriod(kInitTimerPeriodMs);
  ASSERT_EQ(WMC_Startup(), 0);
  ClearCaptured();
  DWORD start = GetTickCount();
  ASSERT_TRUE(sdk_.Inject(45));
  ASSERT_TRUE(qeltest::PumpUntil([] { return LinesWith("InitTimerProc") >= 1; }, 5000));
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 950u);
  EXPECT_LT(took, 3000u);
}

TEST_F(PluginTest, RadioOffStartupIgnoresNotification45) {
  client_->powerState = 2;
  ASSERT_EQ(WMC_Startup(), WMC_ERROR_RADIO_OFF);
  Engine()->ProcessNotification([] {
    static SDK_NOTIF r = {45, {}};
    return &r;
  }());
  Sleep(100);
  EXPECT_EQ(LinesWith("InitTimerProc"), 0);
  EXPECT_EQ(g_hostCallbacks.initTimer.load(), 0u);
}

TEST_F(PluginTest, TimerWithoutAnEngineKillsItself) {
  // A timer that outlives its engine: it must neither call through a null engine nor keep
  // firing.
  ASSERT_EQ(Engine(), nullptr);
  UINT_PTR id = SetTimer(nullptr, 0, 10, InitTimerProc);
  g_hostCallbacks.initTimer = id;
  qeltest::PumpUntil([] { return false; }, 200);
  EXPECT_EQ(LinesWith("InitTimerProc"), 1);
  EXPECT_EQ(g_hostCallbacks.initTimer.load(), 0u);
}

TEST_F(PluginTest, ShutdownWithAPendingTimerLeavesNothingBehind) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.SetResult("QelNotify", 9);
  ASSERT_TRUE(sdk_.Inject(45));
  ASSERT_TRUE(qeltest::PumpUntil([] { return LinesWith("InitTimerProc") >= 1; }, 5000));
  ASSERT_EQ(WMC_Shutdown(), 0);
  int fired = LinesWith("InitTimerProc");
  Sleep(150);
  EXPECT_EQ(LinesWith("InitTimerProc"), fired);
}

// The client library: retained once, and a failed probe undone before the unload.
struct RetainCase {
  const char* name;
  int32_t initializeResult;
  int32_t getPowerResult;
  bool retained;
  std::vector<std::string> calls;
};
class ClientRetention : public PluginTest, public ::testing::WithParamInterface<RetainCase> {};
TEST_P(ClientRetention, ProbesAndUndoesAFailure) {
  const RetainCase& c = GetParam();
  client_->initializeResult = c.initializeResult;
  client_->getPowerResult = c.getPowerResult;
  RetainClientLibrary();
  EXPECT_EQ(ClientLoaded(), c.retained);
  EXPECT_EQ(client_.Calls(), c.calls);
}
INSTANTIATE_TEST_SUITE_P(Table, ClientRetention, ::testing::Values(
    RetainCase{"Ok", 0, 0, true, {"QelHWInitialize", "QelHWGetPower", "QelHWRegisterCallback(1)"}},
    RetainCase{"SFalse", 1, 0, true, {"QelHWInitialize", "QelHWGetPower", "QelHWRegisterCallback(1)"}},
    RetainCase{"InitialiseFails", static_cast<int32_t>(0x80040154), 0, false,
               {"QelHWInitialize", "QelHWRegisterCallback(0)", "QelHWUnInitialize"}},
    RetainCase{"ProbeFails", 0, 600, false,
               {"QelHWInitialize", "QelHWGetPower", "QelHWRegisterCallback(0)", "QelHWUnInitialize"}}),
    [](const ::testing::TestParamInfo<RetainCase>& i) { return std::string(i.param.name); });

TEST_F(PluginTest, MissingClientLibraryIsTriedAgainAtTheNextStartup) {
  Use("full", "none");
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_FALSE(AuxApi().IsLoaded());
  uint32_t state = 0;
  EXPECT_EQ(AuxApi().GetPower(&state), 1);
  EXPECT_EQ(AuxApi().SetPower(1), 1);
  ASSERT_EQ(WMC_Shutdown(), 0);
  ASSERT_TRUE(WaitSdkUnloaded());
  ASSERT_TRUE(UseScenario("full", "full"));
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_TRUE(AuxApi().IsLoaded());
}

TEST_F(PluginTest, ClientWithoutSetPowerGivesOneWhileGetPowerWorks) {
  Use("full", "nosetpower");
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(AuxApi().SetPower(1), 1);
  uint32_t state = 0;
  EXPECT_EQ(AuxApi().GetPower(&state), 0);
  EXPECT_EQ(state, 1u);
  // WMC_SetPower then switches through the SDK.
  sdk_.ClearCalls();
  EXPECT_EQ(WMC_SetPower(0), 0);
  ASSERT_EQ(sdk_.Calls("QelSetPower").size(), 1u);
  EXPECT_EQ(sdk_.Calls("QelSetPower")[0].args[0], 5u);
}

TEST_F(PluginTest, SetPowerThroughTheClientLibrary) {
  EXPECT_EQ(WMC_SetPower(0), 0);  // runs the start-up first
  EXPECT_EQ(client_->powerState, 2u);
  EXPECT_EQ(WMC_SetPower(1), 0);
  EXPECT_EQ(client_->powerState, 1u);
  client_->setPowerResult = 600;
  EXPECT_EQ(WMC_SetPower(1), WMC_ERROR_FAILED);
}

TEST_F(PluginTest, PowerCallsFromAnotherThreadDoNotReachTheClientLibrary) {
  ASSERT_EQ(WMC_Startup(), 0);
  sdk_.ClearCalls();
  int result = -1;
  std::thread other([&] { result = WMC_SetPower(0); });
  other.join();
  EXPECT_EQ(client_->wrongThreadCalls, 0u);
  EXPECT_EQ(client_->powerState, 0u);  // not switched through the client library
  EXPECT_EQ(result, 0);                // but through the SDK
  ASSERT_EQ(sdk_.Calls("QelSetPower").size(), 1u);
  EXPECT_EQ(sdk_.Calls("QelSetPower")[0].args[0], 5u);
}

TEST_F(PluginTest, SetRadioPowerRefusedWhileBusy) {
  EXPECT_EQ(WMC_SetRadioPower(1), WMC_ERROR_NOT_STARTED);
  ASSERT_EQ(WMC_Startup(), 0);
  Engine()->connection_.state = WMC_STATE_CONNECTING;
  EXPECT_EQ(WMC_SetRadioPower(1), WMC_ERROR_BUSY);
  Engine()->connection_.state = WMC_STATE_IDLE;
  sdk_.SetResult("QelSetPower", 44);
  EXPECT_EQ(WMC_SetRadioPower(1), WMC_ERROR_FAILED);
}

// The message-pumping wait: measured in elapsed ticks and asleep between messages.
DWORD g_clockBase = 0;
DWORD NearWrap() { return 0xFFFFFF00u + (GetTickCount() - g_clockBase); }

TEST_F(PluginTest, PumpWaitSurvivesTheTickCountWrap) {
  g_clockBase = GetTickCount();
  SetEngineClock(NearWrap);
  DWORD start = GetTickCount();
  PumpMessagesFor(400);  // the end lies past 2^32
  EXPECT_GE(GetTickCount() - start, 390u);
}

void CALLBACK CountTimer(HWND, UINT, UINT_PTR, DWORD) { CaptureLine("tick"); }
std::atomic<int> g_clockReads{0};
DWORD CountingClock() {
  ++g_clockReads;
  return GetTickCount();
}

TEST_F(PluginTest, PumpWaitDispatchesTimersAndSleeps) {
  // Each turn of the wait reads the clock once: a wait that sleeps until the next message
  // turns a few dozen times in 500 ms, one that spins on PeekMessage thousands of times.
  SetEngineClock(CountingClock);
  UINT_PTR timer = SetTimer(nullptr, 0, 20, CountTimer);
  PumpMessagesFor(500);
  KillTimer(nullptr, timer);
  EXPECT_GE(LinesWith("tick"), 5);
  EXPECT_LT(g_clockReads.load(), 300);
}

}  // namespace
