// The built client library, loaded by name, against the simulated-firmware service
// activated through COM. The 32-bit build runs it against the same 64-bit service.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "HWIntf.h"
#include "QelVxAux.h"
#include "QelVxWmiIds.h"
#include "ServerProcess.h"

namespace {

using qeltest::BinDir;
using qeltest::RunProgram;

// The 64-bit programs: beside this test, or in the 64-bit tree beside this one.
std::string X64Dir() { return sizeof(void*) == 8 ? BinDir() : BinDir() + "..\\..\\x64\\bin\\"; }
std::string SimServer() { return X64Dir() + "sim\\QelVxWmi.exe"; }
std::string ProductServer() { return X64Dir() + "QelVxWmi.exe"; }
DWORD Firmware(const std::string& command) { return RunProgram(X64Dir() + "firmwarectl.exe", command); }

struct Delivery {
  QelHWNotifyRecord record;
  DWORD thread;
};
std::vector<Delivery> g_deliveries;
void __cdecl RecordCallback(QelHWNotifyRecord* record) { g_deliveries.push_back({*record, GetCurrentThreadId()}); }

struct ClientApi {
  UniqueLibrary library;
  PFN_QelHWInitialize Initialize = nullptr;
  PFN_QelHWUnInitialize UnInitialize = nullptr;
  PFN_QelHWGetPower GetPower = nullptr;
  PFN_QelHWSetPower SetPower = nullptr;
  PFN_QelHWRegisterCallback RegisterCallback = nullptr;
  PFN_QelHWGetOEMIDStrA GetOEMIDStrA = nullptr;

  bool Load() {
    library.reset(LoadLibraryA((BinDir() + "QelVxAux.dll").c_str()));
    if (!library) return false;
    Bind(&Initialize, "QelHWInitialize");
    Bind(&UnInitialize, "QelHWUnInitialize");
    Bind(&GetPower, "QelHWGetPower");
    Bind(&SetPower, "QelHWSetPower");
    Bind(&RegisterCallback, "QelHWRegisterCallback");
    Bind(&GetOEMIDStrA, "QelHWGetOEMIDStrA");
    return Initialize && UnInitialize && GetPower && SetPower && RegisterCallback && GetOEMIDStrA;
  }
  template <class F>
  void Bind(F* f, const char* name) {
    *f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library.get(), name)));
  }
};


class ClientAgainstService : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { loaded_ = api_.Load(); }
  static void TearDownTestSuite() { api_.library.reset(); }

  void SetUp() override {
    ASSERT_TRUE(loaded_);
    ASSERT_TRUE(qeltest::WaitServersGone());
    ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
#if !defined(_WIN64)
    ASSERT_TRUE(qeltest::RegisterFor32BitClients());  // by the registration above
#endif
    g_deliveries.clear();
  }
  void TearDown() override {
    api_.UnInitialize();
    EXPECT_TRUE(qeltest::WaitServersGone());
    ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
  }

  static ClientApi api_;
  static bool loaded_;
};
ClientApi ClientAgainstService::api_;
bool ClientAgainstService::loaded_ = false;

TEST_F(ClientAgainstService, ReadsAndSetsPower) {
  ASSERT_EQ(api_.Initialize(), S_OK);
  ASSERT_EQ(Firmware("reset"), 0u);
  uint32_t state = 0;
  EXPECT_EQ(api_.GetPower(&state), QELHW_OK);
  EXPECT_EQ(state, QELHW_POWER_ON);
  EXPECT_EQ(api_.SetPower(QELHW_POWER_OFF), QELHW_OK);
  EXPECT_EQ(api_.GetPower(&state), QELHW_OK);
  EXPECT_EQ(state, QELHW_POWER_OFF);
  EXPECT_EQ(api_.SetPower(QELHW_POWER_ON), QELHW_OK);
  EXPECT_EQ(api_.GetPower(&state), QELHW_OK);
  EXPECT_EQ(state, QELHW_POWER_ON);
  EXPECT_EQ(api_.SetPower(7), QELHW_ERR_INVALID_STATE);
}

