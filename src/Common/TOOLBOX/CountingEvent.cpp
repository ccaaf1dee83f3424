#include "CountingEvent.h"

CountingEvent::~CountingEvent() {
  {
    CriticalSectionLock hold(lock_);
    destroying_ = true;
    if (event_) ::SetEvent(event_.get());
  }
  // A released waiter still takes the lock once; it must be gone before the lock is.
  while (::InterlockedCompareExchange(&waiters_, 0, 0) != 0) ::Sleep(0);
}

bool CountingEvent::Arm(uint32_t target) {
  if (target == 0) return false;
  CriticalSectionLock hold(lock_);
  if (armed_) return true;
  event_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!event_) return false;
  target_ = target;
  armed_ = true;
  return true;
}

void CountingEvent::Count() {
  CriticalSectionLock hold(lock_);
  if (!armed_ || count_ == target_) return;
  if (++count_ == target_) ::SetEvent(event_.get());
}

bool CountingEvent::Wait(DWORD milliseconds) {
  HANDLE event;
  {
    CriticalSectionLock hold(lock_);
    if (!armed_ || destroying_) return false;
    event = event_.get();
    ::InterlockedIncrement(&waiters_);
  }
  bool signalled = ::WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0;
  bool reached;
  {
    CriticalSectionLock hold(lock_);
    reached = signalled && count_ == target_;
  }
  ::InterlockedDecrement(&waiters_);  // the last touch of this object
  return reached;
}
