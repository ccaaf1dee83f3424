// Log throughput against raw WriteFile and against the bare kernel calls each line makes,
// and the cost of one trace scope.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "FunctionTrace.h"
#include "devurezazeve.h"

namespace {

std::string ReadAll(const char* path) {
  std::string bytes;
  HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(f, nullptr));
  DWORD got = 0;
  ReadFile(f, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(f);
  return bytes;
}

LONG gTime, gCalls;
void __attribute__((noinline)) Scoped() { FunctionTrace t("CBench::Scoped", &gTime, &gCalls); }

double TraceNs(int calls) {
  double start = Seconds();
  for (int i = 0; i < calls; ++i) Scoped();
  return (Seconds() - start) * 1e9 / calls;
}

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string logPath = std::string(temp) + "log_bench.log";
  std::string rawPath = std::string(temp) + "log_bench.raw";

  TBDInit(logPath.c_str(), "Bench", 0x7FFFFFFF, true);
  double start = Seconds();
  for (int i = 0; i < lines; ++i) TBDPrint(TBDCT_LAST, TBDLT_INFO, "benchmark line %d with some payload text", i);
  double logSeconds = Seconds() - start;
  TBDShutdown();

  // The same bytes, one WriteFile per line.
  std::string bytes = ReadAll(logPath.c_str());
  std::vector<std::pair<size_t, size_t>> spans;
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find("\r\n", at);
    end = end == std::string::npos ? bytes.size() : end + 2;
    spans.emplace_back(at, end - at);
    at = end;
  }
  HANDLE raw = CreateFileA(rawPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  start = Seconds();
  for (const auto& s : spans) {
    DWORD written;
    WriteFile(raw, bytes.data() + s.first, static_cast<DWORD>(s.second), &written, nullptr);
  }
  double rawSeconds = Seconds() - start;
  CloseHandle(raw);

  // The same bytes through the kernel calls every line asks for: the alter-event poll, the
  // cross-process lock, the size check of rotation, the seek to the end and the write.
  HANDLE bare = CreateFileA(rawPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, "DevuRezAzeve_AlterEvent_BENCHBARE");
  start = Seconds();
  for (const auto& s : spans) {
    WaitForSingleObject(event, 0);
    OVERLAPPED tail = {};
    tail.Offset = 0xFFFFFFF0;
    tail.OffsetHigh = 0x7FFFFFFF;
    LockFileEx(bare, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &tail);
    LARGE_INTEGER size;
    GetFileSizeEx(bare, &size);
    SetFilePointer(bare, 0, nullptr, FILE_END);
    DWORD written;
    WriteFile(bare, bytes.data() + s.first, static_cast<DWORD>(s.second), &written, nullptr);
    UnlockFileEx(bare, 0, 1, 0, &tail);
  }
  double bareSeconds = Seconds() - start;
  CloseHandle(event);
  CloseHandle(bare);

  TBDInit(logPath.c_str(), "Bench", 0x7FFFFFFF, true);
  double disabledNs = TraceNs(1000000);
  TBDSetClassEnable(TBDCT_ALL_FUNCTIONS, true);
  TBDSetTraceLevel(TBDOL_TRACE, 0);
  double enabledNs = TraceNs(20000);
  TBDShutdown();
  DeleteFileA(logPath.c_str());
  DeleteFileA(rawPath.c_str());

  double logRate = lines / logSeconds;
  double rawRate = static_cast<double>(spans.size()) / rawSeconds;
  double bareRate = static_cast<double>(spans.size()) / bareSeconds;
  std::printf("TBDPrint:  %.0f lines/s (%d lines)\n", logRate, lines);
  std::printf("WriteFile: %.0f lines/s (%zu writes)\n", rawRate, spans.size());
  std::printf("bare line: %.0f lines/s (event poll, file lock, size, seek, write, unlock)\n", bareRate);
  std::printf("FunctionTrace scope: %.1f ns with its class disabled, %.0f ns enabled\n", disabledNs, enabledNs);
  std::printf("ratio TBDPrint/WriteFile: %.3f\n", logRate / rawRate);
  // Time per line of TBDPrint over that of the bare loop: the log's own cost (target 1.2).
  std::printf("ratio TBDPrint/bare line: %.3f\n", bareRate / logRate);
  return 0;
}
