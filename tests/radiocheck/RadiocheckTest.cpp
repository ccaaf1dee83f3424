// The check program's exit code: the registry switch, the command line, and the answers
// of a scripted client library; then once against the built library and the service.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "Handles.h"
#include "QelVxWmiIds.h"
#include "ServerProcess.h"

namespace {

using qeltest::BinDir;
using qeltest::RunProgram;

constexpr DWORD kPresent = 0;
constexpr DWORD kNotPresent = 0xFFFFFFFF;  // exit code -1
constexpr char kSwitchKey[] = "Software\\Veltra Vazudari\\LP2240\\VX";

enum class Gate { kNoKey, kNoValue, kOff, kOn, kShortZero, kLongZero };
enum class Library { kStub, kNoGetPower, kMissingFile, kEmptyLine };

void SetGate(Gate gate) {
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSwitchKey);
  if (gate == Gate::kNoKey) return;
  UniqueRegKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSwitchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  const BYTE zeros[8] = {};
  DWORD value = gate == Gate::kOn ? 1 : 0;
  switch (gate) {
    case Gate::kOff:
    case Gate::kOn:
      RegSetValueExA(key.get(), "Device_Check", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value);
      break;
    case Gate::kShortZero:
      RegSetValueExA(key.get(), "Device_Check", 0, REG_BINARY, zeros, 1);
      break;
    case Gate::kLongZero:
      RegSetValueExA(key.get(), "Device_Check", 0, REG_BINARY, zeros, 8);
      break;
    default:
      break;
  }
}

std::string CallsFile() {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "radiocheck_calls.txt";
}

std::string ReadCalls() {
  std::ifstream in(CallsFile());
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Radiocheck : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("STUB_CALLS", CallsFile().c_str());
    DeleteFileA(CallsFile().c_str());
  }
  void TearDown() override {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kSwitchKey);
    for (const char* name : {"STUB_CALLS", "STUB_INIT", "STUB_RESULT", "STUB_STATE"})
      SetEnvironmentVariableA(name, nullptr);
  }
  DWORD Run(const std::string& commandLine) { return RunProgram(BinDir() + "radiocheck.exe", commandLine); }
};

struct CheckCase {
  const char* name;
  Gate gate;
  Library library;
  const char* init;
  const char* result;
  const char* state;
  DWORD want;
  const char* wantCalls;
};
void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class ExitCode : public Radiocheck, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ExitCode, FollowsTheSwitchAndTheLibrary) {
  const CheckCase& c = GetParam();
  SetGate(c.gate);
  SetEnvironmentVariableA("STUB_INIT", c.init);
  SetEnvironmentVariableA("STUB_RESULT", c.result);
  SetEnvironmentVariableA("STUB_STATE", c.state);
  std::string line;
  switch (c.library) {
    case Library::kStub: line = BinDir() + "StubClient.dll"; break;
    case Library::kNoGetPower: line = BinDir() + "StubClientNoGetPower.dll"; break;
    case Library::kMissingFile: line = BinDir() + "NoSuchClient.dll"; break;
    case Library::kEmptyLine: break;
  }
  EXPECT_EQ(Run(line), c.want);
  EXPECT_EQ(ReadCalls(), c.wantCalls);
}