TEST_F(ClientAgainstService, HardwareSwitchReachesTheRegisteredFunctionTwice) {
  ASSERT_EQ(api_.RegisterCallback(RecordCallback), QELHW_OK);
  ASSERT_EQ(api_.Initialize(), S_OK);
  ASSERT_EQ(Firmware("reset"), 0u);
  uint32_t state = 0;
  ASSERT_EQ(api_.GetPower(&state), QELHW_OK);  // waits until the service is ready
  ASSERT_EQ(state, QELHW_POWER_ON);

  ASSERT_EQ(Firmware("switch"), 0u);
  ASSERT_TRUE(qeltest::PumpUntil([] { return g_deliveries.size() >= 2; }));
  ASSERT_EQ(g_deliveries.size(), 2u);
  EXPECT_EQ(g_deliveries[0].record.Type, 0u);
  EXPECT_EQ(g_deliveries[0].record.Reserved, 0u);
  EXPECT_EQ(g_deliveries[0].record.Value, QELHW_POWER_OFF);
  EXPECT_EQ(g_deliveries[1].record.Type, QELHW_NOTIFY_Power);
  EXPECT_EQ(g_deliveries[1].record.Reserved, 0u);
  EXPECT_EQ(g_deliveries[1].record.Value, QELHW_POWER_OFF);
  EXPECT_EQ(g_deliveries[0].thread, GetCurrentThreadId());
  EXPECT_EQ(g_deliveries[1].thread, GetCurrentThreadId());
}

TEST_F(ClientAgainstService, FailedFirmwareWriteIsAFailure) {
  ASSERT_EQ(api_.Initialize(), S_OK);
  ASSERT_EQ(Firmware("reset"), 0u);
  ASSERT_EQ(Firmware("fail write on"), 0u);
  EXPECT_EQ(api_.SetPower(QELHW_POWER_OFF), QELHW_ERR_NOT_AVAILABLE);
  ASSERT_EQ(Firmware("fail write off"), 0u);
  uint32_t state = 0;
  EXPECT_EQ(api_.GetPower(&state), QELHW_OK);
  EXPECT_EQ(state, QELHW_POWER_ON);
  EXPECT_EQ(api_.SetPower(QELHW_POWER_OFF), QELHW_OK);
}

TEST_F(ClientAgainstService, DisabledRadioIsNotSwitched) {
  ASSERT_EQ(api_.Initialize(), S_OK);
  uint32_t state = 0;
  ASSERT_EQ(api_.GetPower(&state), QELHW_OK);
  ASSERT_EQ(Firmware("set 04 00 00 05"), 0u);  // switch off: disabled
  ASSERT_EQ(api_.GetPower(&state), QELHW_OK);
  ASSERT_EQ(state, QELHW_POWER_DISABLED);
  EXPECT_EQ(api_.SetPower(QELHW_POWER_OFF), QELHW_OK);
  EXPECT_EQ(api_.GetPower(&state), QELHW_OK);
  EXPECT_EQ(state, QELHW_POWER_DISABLED);
}

TEST_F(ClientAgainstService, ServiceWithoutFirmwareGivesNoState) {
  ASSERT_EQ(RunProgram(ProductServer(), "-RegServer"), 0u);
  ASSERT_EQ(api_.Initialize(), S_OK);
  uint32_t state = 0x77;
  EXPECT_EQ(api_.GetPower(&state), QELHW_ERR_FAILED);  // the service answered 600
  EXPECT_EQ(state, 0x77u);
  EXPECT_EQ(api_.SetPower(QELHW_POWER_ON), QELHW_ERR_NOT_AVAILABLE);
}

