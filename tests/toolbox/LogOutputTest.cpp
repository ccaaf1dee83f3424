// The log's output: filter, line layout, rotation, scrambling and file names.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "LogState.h"
#include "TestSupport.h"

namespace qeltest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(LogClosed, PrintBeforeInitAndAfterShutdownDoNothing) {
  TBDTestReset();
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "before init %d", 1);
  TBDSetClassEnable(TBCT_INFO, true);
  TBDSetTraceLevel(TBDOL_TRACE, 0);
  TBDDumpSettings();
  CheckLogFile();
  // The setters changed nothing: levels survive an init, and init clears only the enables.
  EXPECT_EQ(tbd::g.classEnable[TBCT_INFO], 0);
  std::string path = TempFolder() + "\\closed.log";
  ASSERT_TRUE(TBDInit(path.c_str(), kApp, 0, true));
  TBDSetClassEnable(TBCT_INFO, true);
  TBDPrint(TBCT_INFO, TBDLT_INFO, "info at the built-in levels");
  TBDShutdown();
  std::string closed = ReadFileBytes(path);
  EXPECT_THAT(closed, Not(HasSubstr("info at the built-in levels")));
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "after shutdown");
  TBDSetTraceLevel(TBDOL_TRACE, 0);
  TBDSetClassEnable(TBCT_READ, true);
  TBDShutdown();  // a second shutdown writes nothing either
  EXPECT_EQ(ReadFileBytes(path), closed);
  EXPECT_THAT(closed, Not(HasSubstr("before init")));
  EXPECT_EQ(tbd::g.fileLevel, TBDOL_NONE);
  EXPECT_EQ(tbd::g.classEnable[TBCT_READ], 0);
  TBDTestReset();
}

struct FilterCase {
  int32_t cls;
  int32_t type;
  int32_t fileLevel;
  int32_t debugLevel;
  bool enable;  // enable of cls
  bool written;
};

class LogFilter : public LogFixture, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(LogFilter, PassesOnLevelAndClass) {
  const FilterCase& c = GetParam();
  ASSERT_TRUE(Open());
  TBDSetTraceLevel(c.fileLevel, 1);
  TBDSetTraceLevel(c.debugLevel, 2);
  if (c.cls >= 0 && c.cls < TBDCT_LAST) TBDSetClassEnable(c.cls, c.enable);
  EXPECT_EQ(Writes(c.cls, c.type), c.written);
}

INSTANTIATE_TEST_SUITE_P(TruthTable, LogFilter, ::testing::Values(
    // class 6 passes whatever the levels and enables
    FilterCase{TBDCT_LAST, TBDLT_TRACE, 3, 3, false, true},
    FilterCase{TBDCT_LAST, -5, 4, 4, false, true},
    // an enabled class needs its type to reach one of the two levels
    FilterCase{TBCT_INFO, TBDLT_ERROR, 3, 3, true, true},
    FilterCase{TBCT_INFO, TBDLT_INFO, 3, 3, true, false},
    FilterCase{TBCT_INFO, TBDLT_INFO, 1, 3, true, true},
    FilterCase{TBCT_INFO, TBDLT_INFO, 3, 1, true, true},
    FilterCase{TBCT_INFO, TBDLT_TRACE, 3, 0, true, true},
    FilterCase{TBCT_INFO, TBDLT_INFO, 2, 2, true, false},
    // a disabled class never passes
    FilterCase{TBCT_INFO, TBDLT_ERROR, 0, 0, false, false},
    FilterCase{TBDCT_NULL, TBDLT_ERROR, 0, 0, false, false},
    FilterCase{TBDCT_NULL, TBDLT_ERROR, 0, 0, true, true},
    FilterCase{TBDCT_ALL_FUNCTIONS, TBDLT_FUNCTION, 2, 3, true, true},
    // classes outside the table are disabled
    FilterCase{7, TBDLT_ERROR, 0, 0, false, false},
    FilterCase{-1, TBDLT_ERROR, 0, 0, false, false},
    FilterCase{1000, TBDLT_ERROR, 0, 0, false, false}));

