// Helpers shared by the support library's tests.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "LogTestSeams.h"
#include "devurezazeve.h"

namespace qeltest {

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::string ProgramFolder();  // the test program's folder, without a trailing backslash
std::string TempFolder();     // a fresh folder for this test, without a trailing backslash
void DeleteTree(HKEY root, const char* subkey);
void SetDword(HKEY root, const char* subkey, const char* name, DWORD value);
void SetString(HKEY root, const char* subkey, const char* name, const char* text);
std::string TimeText(const SYSTEMTIME& t);
std::string DateText(const SYSTEMTIME& t);
std::string ThreadPrefix();  // "ID 0x%08x : " of the calling thread
size_t Count(const std::string& text, const std::string& part);

constexpr const char* kApp = "QelTest";
constexpr const char* kGlobalKey = "Software\\DevuRezAzeve";
constexpr const char* kAppKey = "Software\\DevuRezAzeve\\QelTest";
constexpr const char* kVendorKey = "Software\\Veltra Vazudari Inc";

// A closed log with built-in settings, a fixed clock, no override values and a fresh
// folder for the log file; everything is undone afterwards.
class LogFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Opens the log on path_ with the test's application name.
  bool Open(bool truncate = true, int32_t maxLogSize = 0);
  std::string Contents() const { return ReadFileBytes(path_); }
  // Prints a unique marker and tells whether it reached the file.
  bool Writes(int32_t cls, int32_t type);
  std::string Header() const;
  std::string Footer() const;
  std::string LinePrefix() const;  // "QelTest : <time>ID 0x... : "

  SYSTEMTIME time_{2026, 12, 4, 10, 2, 12, 7, 0};
  std::string folder_;
  std::string path_;
  int marker_ = 0;
};

}  // namespace qeltest
