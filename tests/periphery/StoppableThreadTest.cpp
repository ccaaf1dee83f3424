#include <gtest/gtest.h>

#include <vector>

#include "PeripheryTestSupport.h"
#include "StoppableThread.h"

namespace {

using qeltest::NewEvent;
using qeltest::Signalled;

uint32_t ReturnAtOnce(UINT_PTR code, HANDLE) { return static_cast<uint32_t>(code); }

uint32_t UntilStopped(UINT_PTR, HANDLE stop) { return WaitForSingleObject(stop, 10000) == WAIT_OBJECT_0 ? 5 : 6; }

// Ignores the stop request until its gate opens, then looks at its stop event.
struct Stubborn {
  UniqueKernelHandle gate = NewEvent();
  UniqueKernelHandle done = NewEvent();
  DWORD stopWait = 0;
};
uint32_t IgnoreStop(UINT_PTR p, HANDLE stop) {
  auto* s = reinterpret_cast<Stubborn*>(p);
  WaitForSingleObject(s->gate.get(), 10000);
  s->stopWait = WaitForSingleObject(stop, 0);
  SetEvent(s->done.get());
  return 0;
}

TEST(StoppableThread, StopWithoutAThreadSucceeds) {
  StoppableThread t(ReturnAtOnce, 0, 1000);
  EXPECT_TRUE(t.Stop());
  EXPECT_EQ(t.GetThreadHandle(), nullptr);
}

TEST(StoppableThread, TheFunctionsResultIsTheExitCode) {
  StoppableThread t(ReturnAtOnce, 1234, 10000);
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(Signalled(t.GetThreadHandle()));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(t.GetThreadHandle(), &code));
  EXPECT_EQ(code, 1234u);
  EXPECT_TRUE(t.Stop());
  EXPECT_EQ(t.GetThreadHandle(), nullptr);
}

TEST(StoppableThread, StopSetsTheEventAndWaits) {
  StoppableThread t(UntilStopped, 0, 10000);
  ASSERT_TRUE(t.Start());
  HANDLE copy;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), t.GetThreadHandle(), GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  UniqueKernelHandle thread(copy);
  EXPECT_TRUE(t.Stop());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
  EXPECT_EQ(code, 5u);  // released by its stop event
}

TEST(StoppableThread, StartWhileRunningIsRefused) {
  StoppableThread t(UntilStopped, 0, 10000);
  ASSERT_TRUE(t.Start());
  HANDLE first = t.GetThreadHandle();
  EXPECT_FALSE(t.Start());
  EXPECT_EQ(t.GetThreadHandle(), first);
  EXPECT_TRUE(t.Stop());
  EXPECT_TRUE(t.Start());  // stopped: may start again
  EXPECT_TRUE(t.Stop());
}

TEST(StoppableThread, FailedStartLeavesNothingBehind) {
  StoppableThread t(ReturnAtOnce, 0, 1000);
  {
    qeltest::FailLocalBlocks noMemory(0, SIZE_MAX);
    EXPECT_FALSE(t.Start());
  }
  EXPECT_EQ(t.GetThreadHandle(), nullptr);
  EXPECT_TRUE(t.Start());
  EXPECT_TRUE(t.Stop());
}

// A stop that times out lets go of the thread, which keeps a valid stop event of its
// own: new handles made meanwhile cannot take its place.
TEST(StoppableThread, AThreadOutlivingItsStopKeepsItsOwnEvent) {
  Stubborn s;
  StoppableThread t(IgnoreStop, reinterpret_cast<UINT_PTR>(&s), 0);
  ASSERT_TRUE(t.Start());
  EXPECT_FALSE(t.Stop());
  EXPECT_EQ(t.GetThreadHandle(), nullptr);
  std::vector<UniqueKernelHandle> churn;
  for (int i = 0; i < 16; ++i) churn.push_back(NewEvent());
  SetEvent(s.gate.get());
  ASSERT_TRUE(Signalled(s.done.get()));
  EXPECT_EQ(s.stopWait, static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