TEST_F(LogFixture, HierarchicalWritesOnlyFromTheFileLevel) {
  ASSERT_TRUE(Open());
  TBDSetTraceLevel(TBDOL_NONE, 1);
  TBDSetTraceLevel(TBDOL_TRACE, 2);
  TBDSetClassEnable(TBDCT_ALL, true);
  EXPECT_TRUE(Writes(TBDCT_ALL, TBDLT_TRACE));
  TBDPrintHierarchical(TBDCT_ALL, TBDLT_TRACE, "hier-trace");
  EXPECT_THAT(Contents(), Not(HasSubstr("hier-trace")));
  // the function class passes through its hierarchy row when TBDCT_ALL is enabled
  TBDPrintHierarchical(TBDCT_ALL_FUNCTIONS, TBDLT_ERROR, "hier-functions");
  TBDPrintHierarchical(TBDCT_NULL, TBDLT_ERROR, "hier-null");
  TBDPrintHierarchical(9, TBDLT_ERROR, "hier-outside");
  std::string text = Contents();
  EXPECT_THAT(text, HasSubstr(LinePrefix() + " E : hier-functions\r\n"));
  EXPECT_THAT(text, Not(HasSubstr("hier-null")));
  EXPECT_THAT(text, Not(HasSubstr("hier-outside")));
}

TEST_F(LogFixture, HeaderLinesAndFooterHaveTheirExactBytes) {
  ASSERT_TRUE(Open());
  TBDPrint(TBDCT_LAST, TBDLT_TRACE, "trace %d", 0);
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "info %s", "one");
  TBDPrint(TBDCT_LAST, TBDLT_FUNCTION, "function");
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "error");
  TBDPrint(TBDCT_LAST, 7, "other");
  TBDPrint(TBDCT_LAST, TBDLT_INFO, nullptr);
  TBDShutdown();
  const std::string p = LinePrefix();
  EXPECT_EQ(Contents(), Header() +
                            p + " t :   trace 0\r\n" +
                            p + " i :   info one\r\n" +
                            p + " h : function\r\n" +
                            p + " E :   error\r\n" +
                            p + " ? : other\r\n" +
                            p + " i :   \r\n" +
                            Footer());
}

TEST_F(LogFixture, PrefixesFollowTheirSettings) {
  SetDword(HKEY_CURRENT_USER, kAppKey, "OutputThreadID", 0);
  SetDword(HKEY_CURRENT_USER, kAppKey, "OutputTickCount", 1);
  ASSERT_TRUE(Open());
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "ticks");
  std::string text = Contents();
  std::string start = std::string(kApp) + " : " + TimeText(time_) + "TC 0x";
  ASSERT_THAT(text, HasSubstr(start));
  EXPECT_EQ(text.substr(text.find(start) + start.size() + 8), " :  i :   ticks\r\n");
}

TEST_F(LogFixture, LongMessageIsCutAt1023Characters) {
  ASSERT_TRUE(Open());
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "%s", std::string(2000, 'x').c_str());
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "next");
  std::string text = Contents().substr(Header().size());
  size_t second = text.find(LinePrefix(), 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(second, 1023u);  // no line end: the next line continues the same text line
  EXPECT_EQ(text.substr(second), LinePrefix() + " i :   next\r\n");
}

TEST_F(LogFixture, TruncateChoosesBetweenEmptyingAndAppending) {
  WriteFileBytes(path_, "old content");
  ASSERT_TRUE(Open(false));
  TBDShutdown();
  EXPECT_EQ(Contents(), "old content" + Header() + Footer());
  ASSERT_TRUE(Open(true));
  TBDShutdown();
  EXPECT_EQ(Contents(), Header() + Footer());
}

TEST_F(LogFixture, RotatesToBackupAtTheLimit) {
  ASSERT_TRUE(Open(true, 400));
  int i = 0;
  while (Contents().size() < 400) TBDPrint(TBDCT_LAST, TBDLT_INFO, "line %03d", i++);
  std::string full = Contents();
  WriteFileBytes(path_ + "_BACKUP", "older backup");
  SetFileAttributesA((path_ + "_BACKUP").c_str(), FILE_ATTRIBUTE_READONLY);
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "after rotation");
  EXPECT_EQ(ReadFileBytes(path_ + "_BACKUP"), full);
  EXPECT_EQ(Contents(), LinePrefix() + " i :   after rotation\r\n");
  EXPECT_FALSE(FileExists(path_ + "_BAKNEW"));
}

