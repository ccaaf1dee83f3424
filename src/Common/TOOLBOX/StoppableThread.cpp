#include "StoppableThread.h"

#include "LocalHeap.h"

bool StoppableThread::Start() {
  if (thread_ || stopEvent_) return false;
  LocalAllocPtr<StartBlock> block(static_cast<StartBlock*>(LocalBlockAlloc(1, sizeof(StartBlock))));
  if (!block) return false;
  UniqueKernelHandle stopEvent(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!stopEvent) return false;
  // The thread gets a handle of its own: closing ours after a timed-out Stop cannot
  // leave it waiting on a handle value that has been reused.
  UniqueKernelHandle threadEvent;
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, stopEvent.get(), self, threadEvent.put(), 0, FALSE, DUPLICATE_SAME_ACCESS))
    return false;
  *block.get() = StartBlock{function_, userData_, threadEvent.get()};
  HANDLE thread = ::CreateThread(nullptr, 0, ThreadProc, block.get(), 0, nullptr);
  if (!thread) return false;
  block.release();
  threadEvent.release();
  thread_.reset(thread);
  stopEvent_ = std::move(stopEvent);
  return true;
}

bool StoppableThread::Stop() {
  bool result = true;
  if (stopEvent_) {
    ::SetEvent(stopEvent_.get());
    if (thread_) result = ::WaitForSingleObject(thread_.get(), stopTimeout_) == WAIT_OBJECT_0;
  }
  stopEvent_.reset();
  thread_.reset();
  return result;
}

DWORD WINAPI StoppableThread::ThreadProc(void* context) {
  LocalAllocPtr<StartBlock> block(static_cast<StartBlock*>(context));
  UniqueKernelHandle stopEvent(block.get()->stopEvent);
  return block.get()->function(block.get()->userData, stopEvent.get());
}