const char kAllCalls[] = "Initialize\nGetPower\nUnInitialize\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitCode,
    ::testing::Values(
        CheckCase{"SwitchedOffWithAMissingFile", Gate::kOff, Library::kMissingFile, "0", "0", "1", kPresent, ""},
        CheckCase{"SwitchedOffWithAnEmptyLine", Gate::kOff, Library::kEmptyLine, "0", "0", "1", kPresent, ""},
        CheckCase{"SwitchedOffByAShortValue", Gate::kShortZero, Library::kStub, "0", "0", "4", kPresent, ""},
        CheckCase{"ValueTooLongToRead", Gate::kLongZero, Library::kStub, "0", "0", "4", kNotPresent, kAllCalls},
        CheckCase{"SwitchedOnOn", Gate::kOn, Library::kStub, "0", "0", "1", kPresent, kAllCalls},
        CheckCase{"NoKeyOff", Gate::kNoKey, Library::kStub, "0", "0", "2", kPresent, kAllCalls},
        CheckCase{"NoValueDisabled", Gate::kNoValue, Library::kStub, "0", "0", "3", kPresent, kAllCalls},
        CheckCase{"NotInstalled", Gate::kOn, Library::kStub, "0", "0", "4", kNotPresent, kAllCalls},
        CheckCase{"UnknownStateWithSuccess", Gate::kOn, Library::kStub, "0", "0", "0", kPresent, kAllCalls},
        CheckCase{"PowerFailed", Gate::kOn, Library::kStub, "0", "5", "1", kNotPresent, kAllCalls},
        CheckCase{"PowerNotAvailable", Gate::kOn, Library::kStub, "0", "600", "1", kNotPresent, kAllCalls},
        CheckCase{"OnlyLowBitsOfTheResultCount", Gate::kOn, Library::kStub, "0", "0x10000", "1", kPresent, kAllCalls},
        CheckCase{"NegativeInitialise", Gate::kOn, Library::kStub, "0x80004005", "0", "1", kNotPresent,
                  "Initialize\nUnInitialize\n"},
        CheckCase{"PositiveInitialise", Gate::kOn, Library::kStub, "1", "0", "1", kPresent, kAllCalls},
        CheckCase{"MissingExport", Gate::kOn, Library::kNoGetPower, "0", "0", "1", kNotPresent, ""},
        CheckCase{"MissingFile", Gate::kNoKey, Library::kMissingFile, "0", "0", "1", kNotPresent, ""},
        CheckCase{"EmptyLine", Gate::kNoKey, Library::kEmptyLine, "0", "0", "1", kNotPresent, ""}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

TEST_F(Radiocheck, LineThatDoesNotFitThePathBufferEndsAtOnce) {
  // A copy of the stub whose path is 259 characters, the most the buffer holds.
  const std::string name = "\\StubClient.dll";
  std::string folder = BinDir() + std::string(259 - BinDir().size() - name.size(), 'd');
  std::string path = folder + name;
  ASSERT_EQ(path.size(), 259u);
  CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BinDir() + "StubClient.dll").c_str(), path.c_str(), FALSE));
  SetGate(Gate::kOn);
  EXPECT_EQ(Run(path), kPresent);
  EXPECT_EQ(ReadCalls(), kAllCalls);
  DeleteFileA(CallsFile().c_str());
  EXPECT_EQ(Run("\"" + path + "\""), kPresent);  // the quotes are not part of the path
  EXPECT_EQ(ReadCalls(), kAllCalls);
  DeleteFileA(CallsFile().c_str());
  EXPECT_EQ(Run(path + "x"), kNotPresent);
  EXPECT_EQ(Run("\"" + path + "x\""), kNotPresent);
  EXPECT_EQ(Run(std::string(300, 'x')), kNotPresent);
  EXPECT_EQ(ReadCalls(), "");
  DeleteFileA(path.c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST_F(Radiocheck, SwitchedOffAnswersBeforeLookingAtTheLine) {
  SetGate(Gate::kOff);
  for (const std::string& line : {std::string(259, 'x'), std::string(260, 'x'), std::string(1000, 'x'),
                                  "\"" + std::string(300, 'x') + "\"  "})
    EXPECT_EQ(Run(line), kPresent) << line.size();
  EXPECT_EQ(ReadCalls(), "");
}

TEST_F(Radiocheck, PathWithBlanksQuotedOrNot) {
  std::string folder = BinDir() + "client with blanks";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string path = folder + "\\StubClient.dll";
  ASSERT_TRUE(CopyFileA((BinDir() + "StubClient.dll").c_str(), path.c_str(), FALSE));
  SetGate(Gate::kNoKey);
  EXPECT_EQ(Run("\"" + path + "\""), kPresent);
  EXPECT_EQ(ReadCalls(), kAllCalls);
  DeleteFileA(CallsFile().c_str());
  EXPECT_EQ(Run(path), kPresent);
  EXPECT_EQ(ReadCalls(), kAllCalls);
  DeleteFileA(CallsFile().c_str());
  EXPECT_EQ(Run("\"" + path + "\"  \t "), kPresent);  // blanks after the closing quote go with it
  EXPECT_EQ(ReadCalls(), kAllCalls);
  DeleteFileA(CallsFile().c_str());
  EXPECT_EQ(Run("\"" + path), kNotPresent);  // one quote only is kept as part of the path
  EXPECT_EQ(ReadCalls(), "");
  EXPECT_EQ(Run("\"" + path + "\" x"), kNotPresent);  // a word after the quotes: the line is the path
  EXPECT_EQ(ReadCalls(), "");
}

// The built client library of this architecture against the 64-bit service.
std::string X64Dir() { return sizeof(void*) == 8 ? BinDir() : BinDir() + "..\\..\\x64\\bin\\"; }

TEST_F(Radiocheck, RealLibraryAgainstTheService) {
  ASSERT_TRUE(qeltest::WaitServersGone());
  ASSERT_EQ(RunProgram(X64Dir() + "sim\\QelVxWmi.exe", "-RegServer"), 0u);
#if !defined(_WIN64)
  ASSERT_TRUE(qeltest::RegisterFor32BitClients());  // by the registration above
#endif
  SetGate(Gate::kNoKey);
  EXPECT_EQ(Run(BinDir() + "QelVxAux.dll"), kPresent);
  EXPECT_TRUE(qeltest::WaitServersGone());

  // Without firmware the service answers 600: not present.
  ASSERT_EQ(RunProgram(X64Dir() + "QelVxWmi.exe", "-RegServer"), 0u);
  EXPECT_EQ(Run(BinDir() + "QelVxAux.dll"), kNotPresent);
  EXPECT_TRUE(qeltest::WaitServersGone());
  ASSERT_EQ(RunProgram(X64Dir() + "sim\\QelVxWmi.exe", "-RegServer"), 0u);
}

}  // namespace