TEST_F(LogFixture, RegistryMaxLogSizeAboveZeroSetsTheLimit) {
  for (DWORD ignored : {0u, 0xFFFFFFFFu}) {
    SetDword(HKEY_CURRENT_USER, kAppKey, "MaxLogSize", ignored);
    ASSERT_TRUE(Open(true, 100000));
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "one");
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "two");
    EXPECT_THAT(Contents(), HasSubstr(Header())) << ignored;
    TBDShutdown();
  }
  SetDword(HKEY_CURRENT_USER, kAppKey, "MaxLogSize", 60);
  ASSERT_TRUE(Open(true, 100000));
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "rotates");
  EXPECT_EQ(Contents(), LinePrefix() + " i :   rotates\r\n");
  EXPECT_EQ(ReadFileBytes(path_ + "_BACKUP"), Header());
}

TEST_F(LogFixture, FailedBackupLosesNeitherLogNorOldBackup) {
  ASSERT_TRUE(Open(true, 400));
  while (Contents().size() < 400) TBDPrint(TBDCT_LAST, TBDLT_INFO, "filler");
  std::string backup = path_ + "_BACKUP";
  WriteFileBytes(backup, "precious backup");
  {
    // Held open without sharing, the backup cannot be replaced.
    HANDLE held = CreateFileA(backup.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string full = Contents();
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "kept");
    EXPECT_EQ(Contents(), full + LinePrefix() + " i :   kept\r\n");
    CloseHandle(held);
  }
  EXPECT_EQ(ReadFileBytes(backup), "precious backup");
  EXPECT_FALSE(FileExists(path_ + "_BAKNEW"));
  // Each attempt copies the whole log: the next one waits until the log has grown by a
  // quarter of the limit, then rotates.
  size_t failedAt = Contents().size() - (LinePrefix() + " i :   kept\r\n").size();
  std::string before;
  int i = 0;
  do {
    before = Contents();
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "waits %d", i++);
  } while (Contents().size() > before.size());
  EXPECT_GE(before.size(), failedAt + 100);
  EXPECT_LT(before.size(), failedAt + 100 + 200);
  EXPECT_EQ(ReadFileBytes(backup), before);
  EXPECT_EQ(Contents(), LinePrefix() + " i :   waits " + std::to_string(i - 1) + "\r\n");
}

class LongLogPath : public LogFixture, public ::testing::WithParamInterface<size_t> {};

// "_BACKUP" still fits MAX_PATH, so the temporary copy must not take a longer name.
TEST_P(LongLogPath, RotatesWhileTheBackupNameFits) {
  size_t length = GetParam();
  ASSERT_LT(folder_.size() + 2, length);
  path_ = folder_ + "\\" + std::string(length - folder_.size() - 1, 'L');
  ASSERT_EQ(path_.size(), length);
  ASSERT_TRUE(Open(true, 200));
  while (Contents().size() < 200) TBDPrint(TBDCT_LAST, TBDLT_INFO, "filler");
  std::string full = Contents();
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "rotated");
  EXPECT_EQ(Contents(), LinePrefix() + " i :   rotated\r\n");
  EXPECT_EQ(ReadFileBytes(path_ + "_BACKUP"), full);
  TBDShutdown();
  DeleteFileA((path_ + "_BACKUP").c_str());
  DeleteFileA(path_.c_str());
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongLogPath, ::testing::Values(200u, 249u, 252u));

struct ScrambleCase {
  HKEY root;
  DWORD value;
  bool scrambled;
};

class LogScramble : public LogFixture, public ::testing::WithParamInterface<ScrambleCase> {};

TEST_P(LogScramble, XorsEveryByteOnlyWhenSetToOneUnderCurrentUser) {
  SetDword(GetParam().root, kVendorKey, "enable encrypt", GetParam().value);
  ASSERT_TRUE(Open());
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "secret \x80\xff");
  TBDShutdown();
  std::string plain = Header() + LinePrefix() + " E :   secret \x80\xff\r\n" + Footer();
  std::string bytes = Contents();
  if (GetParam().scrambled) {
    ASSERT_EQ(bytes.size(), plain.size());
    for (char& c : bytes) c = static_cast<char>(c ^ 0xB7);
  }
  EXPECT_EQ(bytes, plain);
}

