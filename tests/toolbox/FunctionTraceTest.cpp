// Trace scopes: entry and exit lines, per-function totals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

#include "FunctionTrace.h"
#include "TestSupport.h"

namespace qeltest {
namespace {

using ::testing::HasSubstr;

class TraceFixture : public LogFixture {
 protected:
  void Enable() {
    ASSERT_TRUE(Open());
    TBDSetClassEnable(TBDCT_ALL_FUNCTIONS, true);
    TBDSetTraceLevel(TBDOL_ERROR, 1);  // type 2 reaches the file level
  }
};

LONG gTime = 0, gCalls = 0;

void Traced(DWORD sleepMs) {
  FunctionTrace trace("CTest::Traced", &gTime, &gCalls);
  SleepEx(sleepMs, TRUE);  // a wait through the wineserver, which also refreshes the tick count
}

TEST_F(TraceFixture, EntryAndExitLinesWithTotals) {
  Enable();
  gTime = 1000;
  gCalls = 4;
  Traced(30);
  std::string text = Contents();
  EXPECT_THAT(text, HasSubstr(LinePrefix() + " h : + CTest::Traced\r\n"));
  size_t at = text.find(" h : - CTest::Traced (Duration = ");
  ASSERT_NE(at, std::string::npos);
  int duration = -1, total = -1, calls = -1;
  ASSERT_EQ(sscanf(text.c_str() + at, " h : - CTest::Traced (Duration = %dms - Total time = %dms - Total calls = %d)",
                   &duration, &total, &calls),
            3);
  EXPECT_GE(duration, 15);  // the 30 ms sleep, less one tick of a coarse clock
  EXPECT_EQ(total, 1000 + duration);
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(gCalls, 5);
  EXPECT_EQ(gTime, 1000 + duration);
}

TEST_F(TraceFixture, LongNameKeeps259Characters) {
  Enable();
  std::string name(300, 'n');
  LONG t = 0, c = 0;
  { FunctionTrace trace(name.c_str(), &t, &c); }
  std::string text = Contents();
  EXPECT_THAT(text, HasSubstr(" h : + " + std::string(259, 'n') + "\r\n"));
  EXPECT_THAT(text, HasSubstr(" h : - " + std::string(259, 'n') + " (Duration"));
}

TEST_F(TraceFixture, DisabledClassWritesNothingButCounts) {
  ASSERT_TRUE(Open());
  gTime = gCalls = 0;
  Traced(0);
  Traced(0);
  EXPECT_EQ(gCalls, 2);
  EXPECT_EQ(Contents(), Header());
}

TEST_F(TraceFixture, ConcurrentCallsAllCount) {
  Enable();
  gTime = gCalls = 0;
  std::thread a(Traced, 40), b(Traced, 40);
  a.join();
  b.join();
  EXPECT_EQ(gCalls, 2);
  // the total time is the sum of both calls' durations
  std::string text = Contents();
  int sum = 0, found = 0;
  for (size_t at = text.find("(Duration = "); at != std::string::npos; at = text.find("(Duration = ", at + 1)) {
    sum += atoi(text.c_str() + at + 12);
    ++found;
  }
  EXPECT_EQ(found, 2);
  EXPECT_EQ(gTime, sum);
}

TEST_F(TraceFixture, ExceptionStillWritesTheExitLine) {
  Enable();
  LONG t = 0, c = 0;
  try {
    FunctionTrace trace("CTest::Throws", &t, &c);
    throw std::runtime_error("boom");
  } catch (const std::exception&) {
  }
  EXPECT_EQ(c, 1);
  EXPECT_THAT(Contents(), HasSubstr(" h : - CTest::Throws (Duration = "));
}

TEST_F(TraceFixture, MacroGivesEachFunctionItsOwnCounters) {
  Enable();
  auto f = [] { FUNCTION_TRACE("CTest::Macro"); };
  f();
  f();
  EXPECT_THAT(Contents(), HasSubstr("Total calls = 2)\r\n"));
}

}  // namespace
}  // namespace qeltest
