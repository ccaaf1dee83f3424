#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "CountingEvent.h"
#include "PeripheryTestSupport.h"

struct CountingEventProbe {
  static LONG Waiters(CountingEvent& e) { return InterlockedCompareExchange(&e.waiters_, 0, 0); }
};

namespace {

struct ArmCase {
  const char* name;
  int countsBefore;
  uint32_t target;
  bool wantArm;
  uint32_t secondTarget;  // 0: no second Arm
  int countsAfter;
  bool wantReached;
};
class Arming : public ::testing::TestWithParam<ArmCase> {};
TEST_P(Arming, SetsTheEventAtTheFirstTarget) {
  const ArmCase& k = GetParam();
  CountingEvent e;
  for (int i = 0; i < k.countsBefore; ++i) e.Count();
  EXPECT_EQ(e.Arm(k.target), k.wantArm);
  if (k.secondTarget) {
    EXPECT_TRUE(e.Arm(k.secondTarget));
  }
  for (int i = 0; i < k.countsAfter; ++i) e.Count();
  EXPECT_EQ(e.Wait(0), k.wantReached);
}
INSTANTIATE_TEST_SUITE_P(CountingEvent, Arming,
                         ::testing::Values(ArmCase{"ZeroTargetRefused", 0, 0, false, 0, 3, false},
                                           ArmCase{"ReachesTarget", 0, 3, true, 0, 3, true},
                                           ArmCase{"ShortOfTarget", 0, 3, true, 0, 2, false},
                                           ArmCase{"PastTarget", 0, 3, true, 0, 7, true},
                                           ArmCase{"CountsBeforeArmIgnored", 5, 3, true, 0, 2, false},
                                           ArmCase{"SecondArmKeepsTarget", 0, 3, true, 5, 3, true},
                                           ArmCase{"SecondArmKeepsTargetShort", 0, 3, true, 1, 2, false}),
                         [](const ::testing::TestParamInfo<ArmCase>& info) { return info.param.name; });

TEST(CountingEvent, WaitTimesOutShortOfTheTarget) {
  CountingEvent e;
  EXPECT_FALSE(e.Wait(INFINITE));  // not armed: at once
  ASSERT_TRUE(e.Arm(3));
  e.Count();
  e.Count();
  EXPECT_FALSE(e.Wait(10));
}

TEST(CountingEvent, AWaiterSeesOtherThreadsReachTheTarget) {
  CountingEvent e;
  ASSERT_TRUE(e.Arm(3));
  std::thread counter([&] {
    for (int i = 0; i < 3; ++i) e.Count();
  });
  EXPECT_TRUE(e.Wait(10000));
  counter.join();
}

// Destruction releases a waiter, which reports the target as not reached.
TEST(CountingEvent, DestructionReleasesWaitersWithoutSuccess) {
  auto e = std::make_unique<CountingEvent>();
  ASSERT_TRUE(e->Arm(2));
  e->Count();
  bool reached = true;
  std::thread waiter([&] { reached = e->Wait(INFINITE); });
  while (CountingEventProbe::Waiters(*e) == 0) Sleep(1);
  e.reset();
  waiter.join();
  EXPECT_FALSE(reached);
}

}  // namespace