INSTANTIATE_TEST_SUITE_P(Values, LogScramble, ::testing::Values(
    ScrambleCase{HKEY_CURRENT_USER, 1, true},
    ScrambleCase{HKEY_CURRENT_USER, 2, false},
    ScrambleCase{HKEY_CURRENT_USER, 0, false},
    ScrambleCase{HKEY_LOCAL_MACHINE, 1, false}));

TEST_F(LogFixture, FileNameResolution) {
  std::string besideProgram = ProgramFolder() + "\\run_qeltest.txt";
  std::string besideDefault = ProgramFolder() + "\\DevuRezAzeve.txt";
  DeleteFileA(besideProgram.c_str());
  DeleteFileA(besideDefault.c_str());

  // absolute from the caller
  ASSERT_TRUE(Open());
  TBDShutdown();
  EXPECT_TRUE(FileExists(path_));

  // empty name and no value: the default name beside the program
  ASSERT_TRUE(TBDInit("", kApp, 0, true));
  TBDShutdown();
  EXPECT_TRUE(FileExists(besideDefault));

  // a relative registry name goes beside the program
  SetString(HKEY_CURRENT_USER, kAppKey, "OutputFileName", "run_qeltest.txt");
  ASSERT_TRUE(TBDInit("ignored.txt", kApp, 0, true));
  TBDShutdown();
  EXPECT_TRUE(FileExists(besideProgram));

  // an absolute registry name is used as it stands
  std::string other = folder_ + "\\from_registry.txt";
  SetString(HKEY_CURRENT_USER, kAppKey, "OutputFileName", other.c_str());
  ASSERT_TRUE(TBDInit("ignored.txt", kApp, 0, true));
  TBDShutdown();
  EXPECT_TRUE(FileExists(other));

  DeleteFileA(besideProgram.c_str());
  DeleteFileA(besideDefault.c_str());
}

TEST_F(LogFixture, OutputFileNameMustBeAStringReadWhole) {
  std::string fromMachine = folder_ + "\\machine.txt";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAppKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  // a binary value is no name, even when its bytes read as one
  const char bytes[] = "Z:\\binary.txt";
  RegSetValueExA(key, "OutputFileName", 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes), sizeof(bytes) - 1);
  RegCloseKey(key);
  SetString(HKEY_LOCAL_MACHINE, kAppKey, "OutputFileName", fromMachine.c_str());
  ASSERT_TRUE(Open());
  TBDShutdown();
  EXPECT_TRUE(FileExists(fromMachine));
  EXPECT_FALSE(FileExists(path_));

  // a string stored without its terminator ends where its data ends
  std::string unterminated = folder_ + "\\unterminated.txt";
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAppKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
  RegSetValueExA(key, "OutputFileName", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated.data()),
                 static_cast<DWORD>(unterminated.size()));
  RegCloseKey(key);
  ASSERT_TRUE(Open());
  TBDShutdown();
  EXPECT_TRUE(FileExists(unterminated));
}

TEST_F(LogFixture, FailedInitLeavesTheLogClosed) {
  std::string missing = folder_ + "\\no such folder\\x.log";
  EXPECT_FALSE(TBDInit(missing.c_str(), kApp, 0, true));
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "nowhere");
  // Handles made now take the numbers the failed init freed: a shutdown that closed its
  // handles again would close these.
  HANDLE events[8];
  for (HANDLE& e : events) e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  TBDShutdown();
  TBDShutdown();
  for (HANDLE e : events) {
    EXPECT_TRUE(SetEvent(e)) << e;
    CloseHandle(e);
  }
  EXPECT_FALSE(FileExists(missing));
  EXPECT_TRUE(Open());  // and the log opens again afterwards
}

HANDLE gInsidePrint = nullptr;
void StayInsideThePrint() {
  SetEvent(gInsidePrint);
  Sleep(INFINITE);
}

