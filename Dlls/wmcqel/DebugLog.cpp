#include "DebugLog.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "CriticalSection.h"
#include "DebugLogTestSeams.h"

namespace {

CriticalSection g_lock;  // made when the library loads; taken by nothing else
std::atomic<DebugLogClock> g_clock{nullptr};
std::atomic<DebugLogSink> g_sink{nullptr};

constexpr size_t kLineBuffer = 4096;
constexpr size_t kFormatLimit = 1024;  // what wvsprintfA writes at most
constexpr size_t kPrefix = 4 + 7;      // four blanks and the stamp "ss.mmm "

DWORD Now() {
  DebugLogClock clock = g_clock.load();
  return clock ? clock() : GetTickCount();
}

}  // namespace

void SetDebugLogClock(DebugLogClock clock) { g_clock = clock; }
void SetDebugLogSink(DebugLogSink sink) { g_sink = sink; }

std::string DebugLogTimestamp() {
  DWORD t = Now();
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02u.%03u ", static_cast<unsigned>(t / 1000 % 100),
                static_cast<unsigned>(t % 1000));
  return stamp;
}

void DebugLog(const char* format, ...) {
  CriticalSectionLock hold(g_lock);
  char line[kLineBuffer] = "    ";
  std::string stamp = DebugLogTimestamp();
  lstrcpynA(line + 4, stamp.c_str(), static_cast<int>(kPrefix - 4 + 1));
  va_list args;
  va_start(args, format);
  wvsprintfA(line + kPrefix, format, args);
  va_end(args);
  line[kPrefix + kFormatLimit] = '\0';  // the cut holds whatever the formatter did at its limit
  DebugLogSink sink = g_sink.load();
  if (sink)
    sink(line);
  else
    OutputDebugStringA(line);
}
