// The built library: its 47 exports by name and by ordinal, and an unload without
// WMC_Shutdown that leaves nothing to call back into.
#include "ExportNames.h"
#include "PluginFixture.h"
#include "ScriptedHost.h"

namespace {

using namespace plugintest;


std::string LibraryPath() { return RootBin() + "wmcqel.dll"; }

TEST(PluginLibrary, ExportsFortySevenNamesWithAlphabeticalOrdinals) {
  UniqueLibrary library(LoadLibraryA(LibraryPath().c_str()));
  ASSERT_TRUE(library);
  for (int i = 0; i < 47; ++i) {
    if (i > 0) {
      EXPECT_LT(std::strcmp(kWmcExportNames[i - 1], kWmcExportNames[i]), 0);
    }
    FARPROC byName = GetProcAddress(library.get(), kWmcExportNames[i]);
    EXPECT_NE(byName, nullptr) << kWmcExportNames[i];
    EXPECT_EQ(GetProcAddress(library.get(), MAKEINTRESOURCEA(i + 1)), byName) << kWmcExportNames[i];
  }
  EXPECT_EQ(GetProcAddress(library.get(), MAKEINTRESOURCEA(48)), nullptr);
}

volatile LONG g_hostCalls = 0;
void __cdecl CountingCallback(int) { InterlockedIncrement(&g_hostCalls); }

TEST_F(PluginTest, UnloadAfterShutdownLeavesNothingToCallBackInto) {
  HMODULE library = LoadLibraryA(LibraryPath().c_str());
  ASSERT_NE(library, nullptr);
  auto startup = reinterpret_cast<int(__cdecl*)()>(reinterpret_cast<void*>(GetProcAddress(library, "WMC_Startup")));
  auto shutdown = reinterpret_cast<int(__cdecl*)()>(reinterpret_cast<void*>(GetProcAddress(library, "WMC_Shutdown")));
  auto setCallback = reinterpret_cast<int(__cdecl*)(int, WMC_NOTIFY_CALLBACK, int)>(
      reinterpret_cast<void*>(GetProcAddress(library, "WMC_SetCallback")));
  ASSERT_EQ(setCallback(0, CountingCallback, 0), 0);
  ASSERT_EQ(startup(), 0);
  ASSERT_TRUE(sdk_.Inject(5, {0, 1}));
  ASSERT_TRUE(qeltest::PumpUntil([] { return g_hostCalls >= 2; }, 5000));  // start-up's and this one
  ASSERT_EQ(shutdown(), 0);
  EXPECT_EQ(sdk_.Calls("QelStopNotify").size(), 18u);
  EXPECT_EQ(sdk_.Calls("QelApiClose").size(), 1u);
  client_.Reset();
  FreeLibrary(library);
  EXPECT_EQ(GetModuleHandleA("wmcqel.dll"), nullptr);
  EXPECT_TRUE(WaitSdkUnloaded());
  // The client library's own thread undoes it in the unload order, after the loader lock
  // was let go: callback removed, uninitialised, freed.
  EXPECT_TRUE(qeltest::PumpUntil([] { return GetModuleHandleA("qelvxaux.dll") == nullptr; }, 5000));
  EXPECT_EQ(client_.Calls(), (std::vector<std::string>{"QelHWRegisterCallback(0)", "QelHWUnInitialize"}));
  EXPECT_EQ(client_->callbackSet, 0u);
}

}  // namespace

namespace {

using namespace plugintest;

// The simulated SDK and client library scripted from this process for a host program in
// another: both blocks are named through the environment the host inherits.
TEST_F(PluginTest, HostInAnotherProcessFollowsTheScriptBlocks) {
  ScriptedHost host("crossprocess");
  ASSERT_EQ(host.Missing(), "");
  SimSdkControl& sdk = host.sdk;
  SimClientControl& client = host.client;

  sdk->openResult[18] = 910;
  DWORD code = 0;
  std::string out = host.Run("startup", &code);
  EXPECT_NE(out.find("WMC_Startup: 110"), std::string::npos) << out;

  sdk.Reset();
  client->powerState = 1;
  out = host.Run("startup inject 5 0 1 wait 3 5000 setpower 0 shutdown", &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("WMC_Startup: 0"), std::string::npos) << out;
  EXPECT_NE(out.find("wait 3: received"), std::string::npos) << out;
  EXPECT_EQ(sdk.Calls("QelNotify").size(), 18u);
  EXPECT_EQ(sdk.Calls("QelStopNotify").size(), 18u);
  EXPECT_EQ(client->powerState, 2u);  // switched off through the client library
  EXPECT_NE(sdk.Calls("QelNotify")[0].thread, GetCurrentThreadId());
}

}  // namespace
