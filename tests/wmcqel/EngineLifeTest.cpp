// One engine at a time across host threads: start-ups and shutdowns that meet, queries
// during which another thread shuts down, and library references that go back whatever the
// host's threads do next. Each case runs in a host program of its own with scripted delays
// in the stand-ins, so a deadlock, a second engine or a crash shows as a failed run.
#include <thread>

#include "EngineLife.h"
#include "HostRun.h"

namespace {

using namespace plugintest;

void SlowClose(ScriptedHost& h) { h.sdk.Entry("QelApiClose").delayMs = 1500; }
void SlowOpen(ScriptedHost& h) { h.sdk.Entry("QelApiOpenEx").delayMs = 1500; }
void SlowMdn(ScriptedHost& h) { h.sdk.Entry("QelGetMobileDirNum").delayMs = 1500; }
void VerySlowMdn(ScriptedHost& h) { h.sdk.Entry("QelGetMobileDirNum").delayMs = 6000; }
void SlowSignal(ScriptedHost& h) { h.sdk.Entry("QelGetRssiEcio").delayMs = 1500; }
void SlowRetrieve(ScriptedHost& h) { h.sdk.Entry("QelRetrieveSMSMessageEx").delayMs = 1500; }
void SlowSystemPref(ScriptedHost& h) { h.sdk.Entry("QelPstGetSystemPref").delayMs = 1000; }
void SlowClientSetPower(ScriptedHost& h) { h.client->setPowerDelayMs = 6000; }

// Each case in a folder of its own, named after it.
class EngineLife : public HostRun {};
TEST_P(EngineLife, Host) {
  ScriptedHost host(std::string("life-") + GetParam().name);
  ASSERT_EQ(host.Missing(), "");
  Check(host);
}

INSTANTIATE_TEST_SUITE_P(StartupsAndShutdownsMeet, EngineLife, ::testing::Values(
    // Two start-ups wait for a slow close; the main thread's wait serves a sent message that
    // keeps it until the other has created the engine: it then uses that one.
    HostCase{"TwoStartupsWaitForAClose",
             "--forward startup spawn 0 shutdown pump 200 spawn 0 startup sendsleep 300 2000 startup join "
             "shutdown free pump 300 loaded",
             {"sent message: sleeping 2000 ms", "WMC_Shutdown: 0\nFreeLibrary", "loaded: no"}, {}, true, 2,
             SlowClose},
    // A start-up while another thread's creation opens the SDK: 102, one session.
    HostCase{"StartupDuringACreation", "spawn 0 startup pump 500 startup join shutdown free pump 300 loaded",
             {"WMC_Startup: 102", "WMC_Startup: 0", "WMC_Shutdown: 0", "loaded: no"}, {}, true, 1, SlowOpen},
    // A shutdown during another thread's creation is honoured: that start-up undoes the
    // engine (its SDK closed) and answers 107; nothing is left to pin the library.
    HostCase{"ShutdownDuringACreation",
             "spawn 0 startup pump 500 shutdown join connectioninfo free pump 300 loaded",
             {"WMC_Shutdown: 0", "WMC_Startup: 107", "WMC_GetConnectionInfo: 107", "loaded: no"},
             {"WMC_Startup: 0"}, true, 1, SlowOpen},
    // Inside the SDK's own delivery, right after its shutdown, a start-up cannot wait for the
    // close (which waits for the delivery): 102 at once.
    HostCase{"StartupInTheDeliveryAfterItsShutdown", "startup restarton 3 inject 5 0 1 wait 3 10000 networkinfo startup shutdown",
             {"handler WMC_Shutdown: 0", "handler WMC_Startup: 102\nelapsed", "WMC_GetNetworkInfo: 107",
              "WMC_Startup: 0\nWMC_Shutdown: 0\nfaults"},
             {}, true, 2, nullptr, 0, 1000}),
    CaseName);

// Another thread shuts down while an export waits for the SDK: the export answers 107 and
// leaves the host's block as it was; the SDK is closed only after the call in flight has
// returned, and nothing reaches it after the close.
INSTANTIATE_TEST_SUITE_P(ShutdownFromAnotherThread, EngineLife, ::testing::Values(
    HostCase{"DeviceInfo", "simmodem startup spawn 300 shutdown deviceinfo join",
             {"WMC_GetDeviceInfo: 107 MEID  ESN  model  OEM \"\" activated 0", "  MDN  manufacturer  firmware "}, {},
             true, 1, SlowMdn},
    HostCase{"NetworkInfo", "simmodem startup spawn 300 shutdown networkinfo join",
             {"WMC_GetNetworkInfo: 107 service type 0 signal 0 RSSI 0 (HDR 0) roaming 0"}, {}, true, 1, SlowSignal},
    // The message the modem handed out is kept for the next engine's read.
    HostCase{"FirstMessage",
             "startup smsdeliver 7 2065550123 Hello wait 5 5000 spawn 300 shutdown smsread first join startup "
             "smsread first shutdown",
             {"WMC_GetFirstMessage(0): 107 length 240",
              "WMC_GetFirstMessage(0): 0 length 33 id 7 from 2065550123 text \"Hello\""},
             {}, false, -1, SlowRetrieve},
    // A pumping wait ends as soon as the shutdown is asked for: not after the NDIS polls' 4 s.
    HostCase{"NdisPollEndsAtOnce", "startup spawn 300 shutdown elapsed ndis 0 elapsed join",
             {"WMC_SetNDISMode(0): 107"}, {}, true, 1, nullptr, 0, 800},
    // The field-test header's reads end in the shutdown: no trace timer for the stopped
    // engine holds the library past the host's FreeLibrary.
    HostCase{"FieldTestHeader", "startup spawn 300 shutdown fieldon join pump 500 free",
             {"WMC_SetFieldTest(1): 0", "FreeLibrary: unloaded"}, {"field test line"}, true, 1, SlowSystemPref}),
    CaseName);

// WMC_Shutdown waits for the SDK's close at most, never for other threads' calls: behind a
// slow client-library call it returns at once, behind an SDK call still in flight after
// kStopWaitMs (the real constant); the last caller's end then lets the engine and the
// library go.
INSTANTIATE_TEST_SUITE_P(ShutdownWaits, EngineLife, ::testing::Values(
    HostCase{"BehindASlowClientCall",
             "startup spawn 0 \"setpower 0\" pump 500 elapsed shutdown elapsed join pump 300 free pump 300 loaded",
             {"WMC_Shutdown: 0", "loaded: no"}, {}, true, 1, SlowClientSetPower, 0, 1500},
    HostCase{"BehindAnSdkCallInFlight",
             "simmodem startup spawn 0 deviceinfo pump 500 elapsed shutdown elapsed join pump 300 free pump 300 loaded",
             {"WMC_Shutdown: 0", "WMC_GetDeviceInfo: 107", "loaded: no"}, {}, true, 1, VerySlowMdn,
             static_cast<int>(kStopWaitMs) - 100, static_cast<int>(kStopWaitMs) + 1000}),
    CaseName);

// Library references never wait for a host thread's future: a trace timer whose host thread
// has ended (and its timer with it) is given back after the shutdown.
INSTANTIATE_TEST_SUITE_P(LibraryReferences, EngineLife, ::testing::Values(
    HostCase{"TimerOfAnEndedThread", "startup thread fieldon shutdown free pump 500 loaded",
             {"WMC_SetFieldTest(1): 0", "loaded: no"}, {"field test line"}, true, 1},
    HostCase{"TimersOfTwoEndedThreads",
             "startup thread fieldon thread fieldon shutdown free pump 500 loaded", {"loaded: no"},
             {"field test line"}, true, 1}),
    CaseName);

}  // namespace