DWORD WINAPI PrintNeverWritten(void*) {
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "never written");
  return 0;
}

DWORD WINAPI CallFunction(void* fn) {
  (*static_cast<void (**)()>(fn))();
  return 0;
}

// Runs fn on a thread and tells whether it ended within the time.
bool EndsWithin(DWORD ms, void (*fn)()) {
  HANDLE thread = CreateThread(nullptr, 0, CallFunction, &fn, 0, nullptr);
  bool ended = WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
  if (!ended) TerminateThread(thread, 1);
  CloseHandle(thread);
  return ended;
}

DWORD WINAPI PrintHundredLines(void* tag) {
  for (int i = 0; i < 100; ++i)
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "%c-%03d the quick brown fox jumps over the lazy dog", *static_cast<char*>(tag), i);
  return 0;
}

// Threads that print at once take turns: every line whole, none lost, none twice.
TEST_F(LogFixture, ThreadsPrintingAtOnceLoseNoLine) {
  ASSERT_TRUE(Open());
  char tags[] = "ABCD";
  HANDLE threads[4];
  for (int t = 0; t < 4; ++t) threads[t] = CreateThread(nullptr, 0, PrintHundredLines, &tags[t], 0, nullptr);
  ASSERT_EQ(WaitForMultipleObjects(4, threads, TRUE, 60000), WAIT_OBJECT_0);
  for (HANDLE h : threads) CloseHandle(h);
  std::string text = Contents();
  EXPECT_EQ(Count(text, " i :   "), 400u);
  for (char tag : std::string("ABCD"))
    for (int i = 0; i < 100; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, " i :   %c-%03d the quick brown fox jumps over the lazy dog\r\n", tag, i);
      EXPECT_EQ(Count(text, line), 1u) << line;
    }
}

// Ends a thread with TerminateThread while it is inside a print; returns its id (0 when
// it never got inside).
DWORD KillThreadInsideAPrint() {
  gInsidePrint = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  TBDTestSetLockedHook(&StayInsideThePrint);
  DWORD id = 0;
  HANDLE printer = CreateThread(nullptr, 0, PrintNeverWritten, nullptr, 0, &id);
  bool inside = WaitForSingleObject(gInsidePrint, 10000) == WAIT_OBJECT_0;
  TBDTestSetLockedHook(nullptr);
  TerminateThread(printer, 1);
  WaitForSingleObject(printer, 10000);
  CloseHandle(printer);
  CloseHandle(gInsidePrint);
  return inside ? id : 0;
}

// ExitProcess and TerminateThread end a printing thread inside the log's locks; what
// runs afterwards (the footer on DLL_PROCESS_DETACH) must not wait for it.
TEST_F(LogFixture, ThreadKilledInsideAPrintBlocksNothing) {
  ASSERT_TRUE(Open());
  ASSERT_NE(KillThreadInsideAPrint(), 0u);

  bool printed = EndsWithin(10000, [] { TBDPrint(TBDCT_LAST, TBDLT_INFO, "after the death"); });
  bool closed = printed && EndsWithin(10000, [] { TBDShutdown(); });
  if (!closed) {
    // The log is stuck for good in this process; run no more of it.
    ADD_FAILURE() << "the log waited for a dead thread (print ended: " << printed << ")";
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), 1);
  }
  std::string text = Contents();
  EXPECT_EQ(Count(text, " i :   "), 1u);
  EXPECT_THAT(text, HasSubstr(" i :   after the death\r\n" + Footer()));
}

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

DWORD gDeadOwnerId = 0;
HANDLE gReleaseReuser = nullptr;
// A thread that got the dead owner's id stays until it is released.
DWORD WINAPI HoldTheDeadOwnersId(void*) {
  if (GetCurrentThreadId() == gDeadOwnerId) WaitForSingleObject(gReleaseReuser, 30000);
  return 0;
}

