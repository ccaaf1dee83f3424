// The wide builds of the log (the module's, and with TBD_OLDER_BUILD the older module's):
// the bytes they write. The narrow and wide libraries define the same names, so each build
// has a test program of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "DebugOutputCapture.h"
#include "LogTestSeams.h"
#include "Registry.h"
#include "devurezazeve.h"

namespace {

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Ansi(const wchar_t* text) {
  char out[256];
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, nullptr);
  return n > 0 ? std::string(out, static_cast<size_t>(n - 1)) : "";
}

const wchar_t* const kAppKey = L"Software\\DevuRezAzeve\\WideTest";

class WideLog : public ::testing::Test {
 protected:
  void SetUp() override {
    TBDTestReset();
    TBDTestSetTime(&time_);
    RegDeleteKeyW(HKEY_CURRENT_USER, kAppKey);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"wide_log_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    DeleteFileW(path_.c_str());
    DeleteFileW((path_ + L"_BACKUP").c_str());
  }
  void TearDown() override {
    TBDEnd();
    TBDTestSetTime(nullptr);
    TBDTestReset();
    RegDeleteKeyW(HKEY_CURRENT_USER, kAppKey);
    DeleteFileW(path_.c_str());
    DeleteFileW((path_ + L"_BACKUP").c_str());
  }
  bool Open(int32_t maxLogSize = 0) {
    if (!TBDInit(path_.c_str(), L"WideTest", maxLogSize, true)) return false;
    for (int32_t cls = TBDCT_ALL; cls <= TBCT_READ; ++cls) TBDSetClassEnable(cls, true);
    TBDSetTraceLevel(TBDOL_TRACE, 0);
    return true;
  }
  std::string Time() {
    wchar_t t[128];
    GetTimeFormatW(0, 0, &time_, nullptr, t, 128);
    return Ansi(t);
  }
  std::string Date() {
    wchar_t d[128];
    GetDateFormatW(0, DATE_LONGDATE, &time_, nullptr, d, 128);
    return Ansi(d);
  }
  std::string ThreadPrefix() {
    char p[32];
#ifdef TBD_OLDER_BUILD
    std::snprintf(p, sizeof p, "ID 0x%08x : ", static_cast<unsigned>(GetCurrentThreadId()));
#else
    std::snprintf(p, sizeof p, " 0x%08x : ", static_cast<unsigned>(GetCurrentThreadId()));
#endif
    return p;
  }

  SYSTEMTIME time_{2026, 12, 4, 10, 2, 12, 7, 0};
  std::wstring path_;
};

TEST_F(WideLog, HeaderLineAndFooterBytes) {
  ASSERT_TRUE(Open());
  std::string before = ReadBytes(path_);
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"value %s = %d", L"x", 5);
  TBDEnd();
  std::string bytes = ReadBytes(path_);
  std::string header = "\r\n\r\n======= WideTest - " + Date() + " " + Time() + " =======\r\n";
  ASSERT_EQ(bytes.substr(0, header.size()), header);
  std::string line = "WideTest : " + Time() + ThreadPrefix() + " E :   value x = 5\r\n";
  EXPECT_NE(bytes.find(line), std::string::npos) << bytes;
  std::string footer = "\r\n=======\r\nLog Ended " + Date() + " " + Time();
  EXPECT_EQ(bytes.substr(bytes.size() - footer.size()), footer);
  (void)before;
}

TEST_F(WideLog, WideTextIsWrittenAsAnsiBytes) {
  ASSERT_TRUE(Open());
  TBDPrint(TBDCT_LAST, TBDLT_INFO, L"[%s]", L"caf\u00e9 \u4e2d\u6587");
  TBDEnd();
  std::string expected = "[" + Ansi(L"caf\u00e9 \u4e2d\u6587") + "]\r\n";
  std::string bytes = ReadBytes(path_);
  EXPECT_NE(bytes.find(expected), std::string::npos);
  EXPECT_EQ(bytes.find('\0'), std::string::npos) << "no wide characters in the file";
}

TEST_F(WideLog, LongMessageIsCutAt1024Characters) {
  ASSERT_TRUE(Open());
  std::wstring text(3000, L'w');
  TBDPrint(TBDCT_LAST, TBDLT_INFO, L"%s", text.c_str());
  TBDEnd();
  std::string bytes = ReadBytes(path_);
  size_t w = bytes.find("wwww");
  ASSERT_NE(w, std::string::npos);
  size_t start = bytes.rfind("\r\n", w) + 2;
  size_t end = bytes.find("\r\n=======", w);  // the cut line has no line end of its own
  ASSERT_NE(end, std::string::npos);
  // The line buffer holds 1,024 characters with its terminator.
  EXPECT_EQ(end - start, 1023u);
  EXPECT_EQ(bytes.substr(w, end - w).find_first_not_of('w'), std::string::npos);
}

