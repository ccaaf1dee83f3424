// Debugger output of this process as a vectored handler sees it: OutputDebugString raises
// it as an exception, whose text the handler collects while a capture is alive.
#pragma once
#include <windows.h>

#include <string>

namespace qeltest {

class DebugOutputCapture {
 public:
  DebugOutputCapture() {
    Text().clear();
    handler_ = AddVectoredExceptionHandler(1, Collect);
  }
  ~DebugOutputCapture() { Stop(); }
  DebugOutputCapture(const DebugOutputCapture&) = delete;
  DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

  void Stop() {
    if (handler_) RemoveVectoredExceptionHandler(handler_);
    handler_ = nullptr;
  }
  // What was written since the capture began (the wide calls arrive converted).
  const std::string& text() const { return Text(); }

 private:
  static std::string& Text() {
    static std::string text;
    return text;
  }
  static LONG CALLBACK Collect(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode != DBG_PRINTEXCEPTION_C || r->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    Text().append(reinterpret_cast<const char*>(r->ExceptionInformation[1]));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  PVOID handler_ = nullptr;
};

}  // namespace qeltest
