// The script and call log of the simulated modem SDK, shared between the stand-in library
// and whoever drives it (an in-process test, or a test that starts a host program). The
// block lives in a named file mapping: the library opens the one named by the environment
// variable QEL_SIMSDK_BLOCK, else "Local\QelSimModemSdk-<process id>". A zeroed block is the
// default script: every open succeeds, model code 0, the modem ready, the radio on, every
// entry point answers 0 and writes nothing.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "QelSdkEntryPoints.h"
#include "SimSdkState.h"

constexpr int kSimSdkOpenModes = 32;
constexpr int kSimSdkEntries = 128;
constexpr int kSimSdkLogSize = 1024;
constexpr int kSimSdkQueueSize = 256;

// One entry point's script.
struct SimSdkEntry {
  int32_t result;      // answered instead of 0 (outputs are written only when it is 0)
  uint32_t delayMs;    // slept before answering
  uint32_t outLength;  // bytes of out copied to the first output pointer
  uint8_t out[32];
  char text[128];      // copied to text buffers, cut to the buffer's size
  uint32_t calls;      // calls so far
};

// One logged call. args hold the numeric arguments in order (a pointer as 1 when set, 0 when
// null); timeout is 0xFFFFFFFF for entry points that take none.
struct SimSdkCall {
  char name[32];
  uint32_t args[4];
  uint32_t timeout;
  uint32_t thread;
  uint32_t tick;
  int32_t result;
};

struct SimSdkBlock {
  volatile LONG lock;  // a spin lock shared by every process that maps the block
  int32_t openResult[kSimSdkOpenModes];  // QelApiOpenEx result by open mode
  uint32_t modelCode;                    // written at byte 32 of the open record on success
  uint32_t notifyFailAt;                 // the Nth QelNotify (from 1) fails; 0: none fails
  int32_t notifyFailResult;              // its result (0 here means 1)
  uint32_t notReadyPolls;                // QelIsModemReady answers 1 this many times first
  uint32_t powerMode;                    // QelGetPower reports it, QelSetPower stores it (0 on)
  uint32_t deliverOnlyEnabled;           // 1: injected ids not enabled by QelNotify are dropped
  // State kept by the library.
  uint32_t opened;
  uint32_t callbackRegistered;
  uint32_t notifyCalls;
  uint32_t readyPolls;
  uint32_t enabled[64];  // bit per notification id 0..2047
  char passphrase[20];   // the text passed with open mode 11
  uint32_t notifyThread;  // id of the thread that delivers notifications
  uint32_t delivered;
  uint32_t dropped;
  uint32_t closeWaitsGivenUp;  // closes that stopped waiting (5 s) for a delivery in flight
  SimSdkEntry entry[kSimSdkEntries];
  uint32_t callCount;  // may exceed kSimSdkLogSize; the log keeps the first calls
  SimSdkCall calls[kSimSdkLogSize];
  uint32_t queueHead, queueTail;
  SDK_NOTIF queue[kSimSdkQueueSize];
  // The modem's state behind the operations' entry points, one record per area.
  SimSdkInfoState info;
  SimSdkActivationState activation;
  SimSdkParametersState parameters;
  SimSdkFieldTestState fieldTest;
  SimSdkSmsState sms;
  // Stress scripts: every entry point first sleeps a random 0..randomDelayMaxMs (seeded per
  // process by randomSeed, 0: by the tick count); opens made while a session was open.
  uint32_t randomDelayMaxMs;
  uint32_t randomSeed;
  uint32_t overlappingOpens;
  // Calls whose script delay spanned the start of a QelApiClose (the close came while they
  // were in flight).
  uint32_t callsOverlappingClose;
};

// The index of an entry point's script: base list, then EV-DO list, then the module's.
inline int SimSdkEntryIndex(const char* name) {
  static const char* const names[] = {
#define QEL_SIM_NAME(n, t, k) #n,
      QEL_SDK_BASE_ENTRY_POINTS(QEL_SIM_NAME) QEL_SDK_EVDO_ENTRY_POINTS(QEL_SIM_NAME)
          QEL_SDK_MODULE_ENTRY_POINTS(QEL_SIM_NAME)
#undef QEL_SIM_NAME
  };
  static_assert(sizeof names / sizeof names[0] <= kSimSdkEntries, "room for every entry point");
  for (int i = 0; i < static_cast<int>(sizeof names / sizeof names[0]); ++i)
    if (std::strcmp(names[i], name) == 0) return i;
  return -1;
}

