// Several processes appending to one log file.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "Handles.h"
#include "TestSupport.h"

namespace qeltest {
namespace {

HANDLE StartChild(const std::string& program, const std::string& args) {
  std::string cmd = "\"" + ProgramFolder() + "\\" + program + "\" " + args;
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

HANDLE StartWriter(const std::string& path, const char* tag, int count) {
  return StartChild("log_writer.exe", "\"" + path + "\" " + tag + " " + std::to_string(count));
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

// A process that opens the log with truncation while another one has sought to the end for
// its next line: the file is emptied before that line or after it, never under it, so no
// run of zero bytes stands where the old lines were.
TEST(LogProcesses, TruncatingOpenWaitsForAWriteUnderWay) {
  std::string path = TempFolder() + "\\race.log";
  std::string tag = std::to_string(GetCurrentProcessId());
  std::string soughtName = "QelLogSought" + tag, goName = "QelLogGo" + tag, openingName = "QelLogOpening" + tag;
  UniqueKernelHandle sought(CreateEventA(nullptr, TRUE, FALSE, soughtName.c_str()));
  UniqueKernelHandle go(CreateEventA(nullptr, TRUE, FALSE, goName.c_str()));
  UniqueKernelHandle opening(CreateEventA(nullptr, TRUE, FALSE, openingName.c_str()));
  UniqueKernelHandle holder(StartChild("log_race_child.exe", "hold \"" + path + "\" " + soughtName + " " + goName));
  ASSERT_TRUE(holder);
  ASSERT_EQ(WaitForSingleObject(sought.get(), 60000), WAIT_OBJECT_0);
  UniqueKernelHandle opener(StartChild("log_race_child.exe", "open \"" + path + "\" " + openingName));
  ASSERT_TRUE(opener);
  ASSERT_EQ(WaitForSingleObject(opening.get(), 60000), WAIT_OBJECT_0);
  // Time for the open to empty the file, were it not waiting for the holder's line.
  WaitForSingleObject(opener.get(), 2000);
  SetEvent(go.get());
  HANDLE both[2] = {holder.get(), opener.get()};
  ASSERT_EQ(WaitForMultipleObjects(2, both, TRUE, 60000), WAIT_OBJECT_0);
  for (HANDLE h : both) {
    DWORD code = 99;
    GetExitCodeProcess(h, &code);
    EXPECT_EQ(code, 0u);
  }

  std::string text = ReadFileBytes(path);
  EXPECT_EQ(text.find('\0'), std::string::npos) << "zero bytes from offset " << text.find('\0');
  EXPECT_NE(text.find(" Opener - "), std::string::npos);
  EXPECT_NE(text.find(" i :   after the open\r\n"), std::string::npos);
  // Emptied all the same: what the holder wrote before the open is gone.
  EXPECT_EQ(text.find("before the other open"), std::string::npos);
  EXPECT_EQ(text.find("held across the other open"), std::string::npos);
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