namespace {

using namespace plugintest;

// From the shutdown on, only the stopper reaches the SDK: the export's thread, whose slow
// read was in flight, makes no SDK call after that read.
TEST_F(PluginTest, NoCallOfTheExportsThreadReachesTheSdkAfterTheShutdown) {
  ScriptedHost host("other-retired");
  ASSERT_EQ(host.Missing(), "");
  SlowMdn(host);
  DWORD code = 0;
  std::string out = RunLines(host, "simmodem startup spawn 300 shutdown deviceinfo join", &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("WMC_GetDeviceInfo: 107"), std::string::npos) << out;
  std::vector<SimSdkCall> calls = host.sdk.Calls();
  auto slow = std::find_if(calls.begin(), calls.end(),
                           [](const SimSdkCall& k) { return std::strcmp(k.name, "QelGetMobileDirNum") == 0; });
  ASSERT_NE(slow, calls.end()) << out;
  for (auto k = slow + 1; k != calls.end(); ++k)
    if (k->thread == slow->thread) ADD_FAILURE() << "after the shutdown: " << k->name;
}

// A creation that a shutdown from another thread undoes: the engine that was never
// published is stopped (its destruction's line, the SDK closed), the start-up answers 107.
TEST_F(PluginTest, ACreationUndoneByAShutdownIsStopped) {
  sdk_.Entry("QelApiOpenEx").delayMs = 500;
  int startup = -1;
  std::thread creating([&] { startup = WMC_Startup(); });
  Sleep(200);
  EXPECT_EQ(WMC_Shutdown(), 0);
  creating.join();
  EXPECT_EQ(startup, 107);
  EXPECT_EQ(LinesWith("CSEVDOEngine::~CSEVDOEngine()"), 1);
  EXPECT_EQ(sdk_->opened, 0u);
  EXPECT_EQ(Engine(), nullptr);
  EXPECT_EQ(WMC_Shutdown(), 107);
}

}  // namespace
