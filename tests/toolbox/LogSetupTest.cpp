// Registry overrides, the alter event, TBDSetup and the log folder.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace qeltest {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Value {
  HKEY root;
  const char* key;
  DWORD value;
};

struct PrecedenceCase {
  const char* name;
  std::vector<Value> values;  // "TBCT_INFO" written at each place
  bool enabled;
};

class LogPrecedence : public LogFixture, public ::testing::WithParamInterface<PrecedenceCase> {};

TEST_P(LogPrecedence, UserOverMachineAndApplicationOverGlobal) {
  for (const Value& v : GetParam().values) SetDword(v.root, v.key, "TBCT_INFO", v.value);
  ASSERT_TRUE(Open());
  EXPECT_EQ(Writes(TBCT_INFO, TBDLT_ERROR), GetParam().enabled);
}

const HKEY CU = HKEY_CURRENT_USER;
const HKEY LM = HKEY_LOCAL_MACHINE;

INSTANTIATE_TEST_SUITE_P(Table, LogPrecedence, ::testing::Values(
    PrecedenceCase{"none", {}, false},
    PrecedenceCase{"machine_global", {{LM, kGlobalKey, 1}}, true},
    PrecedenceCase{"user_over_machine", {{LM, kGlobalKey, 1}, {CU, kGlobalKey, 0}}, false},
    PrecedenceCase{"user_global", {{CU, kGlobalKey, 1}}, true},
    PrecedenceCase{"machine_app_over_user_global", {{CU, kGlobalKey, 0}, {LM, kAppKey, 1}}, true},
    PrecedenceCase{"user_app_over_machine_app", {{LM, kAppKey, 1}, {CU, kAppKey, 0}}, false},
    PrecedenceCase{"app_over_global", {{CU, kGlobalKey, 1}, {CU, kAppKey, 0}}, false},
    PrecedenceCase{"any_nonzero", {{CU, kAppKey, 2}}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogFixture, LevelTextsLaterValuesWin) {
  SetString(HKEY_CURRENT_USER, kAppKey, "TraceLevel", "tbdol_trace");
  SetString(HKEY_CURRENT_USER, kAppKey, "TraceLevelFile", "TBDOL_ERROR");
  SetString(HKEY_CURRENT_USER, kGlobalKey, "TraceLevelDebug", "TBDOL_INFORMATION");  // global, read first
  ASSERT_TRUE(Open());
  TBDDumpSettings();
  std::string text = Contents();
  EXPECT_THAT(text, HasSubstr("TBD :   TraceLevelFile = TBDOL_ERROR\r\n"));
  EXPECT_THAT(text, HasSubstr("TBD :   TraceLevelDebug = TBDOL_TRACE\r\n"));
}

TEST_F(LogFixture, UnknownLevelTextChangesNothing) {
  SetString(HKEY_CURRENT_USER, kAppKey, "TraceLevel", "TBDOL_LOUD");
  SetString(HKEY_CURRENT_USER, kAppKey, "TraceLevelAll", "");
  ASSERT_TRUE(Open());
  TBDDumpSettings();
  EXPECT_THAT(Contents(), HasSubstr("TBD :   TraceLevelFile = TBDOL_NONE\r\n"));
  EXPECT_THAT(Contents(), HasSubstr("TBD :   TraceLevelDebug = TBDOL_NONE\r\n"));
}

TEST_F(LogFixture, OutputToFileCannotBeEnabledWhenInitiallyDisabled) {
  SetDword(HKEY_CURRENT_USER, kGlobalKey, "OutputToFile", 0);
  SetDword(HKEY_CURRENT_USER, kAppKey, "OutputToFile", 1);
  EXPECT_TRUE(Open());
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "no file");
  EXPECT_FALSE(FileExists(path_));
}

TEST_F(LogFixture, OutputToFileMaySwitchOffAndOnWhileAFileExists) {
  ASSERT_TRUE(Open());
  SetDword(HKEY_CURRENT_USER, kAppKey, "OutputToFile", 0);
  TBDApplyRegistryOverrides();
  EXPECT_FALSE(Writes(TBDCT_LAST, TBDLT_ERROR));
  SetDword(HKEY_CURRENT_USER, kAppKey, "OutputToFile", 1);
  TBDApplyRegistryOverrides();
  EXPECT_TRUE(Writes(TBDCT_LAST, TBDLT_ERROR));
  EXPECT_THAT(Contents(), Not(HasSubstr("can NOT be enabled")));
}

TEST_F(LogFixture, OutputDateTimeInHeaderCannotBeChanged) {
  SetDword(HKEY_CURRENT_USER, kGlobalKey, "OutputDateTimeInHeader", 0);
  ASSERT_TRUE(Open());
  TBDApplyRegistryOverrides();
  TBDShutdown();
  std::string text = Contents();
  EXPECT_EQ(text.substr(0, Header().size()), Header());
  EXPECT_THAT(text, HasSubstr(LinePrefix() +
                              " E :   TBD : \"OutputDateTimeInHeader\" can NOT be enabled or disabled from the registry\r\n"));
  EXPECT_EQ(text.substr(text.size() - Footer().size()), Footer());
}

TEST_F(LogFixture, OneAlterSignalCausesExactlyOneReRead) {
  ASSERT_TRUE(Open());
  SetDword(HKEY_CURRENT_USER, kAppKey, "TBCT_INFO", 1);
  EXPECT_FALSE(Writes(TBCT_INFO, TBDLT_ERROR));  // not re-read without a signal

  HANDLE alter = OpenEventA(EVENT_MODIFY_STATE, FALSE, "DevuRezAzeve_AlterEvent_QELTEST");
  ASSERT_NE(alter, nullptr) << "the event name is the upper-cased application name";
  SetEvent(alter);
  EXPECT_TRUE(Writes(TBCT_INFO, TBDLT_ERROR));  // the first call re-reads

  SetDword(HKEY_CURRENT_USER, kAppKey, "TBCT_INFO", 0);
  EXPECT_TRUE(Writes(TBCT_INFO, TBDLT_ERROR));  // one signal, one re-read
  SetEvent(alter);
  EXPECT_FALSE(Writes(TBCT_INFO, TBDLT_ERROR));
  CloseHandle(alter);
}

TEST_F(LogFixture, ReadingOverridesLeavesTheKeysCreated) {
  ASSERT_TRUE(Open());
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    for (const char* key : {kGlobalKey, kAppKey}) {
      HKEY k;
      EXPECT_EQ(RegOpenKeyExA(root, key, 0, KEY_READ, &k), ERROR_SUCCESS) << key;
      RegCloseKey(k);
    }
}

// TBDSetup writes into the log folder under USERPROFILE.
class LogSetupFixture : public LogFixture {
 protected:
  void SetUp() override {
    LogFixture::SetUp();
    char saved[MAX_PATH] = {};
    GetEnvironmentVariableA("USERPROFILE", saved, MAX_PATH);
    savedProfile_ = saved;
    profile_ = folder_ + "\\profile";
    SetEnvironmentVariableA("USERPROFILE", profile_.c_str());
    logFolder_ = profile_ + "\\Application Data\\Veltra Vazudari\\Logs\\";
    path_ = logFolder_ + "QelTest.log";
  }
  void TearDown() override {
    LogFixture::TearDown();
    SetEnvironmentVariableA("USERPROFILE", savedProfile_.c_str());
  }
  std::string savedProfile_, profile_, logFolder_;
};

TEST_F(LogSetupFixture, LogFolderChainIsCreatedWhole) {
  char dir[MAX_PATH] = "junk";
  ASSERT_TRUE(TBDGetLogDirectory(dir));
  EXPECT_EQ(std::string(dir), logFolder_);
  EXPECT_TRUE(GetFileAttributesA(logFolder_.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(TBDGetLogDirectory(dir)) << "an existing folder is fine";
}

TEST_F(LogSetupFixture, NoProfileGivesNoFolder) {
  SetEnvironmentVariableA("USERPROFILE", nullptr);
  char dir[MAX_PATH] = "junk";
  EXPECT_FALSE(TBDGetLogDirectory(dir));
  EXPECT_EQ(dir[0], 0);
}

TEST_F(LogSetupFixture, DefaultSettingsGiveTheServiceStartOfLog) {
  LogSettings service{TBDOL_NONE, 0, 0, 1, 0, 1000000, HKEY_LOCAL_MACHINE};
  EXPECT_EQ(TBDSetup("QelTest.log", kApp, true, &service), 1);
  TBDPrint(TBCT_INFO, TBDLT_ERROR, "error line");
  TBDPrint(TBCT_INFO, TBDLT_INFO, "info line");
  TBDPrint(TBDCT_ALL_FUNCTIONS, TBDLT_FUNCTION, "function line");
  std::string p = LinePrefix();
  std::string t = p + " t :   TBD : Class enable state change: ";
  EXPECT_EQ(Contents(), Header() +
                                     t + "TBDCT_ALL_FUNCTIONS = false\r\n" +
                                     t + "TBDCT_ALL_MEMORY = false\r\n" +
                                     t + "TBCT_INFO = true\r\n" +
                                     t + "TBCT_READ = false\r\n" +
                                     p + " i :   Apply TBD logging registry over-rides\r\n" +
                                     p + " E :   error line\r\n");
}

TEST_F(LogSetupFixture, RegistryWinsOverTheRecord) {
  SetDword(HKEY_CURRENT_USER, kAppKey, "TBCT_INFO", 0);
  EXPECT_EQ(TBDSetup("QelTest.log", kApp, true, nullptr), 1);
  EXPECT_TRUE(Writes(TBDCT_LAST, TBDLT_ERROR));
  EXPECT_FALSE(Writes(TBCT_INFO, TBDLT_ERROR));
}

// Test folders are named after the process id, which comes round again in later runs.
TEST(TestFolders, StartEmptyEvenWhenAnEarlierRunLeftFiles) {
  std::string folder = TempFolder();
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  WriteFileBytes(folder + "\\sub\\left.log", "left");
  WriteFileBytes(folder + "\\left.log", "left");
  EXPECT_EQ(TempFolder(), folder);
  EXPECT_FALSE(FileExists(folder + "\\left.log"));
  EXPECT_FALSE(FileExists(folder + "\\sub"));
}

TEST_F(LogSetupFixture, ReportsALogThatCouldNotBeOpened) {
  std::string missing = folder_ + "\\missing\\x.log";
  SetString(HKEY_CURRENT_USER, kAppKey, "OutputFileName", missing.c_str());
  EXPECT_EQ(TBDSetup("QelTest.log", kApp, true, nullptr), 0);
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "nowhere");
  TBDShutdown();
  // the log stays closed: no file at the registry's path nor at the one asked for
  EXPECT_FALSE(FileExists(missing));
  EXPECT_FALSE(FileExists(path_));
  // and opens normally once the path is usable
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kAppKey, "OutputFileName");
  EXPECT_EQ(TBDSetup("QelTest.log", kApp, true, nullptr), 1);
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "somewhere");
  EXPECT_THAT(Contents(), HasSubstr(" E :   somewhere\r\n"));
}

}  // namespace
}  // namespace qeltest
