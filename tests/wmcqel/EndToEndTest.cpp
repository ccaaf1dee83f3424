// End to end: the host program drives the built plug-in over the real client library and
// the simulated-firmware service, with the simulated SDK. 64-bit programs only.
#include <gtest/gtest.h>

#include <string>

#include "Handles.h"
#include "HostProcess.h"
#include "ServerProcess.h"

namespace {

using qeltest::BinDir;
using qeltest::RunProgram;

std::string SimServer() { return BinDir() + "sim\\QelVxWmi.exe"; }
std::string Firmwarectl() { return BinDir() + "firmwarectl.exe"; }

std::string RunHost(const std::string& args, DWORD* exitCode) {
  plugintest::ForgetHeldMessage();
  return plugintest::RunHost(BinDir(), "--sdk-dir \"" + BinDir() + "sim\\sdk\\full\" " + args, exitCode);
}

UniqueScHandle OpenPowerService() {
  UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  return UniqueScHandle(manager ? OpenServiceA(manager.get(), "QELVXWMI", SERVICE_START | SERVICE_STOP |
                                                                            SERVICE_QUERY_STATUS)
                                : nullptr);
}

bool StopPowerService(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return false;
  DWORD start = GetTickCount();
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
         GetTickCount() - start < 20000)
    Sleep(50);
  return status.dwCurrentState == SERVICE_STOPPED;
}

// The service runs under the service manager: the plug-in keeps the client library (and its
// service object) until it is unloaded, its unload cannot release COM objects under the
// loader lock, and Wine never runs down the objects of a client that has ended, so a local
// server would outlive the host. The service is stopped by its control instead.
class PluginAgainstService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qeltest::WaitServersGone());
    ASSERT_EQ(RunProgram(SimServer(), "-Service"), 0u);
    service_ = OpenPowerService();
    ASSERT_TRUE(service_);
    ASSERT_TRUE(StartServiceA(service_.get(), 0, nullptr));
    ASSERT_TRUE(qeltest::WaitReady("Global\\QelVxSyncEvent"));
    ASSERT_EQ(RunProgram(Firmwarectl(), "reset"), 0u);
  }
  void TearDown() override {
    if (service_) {
      EXPECT_TRUE(StopPowerService(service_.get()));
    }
    service_.reset();
    EXPECT_TRUE(qeltest::WaitServersGone());
    EXPECT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
  }
  UniqueScHandle service_;
};

TEST_F(PluginAgainstService, PowerSwitchReachesTheFirmwareAndTheHardwareSwitchReachesTheHost) {
  std::string fw = "\"" + Firmwarectl() + "\"";
  DWORD code = 0;
  std::string out = RunHost("startup run " + fw + " status setpower 0 run " + fw + " status setpower 1 run " + fw +
                                " status run " + fw + " \"switch off\" wait 14 10000 run " + fw +
                                " \"switch on\" wait 11 10000 shutdown",
                            &code);
  SCOPED_TRACE(out);
  EXPECT_EQ(code, 0u);
  EXPECT_NE(out.find("bound 47 exports"), std::string::npos);
  EXPECT_NE(out.find("WMC_Startup: 0"), std::string::npos);
  size_t off = out.find("WMC_SetPower(0): 0");
  size_t on = out.find("WMC_SetPower(1): 0");
  ASSERT_NE(off, std::string::npos);
  ASSERT_NE(on, std::string::npos);
  // The firmware's byte 3 after each switch: 0C off, 0D on.
  size_t statusOff = out.find("status ", off);
  ASSERT_NE(statusOff, std::string::npos);
  EXPECT_EQ(out.substr(statusOff, 18), "status 04 00 00 0C");
  size_t statusOn = out.find("status ", on);
  ASSERT_NE(statusOn, std::string::npos);
  EXPECT_EQ(out.substr(statusOn, 18), "status 04 00 00 0D");
  size_t fourteen = out.find("callback slot 14: index 14");
  size_t eleven = out.find("callback slot 11: index 11", fourteen == std::string::npos ? 0 : fourteen);
  EXPECT_NE(fourteen, std::string::npos);
  EXPECT_NE(eleven, std::string::npos);
  EXPECT_NE(out.find("callback slot 0: index 14"), std::string::npos);  // slot 0 hears everything
  EXPECT_NE(out.find("WMC_Shutdown: 0"), std::string::npos);
}

}  // namespace
