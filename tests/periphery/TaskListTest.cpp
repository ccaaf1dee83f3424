#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "PeripheryTestSupport.h"
#include "TaskList.h"
#include "TaskListTestSeams.h"

namespace {

using qeltest::NewEvent;
using qeltest::Signalled;

// What the tasks of one test saw: the order they ran in and on which threads.
struct Journal {
  std::mutex lock;
  std::vector<int> tags;
  std::vector<DWORD> threads;
  void Note(int tag) {
    std::lock_guard<std::mutex> hold(lock);
    tags.push_back(tag);
    threads.push_back(GetCurrentThreadId());
  }
};

struct Noted {
  Journal* journal;
  int tag;
};
void NoteTask(UINT_PTR p) {
  auto* n = reinterpret_cast<Noted*>(p);
  n->journal->Note(n->tag);
}

// A task that reports it started and then waits for its gate.
struct Gated {
  UniqueKernelHandle started = NewEvent();
  UniqueKernelHandle gate = NewEvent();
  DWORD thread = 0;
};
void GatedTask(UINT_PTR p) {
  auto* g = reinterpret_cast<Gated*>(p);
  g->thread = GetCurrentThreadId();
  SetEvent(g->started.get());
  WaitForSingleObject(g->gate.get(), 10000);
}

void CountTask(UINT_PTR p) { ++*reinterpret_cast<std::atomic<int>*>(p); }
void Nothing(UINT_PTR) {}

UINT_PTR Arg(void* p) { return reinterpret_cast<UINT_PTR>(p); }

int ProcessThreadCount() {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  int n = 0;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  return n;
}

struct IdCase {
  int priority;
  bool want;
};
TEST(TaskList, EveryCallTakesTheNextIdEvenWhenRefused) {
  const IdCase cases[] = {{0, true}, {2, true}, {3, false}, {1, true}, {-1, false}, {0, true}};
  TaskList list(0);
  for (int i = 0; i < static_cast<int>(sizeof(cases) / sizeof(cases[0])); ++i) {
    int id = -1;
    EXPECT_EQ(list.AddTask(&id, Nothing, 0, cases[i].priority), cases[i].want) << "call " << i;
    EXPECT_EQ(id, i);
  }
  EXPECT_TRUE(list.AddTask(nullptr, Nothing, 0, 0));
  int id = -1;
  EXPECT_TRUE(list.AddTask(&id, Nothing, 0, 0));
  EXPECT_EQ(id, 7);
}

TEST(TaskList, OneWorkerRunsHigherPrioritiesFirst) {
  Journal journal;
  Gated blocker;
  Noted low{&journal, 0}, mid{&journal, 1}, high{&journal, 2}, low2{&journal, 10};
  {
    TaskList list(1);
    ASSERT_TRUE(list.AddTask(nullptr, GatedTask, Arg(&blocker), 0));
    ASSERT_TRUE(Signalled(blocker.started.get()));
    ASSERT_TRUE(list.AddTask(nullptr, NoteTask, Arg(&low), 0));
    ASSERT_TRUE(list.AddTask(nullptr, NoteTask, Arg(&mid), 1));
    ASSERT_TRUE(list.AddTask(nullptr, NoteTask, Arg(&high), 2));
    ASSERT_TRUE(list.AddTask(nullptr, NoteTask, Arg(&low2), 0));
    EXPECT_EQ(list.GetPendingCount(), 4);
    EXPECT_EQ(list.GetWorkerCount(), 1);  // the bound holds
    SetEvent(blocker.gate.get());
  }
  EXPECT_EQ(journal.tags, (std::vector<int>{2, 1, 0, 10}));
  for (DWORD t : journal.threads) EXPECT_EQ(t, blocker.thread);
}

TEST(TaskList, ABusyWorkerGetsCompany) {
  Gated blocker;
  Journal journal;
  Noted next{&journal, 1};
  TaskList list(0);
  EXPECT_EQ(list.GetWorkerCount(), 0);
  ASSERT_TRUE(list.AddTask(nullptr, GatedTask, Arg(&blocker), 0));
  ASSERT_TRUE(Signalled(blocker.started.get()));
  auto done = NewEvent();
  struct Both {
    Noted* noted;
    HANDLE done;
  } both{&next, done.get()};
  ASSERT_TRUE(list.AddTask(
      nullptr,
      [](UINT_PTR p) {
        auto* b = reinterpret_cast<Both*>(p);
        NoteTask(Arg(b->noted));
        SetEvent(b->done);
      },
      Arg(&both), 0));
  EXPECT_EQ(list.GetWorkerCount(), 2);
  EXPECT_TRUE(Signalled(done.get()));  // ran while the first worker is still busy
  ASSERT_EQ(journal.threads.size(), 1u);
  EXPECT_NE(journal.threads[0], blocker.thread);
  SetEvent(blocker.gate.get());
}

// A worker that has taken a task counts as busy before any other call can look.
struct TakeHold {
  static std::atomic<bool> armed;
  static HANDLE taken;
  static HANDLE proceed;
  static void Hook() {
    if (!armed.exchange(false)) return;
    SetEvent(taken);
    WaitForSingleObject(proceed, 10000);
  }
};
std::atomic<bool> TakeHold::armed{false};
HANDLE TakeHold::taken = nullptr;
HANDLE TakeHold::proceed = nullptr;

TEST(TaskList, AWorkerCountsAsBusyFromTheMomentItTakesATask) {
  auto taken = NewEvent();
  auto proceed = NewEvent();
  TakeHold::taken = taken.get();
  TakeHold::proceed = proceed.get();
  TakeHold::armed = true;
  TaskListTestSetTakeHook(TakeHold::Hook);
  {
    TaskList list(0);
    ASSERT_TRUE(list.AddTask(nullptr, Nothing, 0, 0));
    ASSERT_TRUE(Signalled(taken.get()));
    ASSERT_TRUE(list.AddTask(nullptr, Nothing, 0, 0));
    EXPECT_EQ(list.GetWorkerCount(), 2);
    SetEvent(proceed.get());
  }
  TaskListTestSetTakeHook(nullptr);
}

TEST(TaskList, RemovesOnlyQueuedTasks) {
  Gated blocker;
  Journal journal;
  Noted withdrawn{&journal, 1}, kept{&journal, 2};
  {
    TaskList list(1);
    int running = -1, queued = -1, other = -1;
    ASSERT_TRUE(list.AddTask(&running, GatedTask, Arg(&blocker), 1));
    ASSERT_TRUE(Signalled(blocker.started.get()));
    ASSERT_TRUE(list.AddTask(&queued, NoteTask, Arg(&withdrawn), 1));
    ASSERT_TRUE(list.AddTask(&other, NoteTask, Arg(&kept), 0));
    EXPECT_FALSE(list.RemoveTask(running));
    EXPECT_FALSE(list.RemoveTask(999));
    EXPECT_TRUE(list.RemoveTask(queued));
    EXPECT_FALSE(list.RemoveTask(queued));
    EXPECT_EQ(list.GetPendingCount(), 1);
    SetEvent(blocker.gate.get());
  }
  EXPECT_EQ(journal.tags, std::vector<int>{2});
}

TEST(TaskList, DestructionRunsEveryQueuedTask) {
  Gated blocker;
  std::atomic<int> ran{0};
  {
    TaskList list(1);
    ASSERT_TRUE(list.AddTask(nullptr, GatedTask, Arg(&blocker), 0));
    ASSERT_TRUE(Signalled(blocker.started.get()));
    for (int i = 0; i < 25; ++i) ASSERT_TRUE(list.AddTask(nullptr, CountTask, Arg(&ran), i % 3));
    SetEvent(blocker.gate.get());
  }
  EXPECT_EQ(ran.load(), 25);
}

TEST(TaskList, AnUnusedListStartsNoThread) {
  int before = ProcessThreadCount();
  auto list = std::make_unique<TaskList>(0);
  EXPECT_EQ(list->GetPendingCount(), 0);
  EXPECT_EQ(list->GetWorkerCount(), 0);
  EXPECT_EQ(ProcessThreadCount(), before);
  list.reset();
}

// The first worker's handle has no room: the task is refused and no thread is left behind.
TEST(TaskList, NoWorkerStartsWithoutRoomForItsHandle) {
  TaskList list(0);
  int before = ProcessThreadCount();
  int id = -1;
  {
    qeltest::FailLocalBlocks noRoom(10 * sizeof(void*), 10 * sizeof(void*));
    EXPECT_FALSE(list.AddTask(&id, Nothing, 0, 0));
  }
  EXPECT_EQ(id, -1);  // no id taken
  EXPECT_EQ(list.GetWorkerCount(), 0);
  EXPECT_EQ(ProcessThreadCount(), before);
  EXPECT_TRUE(list.AddTask(&id, Nothing, 0, 0));
  EXPECT_EQ(id, 0);
}

// A task that keeps queueing work while the list is destroyed is refused once
// destruction has begun, and everything accepted before still runs.
struct Flood {
  TaskList* list;
  std::atomic<int> accepted{0};
  std::atomic<int> ran{0};
  bool refused = false;
};
void FloodTask(UINT_PTR p) {
  auto* f = reinterpret_cast<Flood*>(p);
  for (int i = 0; i < 10000; ++i) {
    if (!f->list->AddTask(nullptr, CountTask, Arg(&f->ran), 0)) {
      f->refused = true;
      return;
    }
    ++f->accepted;
    Sleep(1);
  }
}

TEST(TaskList, RefusesNewTasksOnceStopping) {
  Flood flood;
  auto* list = new TaskList(1);
  flood.list = list;
  ASSERT_TRUE(list->AddTask(nullptr, FloodTask, Arg(&flood), 0));
  delete list;
  EXPECT_TRUE(flood.refused);
  EXPECT_EQ(flood.ran.load(), flood.accepted.load());
}

}  // namespace
