// An event set once a counted number of occurrences has been reached.
#pragma once
#include <windows.h>
#include <cstdint>

#include "CriticalSection.h"
#include "Handles.h"

class CountingEvent {
 public:
  CountingEvent() = default;
  // Releases every waiter (they report the target as not reached unless it was) and
  // returns once they have all left the object.
  ~CountingEvent();
  CountingEvent(const CountingEvent&) = delete;
  CountingEvent& operator=(const CountingEvent&) = delete;

  // The first successful call fixes the target; later calls change nothing.
  bool Arm(uint32_t target);
  // Counts one occurrence once armed.
  void Count();
  // True when the target has been reached within the time.
  bool Wait(DWORD milliseconds);

 private:
  friend struct CountingEventProbe;  // tests

  uint32_t count_ = 0;  // stops at the target
  CriticalSection lock_;
  UniqueKernelHandle event_;  // manual reset, set when the target is reached or at destruction
  uint32_t target_ = 0;
  bool armed_ = false;
  bool destroying_ = false;
  volatile LONG waiters_ = 0;  // threads inside Wait
};
