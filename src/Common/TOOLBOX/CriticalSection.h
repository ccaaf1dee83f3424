// Critical-section class with its scoped lock, and scoped guards over a bare section.
#pragma once
#include <windows.h>

class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&cs_); }
  virtual ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  bool Lock() {
    ::EnterCriticalSection(&cs_);
    return true;
  }
  bool Unlock() {
    ::LeaveCriticalSection(&cs_);
    return true;
  }

 private:
  CRITICAL_SECTION cs_;
};

class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& cs) : cs_(cs) { cs_.Lock(); }
  ~CriticalSectionLock() { cs_.Unlock(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& cs_;
};

class AutoEnterCriticalSection {
 public:
  explicit AutoEnterCriticalSection(CRITICAL_SECTION* cs) : cs_(cs) { ::EnterCriticalSection(cs_); }
  ~AutoEnterCriticalSection() { ::LeaveCriticalSection(cs_); }
  AutoEnterCriticalSection(const AutoEnterCriticalSection&) = delete;
  AutoEnterCriticalSection& operator=(const AutoEnterCriticalSection&) = delete;

 private:
  CRITICAL_SECTION* cs_;
};

// Releases a section the thread holds for the length of a scope.
class AutoLeaveCriticalSection {
 public:
  explicit AutoLeaveCriticalSection(CRITICAL_SECTION* cs) : cs_(cs) { ::LeaveCriticalSection(cs_); }
  ~AutoLeaveCriticalSection() { ::EnterCriticalSection(cs_); }
  AutoLeaveCriticalSection(const AutoLeaveCriticalSection&) = delete;
  AutoLeaveCriticalSection& operator=(const AutoLeaveCriticalSection&) = delete;

 private:
  CRITICAL_SECTION* cs_;
};

// Scoped hold of a slim reader/writer lock: exclusive, or shared for readers that only look.
class SrwLockGuard {
 public:
  enum Mode { kExclusive, kShared };
  explicit SrwLockGuard(SRWLOCK& lock, Mode mode = kExclusive) : lock_(lock), mode_(mode) {
    if (mode_ == kShared) ::AcquireSRWLockShared(&lock_);
    else ::AcquireSRWLockExclusive(&lock_);
  }
  ~SrwLockGuard() {
    if (mode_ == kShared) ::ReleaseSRWLockShared(&lock_);
    else ::ReleaseSRWLockExclusive(&lock_);
  }
  SrwLockGuard(const SrwLockGuard&) = delete;
  SrwLockGuard& operator=(const SrwLockGuard&) = delete;

 private:
  SRWLOCK& lock_;
  Mode mode_;
};
