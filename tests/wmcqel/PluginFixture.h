// A plug-in in process over the simulated SDK and the simulated client library, with fast
// waits, the debugger lines and the host notifications captured.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "AuxApi.h"
#include "DebugLogTestSeams.h"
#include "Engine.h"
#include "EngineTestSeams.h"
#include "Exports.h"
#include "PluginTestSupport.h"
#include "Plugin.h"
#include "SdkApiTestSeams.h"
#include "SimClientControl.h"

namespace plugintest {

struct Captured {
  std::mutex lock;
  std::vector<std::string> lines;
  std::vector<DWORD> lineThreads;
  std::vector<int> notifications;
  std::vector<DWORD> notificationThreads;
};
inline Captured& Capture() {
  static Captured c;
  return c;
}
inline void CaptureLine(const char* line) {
  std::lock_guard<std::mutex> g(Capture().lock);
  Capture().lines.push_back(line);
  Capture().lineThreads.push_back(GetCurrentThreadId());
}
inline void __cdecl CaptureNotification(int index) {
  std::lock_guard<std::mutex> g(Capture().lock);
  Capture().notifications.push_back(index);
  Capture().notificationThreads.push_back(GetCurrentThreadId());
}
inline std::vector<int> Notifications() {
  std::lock_guard<std::mutex> g(Capture().lock);
  return Capture().notifications;
}
inline int LinesWith(const std::string& text) {
  std::lock_guard<std::mutex> g(Capture().lock);
  return static_cast<int>(std::count_if(Capture().lines.begin(), Capture().lines.end(),
                                        [&](const std::string& l) { return l.find(text) != std::string::npos; }));
}
inline void ClearCaptured() {
  std::lock_guard<std::mutex> g(Capture().lock);
  Capture().lines.clear();
  Capture().lineThreads.clear();
  Capture().notifications.clear();
  Capture().notificationThreads.clear();
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sdk_.ok() && client_.ok());
    sdk_.Reset();
    client_.Reset();
    SetSdkClosePause(0);
    SetReadyRetryPause(0);
    SetInitTimerPeriod(20);
    SetDebugLogSink(CaptureLine);
    ClearCaptured();
    ASSERT_TRUE(UseScenario("full", "full"));
    WMC_SetCallback(WMC_NOTIFY_ALL, CaptureNotification, 0);
  }
  void TearDown() override {
    WMC_Shutdown();
    ReleaseClientLibrary();
    for (int i = 0; i < WMC_NOTIFY_SLOTS; ++i) g_hostCallbacks.slots[i] = nullptr;
    g_hostCallbacks.fieldTest = nullptr;
    EXPECT_TRUE(WaitSdkUnloaded());
    EXPECT_FALSE(ClientLoaded());
    SetDllDirectoryA(nullptr);
    SetEngineClock(nullptr);
    SetDebugLogSink(nullptr);
    SetReadyRetryPause(kReadyRetryPauseMs);
    SetInitTimerPeriod(kInitTimerPeriodMs);
    SetSdkClosePause(kSdkClosePauseMs);
  }
  // Changes the scenario; nothing of the plug-in may hold either library.
  void Use(const char* sdk, const char* client) {
    ReleaseClientLibrary();
    ASSERT_TRUE(WaitSdkUnloaded());
    ASSERT_TRUE(UseScenario(sdk, client));
  }
  CSEVDOEngine* Engine() const { return PublishedEngine(); }

  SimSdkControl sdk_;
  SimClientControl client_;
};

}  // namespace plugintest
