// The debugger-output logger and the manufacturer query (real WMI under Wine).
#include <thread>

#include "DebugLog.h"
#include "PluginFixture.h"

namespace {

using namespace plugintest;

DWORD g_tick = 0;
DWORD FakeTick() { return g_tick; }

class Logger : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDebugLogSink(CaptureLine);
    SetDebugLogClock(FakeTick);
    ClearCaptured();
  }
  void TearDown() override {
    SetDebugLogSink(nullptr);
    SetDebugLogClock(nullptr);
  }
  std::string Last() {
    std::lock_guard<std::mutex> g(Capture().lock);
    return Capture().lines.empty() ? "" : Capture().lines.back();
  }
};

TEST_F(Logger, StampsEachLineWithSecondsAndMilliseconds) {
  for (auto c : {std::pair<DWORD, const char*>{123456, "    23.456 x=7\n"}, {5, "    00.005 x=7\n"},
                 {100000, "    00.000 x=7\n"}, {99999, "    99.999 x=7\n"}, {0xFFFFFFFFu, "    67.295 x=7\n"}}) {
    g_tick = c.first;
    DebugLog("x=%d\n", 7);
    EXPECT_EQ(Last(), c.second);
  }
  g_tick = 123456;
  EXPECT_EQ(DebugLogTimestamp(), "23.456 ");
}

TEST_F(Logger, FormatsWithTheWindowsRulesAndCutsAt1024) {
  DebugLog("%s %ld %x %c|", "text", -3L, 255u, 'z');
  EXPECT_EQ(Last().substr(11), "text -3 ff z|");
  std::string longText(3000, 'x');
  DebugLog("%s", longText.c_str());
  // The platform formatter's limit: 1024 bytes with the terminator under Wine.
  EXPECT_EQ(Last().size(), 11u + 1023u);
  EXPECT_EQ(Last().substr(0, 4), "    ");
}

TEST_F(Logger, LinesFromManyThreadsStayWhole) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) DebugLog("thread %d line %d end\n", t, i);
    });
  for (auto& t : threads) t.join();
  std::lock_guard<std::mutex> g(Capture().lock);
  ASSERT_EQ(Capture().lines.size(), 800u);
  for (const std::string& l : Capture().lines) ASSERT_EQ(l.substr(l.size() - 5), " end\n");
}

TEST(Manufacturer, ReadsTheNameFromWmi) {
  char buffer[64];
  std::memset(buffer, 'Q', sizeof buffer);
  int length = 63;
  ASSERT_EQ(GetOEMManufacturerStr(buffer, &length), 0);
  std::string name(buffer);
  EXPECT_EQ(static_cast<int>(name.size()), length);
  EXPECT_EQ(name, "The Wine Project");  // what Wine's Win32_ComputerSystem reports

  int n = length;
  char exact[64];
  length = n + 1;
  EXPECT_EQ(GetOEMManufacturerStr(exact, &length), 0);
  EXPECT_EQ(length, n);
  EXPECT_EQ(exact[n], '\0');

  char small[64];
  std::memset(small, 'Q', sizeof small);
  length = n;
  EXPECT_EQ(GetOEMManufacturerStr(small, &length), 2);
  EXPECT_EQ(length, n + 1);
  EXPECT_EQ(small[0], 'Q');
}

TEST(Manufacturer, MultithreadedApartmentGetsOne) {
  int result = -1, length = 63;
  char buffer[64] = "untouched";
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    result = GetOEMManufacturerStr(buffer, &length);
    CoUninitialize();
  }).join();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(length, 63);
  EXPECT_STREQ(buffer, "untouched");
}

}  // namespace
