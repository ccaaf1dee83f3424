#include "TestSupport.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace qeltest {

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.rfind('\\'));
}

namespace {
// Removes a folder with everything in it.
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}
}  // namespace

std::string TempFolder() {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(base) + "qeltest_" + std::to_string(GetCurrentProcessId()) + "_" +
                     (info ? std::string(info->test_suite_name()) + "_" + info->name() : "x");
  for (char& c : name)
    if (c == '/') c = '_';
  // Process ids come round again: what an earlier run left under this name goes first.
  RemoveTree(name);
  CreateDirectoryA(name.c_str(), nullptr);
  return name;
}

void DeleteTree(HKEY root, const char* subkey) { RegDeleteTreeA(root, subkey); RegDeleteKeyA(root, subkey); }

void SetDword(HKEY root, const char* subkey, const char* name, DWORD value) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  RegCloseKey(key);
}

void SetString(HKEY root, const char* subkey, const char* name, const char* text) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(root, subkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
  RegCloseKey(key);
}

std::string TimeText(const SYSTEMTIME& t) {
  char buf[128] = {};
  GetTimeFormatA(0, 0, &t, nullptr, buf, 128);
  return buf;
}

std::string DateText(const SYSTEMTIME& t) {
  char buf[128] = {};
  GetDateFormatA(0, DATE_LONGDATE, &t, nullptr, buf, 128);
  return buf;
}

std::string ThreadPrefix() {
  char buf[32];
  std::snprintf(buf, sizeof(buf), "ID 0x%08lx : ", GetCurrentThreadId());
  return buf;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

void LogFixture::SetUp() {
  TBDShutdown();
  TBDTestReset();
  TBDTestSetTime(&time_);
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) DeleteTree(root, kGlobalKey);
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kVendorKey, "enable encrypt");
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kVendorKey, "enable encrypt");
  folder_ = TempFolder();
  path_ = folder_ + "\\test.log";
  DeleteFileA(path_.c_str());
  DeleteFileA((path_ + "_BACKUP").c_str());
}

void LogFixture::TearDown() {
  TBDShutdown();
  TBDTestSetTime(nullptr);
  TBDTestReset();
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) DeleteTree(root, kGlobalKey);
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kVendorKey, "enable encrypt");
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kVendorKey, "enable encrypt");
}

bool LogFixture::Open(bool truncate, int32_t maxLogSize) {
  return TBDInit(path_.c_str(), kApp, maxLogSize, truncate);
}

bool LogFixture::Writes(int32_t cls, int32_t type) {
  std::string marker = "marker-" + std::to_string(++marker_) + ";";
  TBDPrint(cls, type, "%s", marker.c_str());
  return Contents().find(marker) != std::string::npos;
}

std::string LogFixture::Header() const {
  return "\r\n\r\n======= " + std::string(kApp) + " - " + DateText(time_) + " " + TimeText(time_) + " =======\r\n";
}

std::string LogFixture::Footer() const {
  return "\r\n=======\r\nLog Ended " + DateText(time_) + " " + TimeText(time_);
}

std::string LogFixture::LinePrefix() const {
  return std::string(kApp) + " : " + TimeText(time_) + ThreadPrefix();
}

}  // namespace qeltest
