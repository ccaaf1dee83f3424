#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "GrowableCollection.h"
#include "PeripheryTestSupport.h"
#include "TaskList.h"

namespace {

using Things = GrowableThingCollection<char*>;
using Record = TaskList::TaskListTaskData;

char kA[] = "A";
char kB[] = "B";
char kC[] = "C";
char kD[] = "D";

std::string Contents(Things& c) {
  std::string s;
  for (int i = 0; i < c.GetCount(); ++i) s += c.GetAt(i);
  return s;
}

void Fill(Things& c, const char* letters) {
  for (const char* p = letters; *p; ++p) {
    char* item = *p == 'A' ? kA : *p == 'B' ? kB : *p == 'C' ? kC : kD;
    ASSERT_TRUE(c.Add(item));
  }
}

struct GrowthCase {
  int growth;
  int adds;
  int wantCapacity;
};
class GrowthStep : public ::testing::TestWithParam<GrowthCase> {};
TEST_P(GrowthStep, GrowsByTheStepOnlyWhenFull) {
  Things c(GetParam().growth);
  for (int i = 0; i < GetParam().adds; ++i) ASSERT_TRUE(c.Add(kA));
  EXPECT_EQ(c.Capacity(), GetParam().wantCapacity);
  EXPECT_EQ(c.GetCount(), GetParam().adds);
}
INSTANTIATE_TEST_SUITE_P(Collections, GrowthStep,
                         ::testing::Values(GrowthCase{0, 1, 1}, GrowthCase{-5, 1, 1}, GrowthCase{-5, 2, 2},
                                           GrowthCase{10, 1, 10}, GrowthCase{10, 10, 10},
                                           GrowthCase{10, 11, 20}));

struct BoundsCase {
  const char* op;
  int index;
  bool want;
  const char* after;
};
class IndexBounds : public ::testing::TestWithParam<BoundsCase> {};
TEST_P(IndexBounds, OutOfRangeIndexesChangeNothing) {
  Things c(10);
  Fill(c, "ABC");
  const BoundsCase& k = GetParam();
  bool got = std::string(k.op) == "insert" ? c.InsertAt(kD, k.index) : c.RemoveAt(k.index);
  EXPECT_EQ(got, k.want);
  EXPECT_EQ(Contents(c), k.after);
}
INSTANTIATE_TEST_SUITE_P(Collections, IndexBounds,
                         ::testing::Values(BoundsCase{"insert", -1, false, "ABC"}, BoundsCase{"insert", 0, true, "DABC"},
                                           BoundsCase{"insert", 1, true, "ADBC"}, BoundsCase{"insert", 3, true, "ABCD"},
                                           BoundsCase{"insert", 4, false, "ABC"}, BoundsCase{"remove", -1, false, "ABC"},
                                           BoundsCase{"remove", 0, true, "BC"}, BoundsCase{"remove", 2, true, "AB"},
                                           BoundsCase{"remove", 3, false, "ABC"}));

TEST(Collections, SwapExchangesValidIndexesOnly) {
  Things c(10);
  Fill(c, "ABC");
  EXPECT_TRUE(c.Swap(1, 1));
  EXPECT_EQ(Contents(c), "ABC");
  EXPECT_TRUE(c.Swap(0, 2));
  EXPECT_EQ(Contents(c), "CBA");
  EXPECT_FALSE(c.Swap(0, 3));
  EXPECT_FALSE(c.Swap(-1, 0));
  EXPECT_EQ(Contents(c), "CBA");
}

TEST(Collections, OutOfRangeReadsGiveAZeroItem) {
  Things strings(10);
  Fill(strings, "A");
  EXPECT_EQ(strings.GetAt(-1), nullptr);
  EXPECT_EQ(strings.GetAt(1), nullptr);
  EXPECT_FALSE(strings.SetAt(kB, 1));

  GrowableThingCollection<Record> records(10);
  ASSERT_TRUE(records.Add(Record{7, nullptr, 9}));
  Record none = records.GetAt(-1);
  EXPECT_EQ(none.taskId, 0);
  EXPECT_EQ(none.function, nullptr);
  EXPECT_EQ(none.parameter, 0u);
}

// Every operation that changes the size or order is refused while frozen.
struct FrozenCase {
  const char* name;
  std::function<bool(Things&)> op;
};
class WhileFrozen : public ::testing::TestWithParam<FrozenCase> {};
TEST_P(WhileFrozen, RefusesChanges) {
  Things c(10);
  Fill(c, "AB");
  ASSERT_TRUE(c.Freeze());
  EXPECT_FALSE(GetParam().op(c));
  EXPECT_EQ(Contents(c), "AB");
  ASSERT_TRUE(c.Unfreeze());
  EXPECT_TRUE(GetParam().op(c));
}
INSTANTIATE_TEST_SUITE_P(Collections, WhileFrozen,
                         ::testing::Values(FrozenCase{"Add", [](Things& c) { return c.Add(kC); }},
                                           FrozenCase{"InsertAt", [](Things& c) { return c.InsertAt(kC, 0); }},
                                           FrozenCase{"RemoveAt", [](Things& c) { return c.RemoveAt(0); }},
                                           FrozenCase{"Remove", [](Things& c) { return c.Remove(kB); }},
                                           FrozenCase{"RemoveAll", [](Things& c) { return c.RemoveAll(); }},
                                           FrozenCase{"Swap", [](Things& c) { return c.Swap(0, 1); }}),
                         [](const ::testing::TestParamInfo<FrozenCase>& info) { return info.param.name; });

TEST(Collections, FreezeNestsAndPinsAddresses) {
  Things c(10);
  Fill(c, "AB");
  EXPECT_TRUE(c.Unfreeze());  // never frozen: stays thawed
  EXPECT_EQ(c.GetPtrAt(0), nullptr);

  c.Freeze();
  c.Freeze();
  char** first = c.GetPtrAt(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(*first, kA);
  EXPECT_EQ(c.GetPtrAt(2), nullptr);
  EXPECT_TRUE(c.SetAt(kC, 0));  // replacing in place is allowed
  EXPECT_EQ(*first, kC);

  EXPECT_FALSE(c.Unfreeze());
  EXPECT_FALSE(c.Add(kD));
  EXPECT_TRUE(c.Unfreeze());
  EXPECT_EQ(c.GetPtrAt(0), nullptr);
  EXPECT_TRUE(c.Add(kD));
  EXPECT_EQ(Contents(c), "CBD");
}

TEST(Collections, FindGivesTheFirstAndFindPtrTheLastEqualItem) {
  Things c(10);
  Fill(c, "ABA");
  EXPECT_EQ(c.Find(kA), 0);
  EXPECT_EQ(c.Find(kC), -1);
  EXPECT_EQ(c.FindPtr(kA), nullptr);  // not frozen
  c.Freeze();
  EXPECT_EQ(c.FindPtr(kA), c.GetPtrAt(2));
  EXPECT_EQ(c.FindPtr(kC), nullptr);
  c.Unfreeze();
  EXPECT_TRUE(c.Remove(kA));
  EXPECT_EQ(Contents(c), "BA");
}

TEST(Collections, FindIfStopsAtTheFirstMatch) {
  Things c(10);
  EXPECT_EQ(c.FindIf([](char* const*, UINT_PTR calls) { return ++*reinterpret_cast<int*>(calls) > 0; }, 0), -1);
  Fill(c, "ABCB");
  int calls = 0;
  struct Probe {
    int* calls;
    char* wanted;
  } probe{&calls, kB};
  auto isWanted = [](char* const* item, UINT_PTR user) {
    auto* p = reinterpret_cast<Probe*>(user);
    ++*p->calls;
    return *item == p->wanted;
  };
  EXPECT_EQ(c.FindIf(isWanted, reinterpret_cast<UINT_PTR>(&probe)), 1);
  EXPECT_EQ(calls, 2);
  probe.wanted = kD;
  EXPECT_EQ(c.FindIf(isWanted, reinterpret_cast<UINT_PTR>(&probe)), -1);
}

TEST(Collections, RemoveAllKeepsTheArray) {
  Things c(10);
  Fill(c, "ABC");
  EXPECT_TRUE(c.RemoveAll());
  EXPECT_EQ(c.GetCount(), 0);
  qeltest::FailLocalBlocks noMemory(0, SIZE_MAX);
  EXPECT_TRUE(c.Add(kD));  // no allocation needed
  EXPECT_EQ(c.Capacity(), 10);
}

TEST(Collections, FailedGrowthKeepsItemsAndCapacity) {
  Things c(1);
  Fill(c, "A");
  qeltest::FailLocalBlocks noMemory(0, SIZE_MAX);
  EXPECT_FALSE(c.Add(kB));
  EXPECT_FALSE(c.InsertAt(kB, 0));
  EXPECT_EQ(Contents(c), "A");
  EXPECT_EQ(c.Capacity(), 1);
}

// Fields set one by one over different fill bytes: any padding differs.
Record FieldsOver(unsigned char fill) {
  Record r;
  std::memset(&r, fill, sizeof(r));
  r.taskId = 3;
  r.function = nullptr;
  r.parameter = 42;
  return r;
}

TEST(Collections, RecordsCompareByFieldsNotPadding) {
  GrowableThingCollection<Record> c(10);
  ASSERT_TRUE(c.Add(Record{1, nullptr, 0}));
  ASSERT_TRUE(c.Add(FieldsOver(0x00)));
  Record wanted = FieldsOver(0xA5);
  EXPECT_EQ(c.Find(wanted), 1);
  EXPECT_TRUE(c.Remove(wanted));
  EXPECT_EQ(c.GetCount(), 1);
}

TEST(Collections, LockHoldsOffChangesButNotReads) {
  Things c(10);
  Fill(c, "A");
  ASSERT_TRUE(c.Lock());
  auto readDone = qeltest::NewEvent();
  auto addDone = qeltest::NewEvent();
  int countSeen = -1;
  std::thread other([&] {
    countSeen = c.GetCount();
    SetEvent(readDone.get());
    c.Add(kB);
    SetEvent(addDone.get());
  });
  EXPECT_TRUE(qeltest::Signalled(readDone.get()));
  EXPECT_EQ(WaitForSingleObject(addDone.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(c.Add(kC));  // the holder may change it
  ASSERT_TRUE(c.Unlock());
  other.join();
  EXPECT_EQ(countSeen, 1);
  EXPECT_EQ(Contents(c), "ACB");
}

// The pointer collection reads through its own operations and keeps removal by value.
TEST(PointerCollection, SwitchesOffIndexRemovalReorderingAndVirtualReads) {
  GrowablePointerCollection<char> c(10);
  ASSERT_TRUE(c.Add(kA));
  ASSERT_TRUE(c.InsertAt(kB, 0));
  Things& base = c;
  EXPECT_FALSE(base.RemoveAt(0));
  EXPECT_FALSE(base.RemoveAll());
  EXPECT_FALSE(base.Swap(0, 1));
  EXPECT_EQ(base.GetAt(0), nullptr);
  bool called = false;
  EXPECT_EQ(base.FindIf([](char* const*, UINT_PTR flag) { return *reinterpret_cast<bool*>(flag) = true; },
                        reinterpret_cast<UINT_PTR>(&called)),
            -1);
  EXPECT_FALSE(called);
  base.Freeze();
  EXPECT_EQ(base.GetPtrAt(0), nullptr);
  base.Unfreeze();

  EXPECT_EQ(c.GetCount(), 2);
  EXPECT_EQ(c.GetPointer(0), kB);
  EXPECT_EQ(c.GetPointer(2), nullptr);
  EXPECT_EQ(c.IndexOf(kA), 1);
  EXPECT_EQ(c.IndexOf(kC), -1);
  EXPECT_TRUE(base.Remove(kB));
  EXPECT_EQ(c.GetPointer(0), kA);
}

}  // namespace
