// Several processes appending to one log file.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "TestSupport.h"

namespace qeltest {
namespace {

HANDLE StartWriter(const std::string& path, const char* tag, int count) {
  std::string cmd = "\"" + ProgramFolder() + "\\log_writer.exe\" \"" + path + "\" " + tag + " " + std::to_string(count);
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

const std::string kText = " the quick brown fox jumps over the lazy dog\r";

TEST(LogProcesses, TwoWritersLoseNoLine) {
  std::string path = TempFolder() + "\\shared.log";
  DeleteFileA(path.c_str());
  HANDLE a = StartWriter(path, "A", 1000);
  HANDLE b = StartWriter(path, "B", 1000);
  ASSERT_TRUE(a && b);
  HANDLE both[2] = {a, b};
  ASSERT_EQ(WaitForMultipleObjects(2, both, TRUE, 120000), WAIT_OBJECT_0);
  for (HANDLE h : both) {
    DWORD code = 99;
    GetExitCodeProcess(h, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(h);
  }

  std::istringstream in(ReadFileBytes(path));
  std::set<std::string> seen;
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) {
    // A line may follow the other writer's footer, which ends without a line end.
    size_t start = line.find("Writer : ");
    if (start == std::string::npos) continue;
    line = line.substr(start);
    ++lines;
    size_t tag = line.find(" i :   ");
    ASSERT_NE(tag, std::string::npos) << line;
    std::string body = line.substr(tag + 7);
    ASSERT_EQ(body.size(), 6 + kText.size()) << "torn line: " << line;
    EXPECT_EQ(body.substr(6), kText);
    seen.insert(body.substr(0, 6));
  }
  EXPECT_EQ(lines, 2000);
  EXPECT_EQ(seen.size(), 2000u);
  EXPECT_EQ(seen.count("A-0000") + seen.count("A-0999") + seen.count("B-0000") + seen.count("B-0999"), 4u);
}

// ExitProcess ends every other thread first, so one may die inside a print; the library's
// DLL_PROCESS_DETACH then closes the log and must not wait for it.
TEST(LogProcesses, ExitWhileAThreadPrintsDoesNotHang) {
  std::string path = TempFolder() + "\\exit.log";
  std::string cmd = "\"" + ProgramFolder() + "\\log_exit_child.exe\" \"" + ProgramFolder() + "\\LogExitProbe.dll\" \"" +
                    path + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  bool ended = WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(pi.hProcess, 99);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  ASSERT_TRUE(ended) << "the process hung in its exit";
  EXPECT_EQ(code, 0u);
  std::string text = ReadFileBytes(path);
  EXPECT_NE(text.find(" i :   before the exit\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("held inside the print"), std::string::npos);
  EXPECT_NE(text.find("\r\n=======\r\nLog Ended"), std::string::npos) << text;
}

}  // namespace
}  // namespace qeltest