TEST_F(ClientAgainstService, ServerEndsAfterUnInitialise) {
  ASSERT_EQ(api_.Initialize(), S_OK);
  uint32_t state = 0;
  ASSERT_EQ(api_.GetPower(&state), QELHW_OK);
  api_.UnInitialize();
  EXPECT_TRUE(qeltest::WaitServersGone(10000));
  EXPECT_EQ(api_.GetPower(&state), QELHW_ERR_NOT_AVAILABLE);
}

TEST_F(ClientAgainstService, OemTextThroughTheExport) {
  char buffer[64] = {};
  EXPECT_EQ(api_.GetOEMIDStrA(buffer), QELHW_OK);
  EXPECT_STREQ(buffer, "VX zt series notebook");
}

TEST(ClientLibraryFile, ExportsTheSixNamesAndOpensItsLog) {
  char dir[MAX_PATH] = {};
  ASSERT_TRUE(TBDGetLogDirectory(dir));
  {
    std::ofstream stale(std::string(dir) + "QelVxAux.log", std::ios::binary | std::ios::trunc);
    stale << "left by an earlier run";
  }
  UniqueLibrary library(LoadLibraryA((BinDir() + "QelVxAux.dll").c_str()));
  ASSERT_TRUE(library);
  for (const char* name : {"QelHWInitialize", "QelHWUnInitialize", "QelHWGetPower", "QelHWSetPower",
                           "QelHWRegisterCallback", "QelHWGetOEMIDStrA"})
    EXPECT_NE(GetProcAddress(library.get(), name), nullptr) << name;
  // Loading opened the log afresh: truncated, then its header.
  std::string log = qeltest::ReadLog("QelVxAux.log");
  EXPECT_EQ(log.rfind("\r\n\r\n======= QelVxAux - ", 0), 0u) << log;
  EXPECT_EQ(log.find("left by an earlier run"), std::string::npos);
}

struct UnloadRun {
  UniqueLibrary library;
  HRESULT hostInit = E_FAIL, clientInit = S_OK, hostInitAfter = E_FAIL;
};

DWORD WINAPI InitializeOnWorker(void* p) {
  auto* run = static_cast<UnloadRun*>(p);
  auto initialize = reinterpret_cast<PFN_QelHWInitialize>(
      reinterpret_cast<void*>(GetProcAddress(run->library.get(), "QelHWInitialize")));
  run->clientInit = initialize ? initialize() : E_NOINTERFACE;
  return 0;
}

// The host's thread: its apartment, the library loaded, initialised from a worker that
// then ends, and unloaded without QelHWUnInitialize, as the device module does after a
// failed initialisation.
DWORD WINAPI HostThread(void* p) {
  auto* run = static_cast<UnloadRun*>(p);
  run->hostInit = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  run->library.reset(LoadLibraryA((BinDir() + "QelVxAux.dll").c_str()));
  if (!run->library) return 1;
  UniqueKernelHandle worker(CreateThread(nullptr, 0, InitializeOnWorker, run, 0, nullptr));
  WaitForSingleObject(worker.get(), 60000);
  run->library.reset();
  run->hostInitAfter = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(run->hostInitAfter)) CoUninitialize();
  if (SUCCEEDED(run->hostInit)) CoUninitialize();
  return 0;
}

TEST(ClientLibraryUnload, LeavesTheHostsApartmentAlone) {
  ASSERT_TRUE(qeltest::WaitServersGone());
  ASSERT_EQ(RunProgram(SimServer(), "-UnregServer"), 0u);  // the initialisation fails
  UnloadRun run;
  UniqueKernelHandle host(CreateThread(nullptr, 0, HostThread, &run, 0, nullptr));
  ASSERT_EQ(WaitForSingleObject(host.get(), 60000), WAIT_OBJECT_0);
  EXPECT_EQ(run.hostInit, S_OK);
  EXPECT_TRUE(FAILED(run.clientInit));
  EXPECT_EQ(run.hostInitAfter, S_FALSE) << "the unloading undid the host's apartment";
  ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
}

}  // namespace
