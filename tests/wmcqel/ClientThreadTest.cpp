// The client library's thread as a host meets it: power callbacks that forward to a UI thread
// and call exports or unload from there, unloads and reloads, a client-library call that does
// not return in time. Each case runs in a host program of its own, where a deadlock shows as a
// run that does not end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "AuxApiTestSeams.h"
#include "PluginFixture.h"
#include "ScriptedHost.h"

namespace {

using namespace plugintest;

struct ClientCase {
  const char* name;
  const char* script;
  std::vector<const char*> lines;  // each must be in the output
  uint32_t removalLoadsLibrary = 0;
};
std::string CaseName(const ::testing::TestParamInfo<ClientCase>& i) { return i.param.name; }
void PrintTo(const ClientCase& c, std::ostream* os) { *os << c.script; }

std::string RunLines(ScriptedHost& host, const std::string& script, DWORD* code) {
  std::string out = host.Run(script, code);
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  return out;
}

// Ends normally, with every line, no fault, and the client library's initialisations undone
// whenever the plug-in was unloaded last.
class ClientThread : public PluginTest, public ::testing::WithParamInterface<ClientCase> {};
TEST_P(ClientThread, NeitherHangsNorLosesTheLibrary) {
  const ClientCase& c = GetParam();
  ScriptedHost host(std::string("client-") + c.name);
  ASSERT_EQ(host.Missing(), "");
  host.client->removalLoadsLibrary = c.removalLoadsLibrary;
  DWORD code = 0;
  std::string out = RunLines(host, c.script, &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("faults: 0\n"), std::string::npos) << out;
  for (const char* line : c.lines) EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  if (out.find("clientloaded: no") != std::string::npos) {
    EXPECT_EQ(host.client->initialized, 0) << out;
    EXPECT_EQ(host.client->callbackSet, 0u) << out;
  }
}
INSTANTIATE_TEST_SUITE_P(Host, ClientThread, ::testing::Values(
    // The UI handler of a forwarded radio-off needs the client library: it gets its answer.
    ClientCase{"StartupInTheForwardedHandler",
               "--forward startup callon 14 startup clientpower 2 thread clientnotify 2 wait 14 5000",
               {"handler runs startup", "WMC_Startup: 108", "clientnotify 2: delivered", "wait 14: received"}},
    ClientCase{"SetPowerInTheForwardedHandlerAfterShutdown",
               "--forward startup shutdown callon 14 setpower 1 thread clientnotify 2 wait 14 5000",
               {"handler runs setpower", "WMC_SetPower(1): 0", "wait 14: received"}},
    // The callback itself calls an export on the thread it arrives on.
    ClientCase{"SetPowerInTheCallback", "startup callon 14 setpower 0 clientnotify 2 wait 14 5000 shutdown",
               {"handler runs setpower", "WMC_SetPower(0): 0", "wait 14: received", "WMC_Shutdown: 0"}},
    // The host's last FreeLibrary from the forwarded handler, and from the callback itself.
    ClientCase{"LastFreeInTheForwardedHandler",
               "--forward startup shutdown freeon 14 thread clientnotify 2 wait 14 5000 pump 300 loaded "
               "clientloaded 5000",
               {"handler FreeLibrary: still loaded", "loaded: no", "clientloaded: no"}},
    ClientCase{"LastFreeInTheCallback",
               "startup shutdown freeon 14 clientnotify 2 wait 14 5000 pump 300 loaded clientloaded 5000",
               {"handler FreeLibrary: still loaded", "loaded: no", "clientloaded: no"}},
    // The client library's callback removal needs the loader lock.
    ClientCase{"RemovalThatLoadsALibrary", "startup shutdown free clientloaded 5000",
               {"FreeLibrary: unloaded", "clientloaded: no"}, 1},
    // Each reload gets its power notifications, and leaves no reference behind.
    ClientCase{"Reloads",
               "startup shutdown free reload startup clientnotify 2 wait 14 5000 shutdown free reload "
               "startup clientnotify 1 wait 11 5000 shutdown free clientloaded 5000",
               {"reload: loaded", "clientnotify 2: delivered", "wait 14: received",
                "wait 11: received", "clientloaded: no"}}),
    CaseName);

// The real bound: a client-library call that takes 15 s answers 104 after the call wait.
TEST_F(PluginTest, StuckPowerSwitchAnswersAfterTheCallWait) {
  ScriptedHost host("client-stuck-real");
  ASSERT_EQ(host.Missing(), "");
  host.client->setPowerDelayMs = 15000;
  DWORD code = 0;
  std::string out = RunLines(host, "startup timed setpower 0", &code);
  EXPECT_NE(out.find("WMC_SetPower(0): 104"), std::string::npos) << out;
  long long ms = -1;
  size_t at = out.find("timed: ");
  ASSERT_NE(at, std::string::npos) << out;
  ASSERT_EQ(std::sscanf(out.c_str() + at, "timed: %lld ms", &ms), 1);
  EXPECT_GE(ms, static_cast<long long>(kAuxCallWaitMs) - 100) << out;
  EXPECT_LT(ms, static_cast<long long>(kAuxCallWaitMs) + 2000) << out;
}

// With a short call wait: a stuck switch answers 104, and start-ups on other threads meanwhile
// answer 109 within the wait instead of waiting for it.
TEST_F(PluginTest, StuckPowerSwitchHoldsNoOtherCallerBeyondTheWait) {
  ASSERT_EQ(WMC_Startup(), 0);
  SetAuxCallWait(200);
  client_->setPowerDelayMs = 2000;
  auto start = std::chrono::steady_clock::now();
  int setPower = -1, startup = -1;
  std::thread other([&] {
    Sleep(50);
    startup = WMC_Startup();
  });
  setPower = WMC_SetPower(0);
  other.join();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(setPower, WMC_ERROR_FAILED);
  EXPECT_EQ(startup, WMC_ERROR_NO_DEVICE);
  EXPECT_LT(ms, 1500);
  SetAuxCallWait(kAuxCallWaitMs);
  client_->setPowerDelayMs = 0;
  Sleep(2000);  // the stuck call ends before the fixture lets the library go
  EXPECT_EQ(client_->powerState, 2u);  // the switch itself was made, late
}

}  // namespace
