// A worker thread started with its own stop event, stopped by setting it and waiting.
#pragma once
#include <windows.h>
#include <cstdint>

#include "Handles.h"

class StoppableThread {
 public:
  // Runs on the new thread; it should return once stopEvent is set. Its result is the
  // thread's exit code.
  using ThreadFunction = uint32_t (*)(UINT_PTR userData, HANDLE stopEvent);

  StoppableThread(ThreadFunction function, UINT_PTR userData, DWORD stopTimeout)
      : function_(function), userData_(userData), stopTimeout_(stopTimeout) {}
  ~StoppableThread() { Stop(); }
  StoppableThread(const StoppableThread&) = delete;
  StoppableThread& operator=(const StoppableThread&) = delete;

  // Refused while a thread is held (until Stop).
  bool Start();
  // True when the thread ended within the time-out or there was none. Either way the
  // object lets go of the thread; one that outlives the time-out keeps its own stop
  // event handle until it ends.
  bool Stop();
  // The running thread, or NULL.
  HANDLE GetThreadHandle() const { return thread_.get(); }

 private:
  struct StartBlock {
    ThreadFunction function;
    UINT_PTR userData;
    HANDLE stopEvent;  // the thread's own duplicate, closed by the thread
  };
  static DWORD WINAPI ThreadProc(void* block);

  ThreadFunction function_;
  UINT_PTR userData_;
  DWORD stopTimeout_;
  UniqueKernelHandle thread_;
  UniqueKernelHandle stopEvent_;  // auto reset
};
