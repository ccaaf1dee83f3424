// Trace scope: an entry line, and on leaving an exit line with the call's duration and
// the function's running totals of time and calls.
#pragma once
#include <windows.h>
#include <tchar.h>

class FunctionTrace {
 public:
  FunctionTrace(const TCHAR* name, LONG* totalTime, LONG* totalCalls);
  ~FunctionTrace();
  FunctionTrace(const FunctionTrace&) = delete;
  FunctionTrace& operator=(const FunctionTrace&) = delete;

 private:
  TCHAR name_[MAX_PATH];
  DWORD startTick_;
  LONG* totalTime_;
  LONG* totalCalls_;
};

// Opens a trace scope with the function's own pair of static counters.
#define FUNCTION_TRACE(name)                     \
  static LONG qelTraceTime_ = 0, qelTraceCalls_ = 0; \
  FunctionTrace qelTrace_(_T(name), &qelTraceTime_, &qelTraceCalls_)