// Thread ids come back soon after their threads end (Wine: after some 470 creations). A
// live thread that got the id of a print's dead owner must not be taken for that owner.
TEST_F(LogFixture, PrintAfterADeadOwnerWaitsForNoThreadWithItsId) {
  ASSERT_TRUE(Open());
  gDeadOwnerId = KillThreadInsideAPrint();
  ASSERT_NE(gDeadOwnerId, 0u);
  gReleaseReuser = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  constexpr int kCreations = 1500;
  HANDLE reuser = nullptr;
  int created = 0;
  while (!reuser && created < kCreations) {
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, HoldTheDeadOwnersId, nullptr, 0, &id);
    ASSERT_TRUE(thread);
    ++created;
    if (id == gDeadOwnerId) {
      reuser = thread;
    } else {
      WaitForSingleObject(thread, 10000);
      CloseHandle(thread);
    }
  }
  std::printf("threads created: %d; the dead owner's id %s\n", created,
              reuser ? "went to the last of them" : "went to none of them");
  double start = Seconds();
  bool printed = EndsWithin(10000, [] { TBDPrint(TBDCT_LAST, TBDLT_INFO, "after the death"); });
  double ms = (Seconds() - start) * 1000;
  std::printf("the print took %.1f ms\n", ms);
  SetEvent(gReleaseReuser);
  if (reuser) {
    WaitForSingleObject(reuser, 30000);
    CloseHandle(reuser);
  }
  CloseHandle(gReleaseReuser);
  EXPECT_TRUE(printed);
  EXPECT_LT(ms, 1000);
  EXPECT_THAT(Contents(), HasSubstr(" i :   after the death\r\n"));
}

TEST_F(LogFixture, AssertionReports) {
  ASSERT_TRUE(Open());
  EXPECT_TRUE(TBDAssert(true, "fine", "a.txt", 1));
  EXPECT_FALSE(TBDAssert(false, "x > 0", "a.txt", 12));
  EXPECT_TRUE(Open());  // a second init reports itself
  TBDSetClassEnable(TBDCT_LAST, true);
  TBDSetTraceLevel(4, 0);
  EXPECT_FALSE(TBDAssert(false, "silent", "b.txt", 3));
  std::string text = Contents();
  EXPECT_THAT(text, HasSubstr(" E :   TBD : ASSERT FAILURE in \"a.txt\" at line 12 : x > 0\r\n"));
  EXPECT_THAT(text, HasSubstr(" : !btbdInitialized\r\n"));
  EXPECT_THAT(text, HasSubstr(" : tbtcType < TBDCT_LAST\r\n"));
  EXPECT_THAT(text, Not(HasSubstr("fine")));
  EXPECT_THAT(text, Not(HasSubstr("silent")));
}

TEST_F(LogFixture, ClassEnableChangesAreLogged) {
  ASSERT_TRUE(Open());
  TBDSetClassEnable(TBCT_READ, true);
  TBDSetClassEnable(-1, true);
  TBDShutdown();
  std::string text = Contents();
  EXPECT_THAT(text, HasSubstr(LinePrefix() + " t :   TBD : Class enable state change: TBCT_READ = true\r\n"));
  EXPECT_EQ(Count(text, "Class enable state change"), 1u);
}

TEST_F(LogFixture, DumpListsSettingsAndShowsOddLevelsAsNumbers) {
  ASSERT_TRUE(Open());
  TBDSetTraceLevel(7, 1);
  TBDSetTraceLevel(TBDOL_ERROR, 2);
  TBDSetClassEnable(TBCT_INFO, true);
  TBDDumpSettings();
  std::string text = Contents();
  const char* expected[] = {
      "TBD : DevuRezAzeve Settings\r\n",
      "TBD :   Output file name = \"",
      "TBD :   AssertsBreakIntoDebugger = true\r\n",
      "TBD :   OutputTickCount = false\r\n",
      "TBD :   OutputToFile = true\r\n",
      "TBD :   TraceLevelFile = 7\r\n",
      "TBD :   TraceLevelDebug = TBDOL_ERROR\r\n",
      "TBD :   Trace classes:\r\n",
      "TBD :     TBDCT_ALL = false\r\n",
      "TBD :     TBCT_INFO = true\r\n",
      "TBD :     TBCT_READ = false\r\n"};
  for (const char* line : expected) EXPECT_THAT(text, HasSubstr(line));
  EXPECT_LT(text.find("AssertsBreakIntoDebugger ="), text.find("OutputToFile ="));
}

}  // namespace
}  // namespace qeltest
