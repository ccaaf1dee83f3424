// Shutdown, unload and re-entry as a host meets them, each in a host program of its own
// (wmchost over the plug-in, the simulated SDK and the simulated client library), where a
// crash, a fault swallowed by the message dispatch or a deadlock shows as a failed run.
#include <cstdio>

#include "HostRun.h"

namespace {

using namespace plugintest;

// The field-test and activation timers of the host's thread, at shutdown, unload and a new
// start-up (the field-test period is the real second).
class TimersStopWithTheirEngine : public HostRun {};
TEST_P(TimersStopWithTheirEngine, AndNothingRunsFromAnUnloadedLibrary) {
  ScriptedHost host(std::string("timers-") + GetParam().name);
  ASSERT_EQ(host.Missing(), "");
  Check(host);
}
INSTANTIATE_TEST_SUITE_P(Host, TimersStopWithTheirEngine, ::testing::Values(
    HostCase{"FieldTestOnOffShutdownUnload", "startup fieldon fieldoff shutdown free pump 1500",
             {"FreeLibrary: unloaded"}, {}, true},
    HostCase{"FieldTestShutdownUnload", "startup fieldon shutdown free pump 1500", {"FreeLibrary: unloaded"}, {}, true},
    HostCase{"ActivationShutdownUnload", "startup activate 1 shutdown free pump 2500",
             {"WMC_Activate(1): 205", "FreeLibrary: unloaded"}, {}, true},
    // Shut down from another thread, the timer cannot be killed: it keeps the library past
    // the host's FreeLibrary, finds no engine at its tick, stops and gives the library back.
    HostCase{"ShutdownOnAnotherThread", "startup fieldon thread shutdown free pump 1500 loaded",
             {"FreeLibrary: still loaded", "loaded: no"}, {"field test line"}, true},
    // No message between the shutdown and the next start-up: the trace stays off.
    HostCase{"ShutdownAndStartupInOneHandler", "startup fieldon restart pump 1500 fieldoff",
             {"WMC_Shutdown: 0\nWMC_Startup: 0"}, {"field test line"}, false},
    // The same on another thread, before the first tick: the timer finds an engine that is not
    // the one it was started for, and stops.
    HostCase{"ShutdownAndStartupOnAnotherThread", "startup fieldon thread restart pump 1500 fieldoff",
             {"WMC_Shutdown: 0\nWMC_Startup: 0"}, {"field test line"}, false}),
    CaseName);

// A notification whose host callback forwards to the main thread with SendMessage, in flight
// while the main thread shuts down or unloads.
class NotificationInFlight : public HostRun {};
TEST_P(NotificationInFlight, OutlivesNeitherItsEngineNorTheLibrary) {
  ScriptedHost host(std::string("inflight-") + GetParam().name);
  ASSERT_EQ(host.Missing(), "");
  Check(host);
}
INSTANTIATE_TEST_SUITE_P(Host, NotificationInFlight, ::testing::Values(
    // The handler cannot wait for the close (the callback waits for the handler): it ends
    // after the callback has returned, before the next start-up opens the SDK again.
    HostCase{"ShutdownInTheForwardedHandler",
             "--forward startup shutdownon 3 inject 52 0x00030055 0x0004003D wait 3 10000 networkinfo startup shutdown",
             {"handler WMC_Shutdown: 0", "WMC_GetNetworkInfo: 107", "WMC_Startup: 0\nWMC_Shutdown: 0\nfaults"}, {},
             true, 2},
    // On the SDK's own thread the callback cannot wait for the close either.
    HostCase{"ShutdownInACallbackOnTheSdkThread",
             "startup shutdownon 3 inject 5 0 1 wait 3 10000 networkinfo startup shutdown",
             {"handler WMC_Shutdown: 0", "WMC_GetNetworkInfo: 107", "WMC_Startup: 0\nWMC_Shutdown: 0\nfaults"}, {},
             true, 2},
    // Inside WMC_Startup (its network notification): the start-up ends there, unanswered by
    // the SDK.
    HostCase{"ShutdownInTheStartupsOwnNotification", "shutdownon 3 startup networkinfo",
             {"handler WMC_Shutdown: 0", "WMC_Startup: 107", "WMC_GetNetworkInfo: 107"}, {}, true, 1},
    HostCase{"ShutdownWhileTheCallbackForwards",
             "--forward startup inject 52 0x00030055 0x0004003D waitforward 5000 shutdown networkinfo",
             {"waitforward: blocked", "WMC_Shutdown: 0", "WMC_GetNetworkInfo: 107"}, {}, true},
    // Without a shutdown the engine keeps the library: the delivery returns into mapped code
    // and later ones are served.
    HostCase{"UnloadInTheForwardedHandler",
             "--forward startup freeon 3 inject 52 0x00030055 0x0004003D wait 3 10000 pump 200 loaded "
             "inject 5 0 1 wait 3 5000",
             {"handler FreeLibrary: still loaded", "loaded: yes", "wait 3: received\nfaults"}, {}, false},
    HostCase{"UnloadWhileTheCallbackForwards",
             "--forward startup inject 52 0x00030055 0x0004003D waitforward 5000 free pump 500 loaded",
             {"waitforward: blocked", "FreeLibrary: still loaded", "loaded: yes"}, {}, false}),
    CaseName);

// A host timer that shuts down while an export dispatches the thread's messages in one of its
// waits (the restart wait, the NDIS polls): the export answers 107 and nothing reaches the
// SDK after the close. The engine (and with it the SDK's library) lives until the export has
// left it. Other exports re-entered there are served.
class ShutdownDuringAWait : public HostRun {};
TEST_P(ShutdownDuringAWait, EndsTheOuterCallWithAFailure) {
  ScriptedHost host(std::string("wait-") + GetParam().name);
  ASSERT_EQ(host.Missing(), "");
  Check(host);
}
INSTANTIATE_TEST_SUITE_P(Host, ShutdownDuringAWait, ::testing::Values(
    HostCase{"Parameters", "startup after 300 shutdown setparameters 0 0 5 networkinfo",
             {"timer runs shutdown\nWMC_Shutdown: 0\ntimer SDK library: loaded", "WMC_SetParameters: 107",
              "WMC_GetNetworkInfo: 107"},
             {}, true},
    HostCase{"NdisOff", "startup after 300 shutdown ndis 0", {"timer SDK library: loaded", "WMC_SetNDISMode(0): 107"},
             {}, true},
    HostCase{"ManualActivation", "startup after 300 shutdown activate 0",
             {"timer SDK library: loaded", "WMC_Activate(0): 107"}, {}, true},
    HostCase{"FactoryDefaults", "startup after 300 shutdown factorydefaults",
             {"timer SDK library: loaded", "WMC_ResetFactoryDefaults: 107"}, {}, true},
    HostCase{"QueryServedInTheWait", "startup after 300 networkinfo ndis 0",
             {"timer runs networkinfo\nWMC_GetNetworkInfo: 0", "WMC_SetNDISMode(0): 0"}, {}, false},
    HostCase{"RestartInTheWait", "startup after 300 restart setparameters 0 0 5 networkinfo",
             {"WMC_Shutdown: 0\nWMC_Startup: 0", "WMC_SetParameters: 107", "WMC_GetNetworkInfo: 0"}, {}, false}),
    CaseName);

// The client library belongs to the plug-in's own thread: every host thread gets its real
// answers, and its power notifications still arrive after the first thread has gone.
TEST_F(PluginTest, ClientLibraryAnswersOnEveryHostThread) {
  ScriptedHost host("client-threads");
  ASSERT_EQ(host.Missing(), "");
  DWORD code = 0;
  std::string out = RunLines(host, "thread startup thread shutdown clientpower 3 thread startup thread setpower 0", &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("clientpower 3: set\nWMC_Startup: 109\nWMC_SetPower(0): 107"), std::string::npos) << out;
  EXPECT_EQ(host.client->wrongThreadCalls, 0u);

  host.sdk.Reset();
  host.client.Reset();
  out = RunLines(host, "thread startup thread shutdown thread startup thread setpower 0 clientnotify 2 wait 14 3000 "
                 "thread shutdown", &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("WMC_SetPower(0): 0"), std::string::npos) << out;
  EXPECT_EQ(host.client->powerState, 2u);  // the firmware's radio, not only the modem's
  for (const SimSdkCall& c : host.sdk.Calls("QelSetPower")) EXPECT_EQ(c.args[0], 0u);  // start-up's radio on
  EXPECT_NE(out.find("clientnotify 2: delivered"), std::string::npos) << out;
  EXPECT_NE(out.find("wait 14: received"), std::string::npos) << out;
  EXPECT_EQ(host.client->wrongThreadCalls, 0u);
}

// A start-up with the radio off keeps an engine that is not serving (SDK not open, nothing
// subscribed); once the radio is on it is initialised again, or the failure is the answer.
class IdleEngine : public HostRun {};
TEST_P(IdleEngine, ServesOnceTheRadioIsOnOrAnswersTheFailure) {
  ScriptedHost host(std::string("idle-") + GetParam().name);
  ASSERT_EQ(host.Missing(), "");
  Check(host);
}
INSTANTIATE_TEST_SUITE_P(Host, IdleEngine, ::testing::Values(
    HostCase{"SdkNeverOpens", "clientpower 2 sdkopen 18 400 startup setpower 1 startup networkinfo",
             {"WMC_Startup: 108\nWMC_SetPower(1): 109\nWMC_Startup: 109\nWMC_GetNetworkInfo: 107"}, {}, false},
    HostCase{"SdkOpensLater", "clientpower 2 sdkopen 18 400 startup sdkopen 18 0 setpower 1 inject 5 0 1 wait 3 5000",
             {"WMC_Startup: 108", "WMC_SetPower(1): 0", "wait 3: received"}, {}, false},
    HostCase{"NeverSubscribed", "clientpower 2 startup clientpower 1 startup inject 5 0 1 wait 3 5000",
             {"WMC_Startup: 108\nclientpower 1: set", "WMC_Startup: 0", "wait 3: received"}, {}, false}),
    CaseName);

// The plug-in's own load makes nothing its unload leaves: it leaves what a library of the same
// build that does nothing at its load leaves (nothing on x64; the 32-bit C++ runtime's
// registration of its unwind tables leaves a thread handle and an event per load).
TEST_F(PluginTest, BareLoadsLeaveNoHandles) {
  ScriptedHost host("bare-loads");
  ASSERT_EQ(host.Missing(), "");
  DWORD code = 0;
  std::string out = RunLines(host, "--bare-loads 20 startup shutdown", &code);
  EXPECT_EQ(code, 0u) << out;
  unsigned loaded = 0, left = 99, sdkLoaded = 0, sdkLeft = 0;
  size_t at = out.find("bare loads: ");
  ASSERT_NE(at, std::string::npos) << out;
  ASSERT_EQ(std::sscanf(out.c_str() + at, "bare loads: %u, handles left: %u (the simulated SDK's %u: %u)", &loaded,
                        &left, &sdkLoaded, &sdkLeft),
            4)
      << out;
  EXPECT_EQ(loaded, 20u);
  EXPECT_EQ(sdkLoaded, 20u);
  EXPECT_EQ(left, sdkLeft) << out;
  if (sizeof(void*) == 8) {
    EXPECT_EQ(left, 0u) << out;
  }
}

}  // namespace