inline std::string SimSdkBlockName(DWORD processId = GetCurrentProcessId()) {
  char value[200];
  DWORD n = GetEnvironmentVariableA("QEL_SIMSDK_BLOCK", value, sizeof value);
  if (n > 0 && n < sizeof value) return value;
  char name[64];
  std::snprintf(name, sizeof name, "Local\\QelSimModemSdk-%lu", static_cast<unsigned long>(processId));
  return name;
}

// A view of the block with its lock and the wake event of the delivering thread. Opening
// creates what does not exist yet, so a driver may script the block before the library loads.
class SimSdkControl {
 public:
  explicit SimSdkControl(const std::string& name = SimSdkBlockName()) {
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SimSdkBlock),
                                  name.c_str());
    if (mapping_)
      block_ = static_cast<SimSdkBlock*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SimSdkBlock)));
    wake_ = CreateEventA(nullptr, FALSE, FALSE, (name + "-wake").c_str());
  }
  ~SimSdkControl() {
    if (block_) UnmapViewOfFile(block_);
    for (HANDLE h : {mapping_, wake_})
      if (h) CloseHandle(h);
  }
  SimSdkControl(const SimSdkControl&) = delete;
  SimSdkControl& operator=(const SimSdkControl&) = delete;

  bool ok() const { return block_ && wake_; }
  SimSdkBlock* operator->() const { return block_; }
  SimSdkBlock& block() const { return *block_; }
  HANDLE wakeEvent() const { return wake_; }

  // Held only for a few stores, never across a call out; not reentrant. A spin lock costs no
  // kernel call (a kernel mutex is a server round trip under Wine).
  class Guard {
   public:
    explicit Guard(volatile LONG* lock) : lock_(lock) {
      for (int spins = 0; InterlockedCompareExchange(lock_, 1, 0) != 0; ++spins) Sleep(spins < 64 ? 0 : 1);
    }
    ~Guard() { InterlockedExchange(lock_, 0); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    volatile LONG* lock_;
  };
  Guard lock() const { return Guard(&block_->lock); }

  // Back to the default script; the log and the queue are emptied.
  void Reset() {
    Guard g(&block_->lock);
    std::memset(reinterpret_cast<uint8_t*>(block_) + sizeof(LONG), 0, sizeof *block_ - sizeof(LONG));
  }
  SimSdkEntry& Entry(const char* name) { return block_->entry[SimSdkEntryIndex(name)]; }
  void SetResult(const char* name, int32_t result) { Entry(name).result = result; }
  void SetText(const char* name, const char* text) {
    std::snprintf(Entry(name).text, sizeof Entry(name).text, "%s", text);
  }
  template <class T>
  void SetOut(const char* name, const T& value) {
    static_assert(sizeof(T) <= sizeof(SimSdkEntry::out), "fits the script");
    std::memcpy(Entry(name).out, &value, sizeof value);
    Entry(name).outLength = sizeof value;
  }

  // Queues a notification for the delivering thread; false when the queue is full.
  bool Inject(const SDK_NOTIF& record) {
    {
      Guard g(&block_->lock);
      if (block_->queueTail - block_->queueHead >= static_cast<uint32_t>(kSimSdkQueueSize)) return false;
      block_->queue[block_->queueTail % kSimSdkQueueSize] = record;
      ++block_->queueTail;
    }
    SetEvent(wake_);
    return true;
  }
  bool Inject(uint32_t id, std::initializer_list<uint32_t> words = {}) {
    SDK_NOTIF record = {};
    record.id = id;
    int i = 0;
    for (uint32_t w : words)
      if (i < 8) record.data[i++] = w;
    return Inject(record);
  }

  // The logged calls (a copy), optionally only those of one entry point.
  std::vector<SimSdkCall> Calls(const char* name = nullptr) const {
    Guard g(&block_->lock);
    std::vector<SimSdkCall> out;
    uint32_t n = block_->callCount < static_cast<uint32_t>(kSimSdkLogSize) ? block_->callCount : kSimSdkLogSize;
    for (uint32_t i = 0; i < n; ++i)
      if (!name || std::strcmp(block_->calls[i].name, name) == 0) out.push_back(block_->calls[i]);
    return out;
  }
  void ClearCalls() {
    Guard g(&block_->lock);
    block_->callCount = 0;
  }
  bool Enabled(uint32_t id) const { return id < 2048 && (block_->enabled[id / 32] >> (id % 32) & 1u) != 0; }

 private:
  HANDLE mapping_ = nullptr;
  HANDLE wake_ = nullptr;
  SimSdkBlock* block_ = nullptr;
};