TEST_F(WideLog, DebuggerOutputOnlyInTheOlderBuild) {
  ASSERT_TRUE(Open());
  TBDSetClassEnable(TBCT_READ, false);
  qeltest::DebugOutputCapture debugOutput;
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"passing %s", L"line");
  TBDPrint(TBCT_READ, TBDLT_INFO, L"dropped line");
  debugOutput.Stop();
  TBDEnd();
  std::string line = "WideTest : " + Time() + ThreadPrefix() + " i :   passing line\r\n";
  EXPECT_NE(ReadBytes(path_).find(line), std::string::npos);
#ifdef TBD_OLDER_BUILD
  EXPECT_EQ(debugOutput.text(), line) << "every passing line, and only those";
#else
  EXPECT_EQ(debugOutput.text(), "");
#endif
}

#ifndef TBD_OLDER_BUILD
TEST_F(WideLog, RegistryOverridesApplyAtInit) {
  ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, kAppKey, L"TBCT_READ", 1));
  ASSERT_TRUE(TBDInit(path_.c_str(), L"WideTest", 0, true));
  TBDSetTraceLevel(TBDOL_TRACE, 0);
  TBDPrint(TBCT_READ, TBDLT_INFO, L"read line");
  TBDEnd();
  EXPECT_NE(ReadBytes(path_).find("read line"), std::string::npos);
}

TEST_F(WideLog, ClassChangeLineIsInformation) {
  ASSERT_TRUE(TBDInit(path_.c_str(), L"WideTest", 0, true));
  TBDSetTraceLevel(TBDOL_TRACE, 0);
  TBDSetClassEnable(TBDCT_ALL, true);  // printed as class 4: still off
  TBDSetClassEnable(TBCT_INFO, true);
  TBDEnd();
  std::string bytes = ReadBytes(path_);
  EXPECT_EQ(bytes.find("TBDCT_ALL = true"), std::string::npos);
  EXPECT_NE(bytes.find(" i :   TBD : Class enable state change: TBCT_INFO = true"), std::string::npos);
}
#else
TEST_F(WideLog, OlderBuildReadsTheRegistryOnlyOnTheAlterEventAndDumpsAfter) {
  ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, kAppKey, L"TBCT_READ", 0));
  ASSERT_TRUE(Open());
  TBDPrint(TBCT_READ, TBDLT_INFO, L"before the event");
  HANDLE alter = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"DevuRezAzeve_AlterEvent_WIDETEST");
  ASSERT_NE(alter, nullptr);
  SetEvent(alter);
  CloseHandle(alter);
  TBDPrint(TBCT_READ, TBDLT_INFO, L"after the event");
  TBDEnd();
  std::string bytes = ReadBytes(path_);
  EXPECT_NE(bytes.find("before the event"), std::string::npos) << "no overrides at init";
  EXPECT_EQ(bytes.find("after the event"), std::string::npos) << "the re-read disabled the class";
  EXPECT_NE(bytes.find("TBD : DevuRezAzeve Settings"), std::string::npos) << "the dump follows the re-read";
}

TEST_F(WideLog, OlderBuildClassChangeLinePassesAlwaysAndMaxLogSizeIsNotRead) {
  ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, kAppKey, L"MaxLogSize", 100));
  ASSERT_TRUE(TBDInit(path_.c_str(), L"WideTest", 0, true));
  TBDSetClassEnable(TBDCT_ALL, true);  // class 6: passes with every class and level off
  HANDLE alter = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"DevuRezAzeve_AlterEvent_WIDETEST");
  ASSERT_NE(alter, nullptr);
  SetEvent(alter);
  CloseHandle(alter);
  for (int i = 0; i < 10; ++i) TBDPrint(TBDCT_LAST, TBDLT_INFO, L"line %d of some length to fill", i);
  TBDEnd();
  std::string bytes = ReadBytes(path_);
  EXPECT_NE(bytes.find(" t :   TBD : Class enable state change: TBDCT_ALL = true"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("line 0 of"), std::string::npos) << "no rotation at a size read from the registry";
  EXPECT_EQ(GetFileAttributesW((path_ + L"_BACKUP").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WideLog, OlderBuildRotatesAlsoForDroppedLines) {
  ASSERT_TRUE(Open(2000));
  for (int i = 0; i < 40; ++i) TBDPrint(TBDCT_LAST, TBDLT_INFO, L"line %d of some length to fill", i);
  TBDSetClassEnable(TBCT_READ, false);
  DeleteFileW((path_ + L"_BACKUP").c_str());
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFilePointer(file, 0, nullptr, FILE_END);
  std::string filler(3000, '.');
  DWORD written = 0;
  WriteFile(file, filler.data(), static_cast<DWORD>(filler.size()), &written, nullptr);
  CloseHandle(file);
  TBDPrint(TBCT_READ, TBDLT_INFO, L"dropped");  // a disabled class: still checks the size
  EXPECT_NE(GetFileAttributesW((path_ + L"_BACKUP").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_LT(ReadBytes(path_).size(), 2000u);
}
#endif

}  // namespace
