// The script and call log of the simulated client library ("qelvxaux.dll" stand-in), in a
// named file mapping that outlives the library's loads: "Local\QelSimClient-<process id>"
// (or the name in QEL_SIMCLIENT_BLOCK). A zeroed block is the default script: initialisation
// S_OK, the radio on, every call 0.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

constexpr int kSimClientLogSize = 256;

struct SimClientCall {
  char name[28];
  uint32_t arg;     // the state passed, or 1 when a function pointer was set
  uint32_t thread;
  uint32_t tick;
};

struct SimClientBlock {
  int32_t initializeResult;  // HRESULT of QelHWInitialize
  int32_t getPowerResult;
  uint32_t powerState;       // what QelHWGetPower reports (0 here means on)
  int32_t setPowerResult;
  uint32_t initializedThread;  // the thread of the latest QelHWInitialize, 0 after QelHWUnInitialize
  uint32_t wrongThreadCalls;   // power calls from a thread other than the initialising one
  uint32_t callbackSet;
  uint32_t callCount;
  SimClientCall calls[kSimClientLogSize];
  // Slow calls: each export sleeps its delay, plus a random 0..randomDelayMaxMs.
  uint32_t initializeDelayMs;
  uint32_t getPowerDelayMs;
  uint32_t setPowerDelayMs;
  uint32_t registerDelayMs;
  uint32_t unInitializeDelayMs;
  uint32_t randomDelayMaxMs;
  uint32_t randomSeed;     // 0: seeded by the tick count
  int32_t initialized;     // QelHWInitialize calls less QelHWUnInitialize calls
  uint32_t removalLoadsLibrary;  // QelHWRegisterCallback (null) loads and frees a system library
};

inline std::string SimClientBlockName(DWORD processId = GetCurrentProcessId()) {
  char value[200];
  DWORD n = GetEnvironmentVariableA("QEL_SIMCLIENT_BLOCK", value, sizeof value);
  if (n > 0 && n < sizeof value) return value;
  char name[64];
  std::snprintf(name, sizeof name, "Local\\QelSimClient-%lu", static_cast<unsigned long>(processId));
  return name;
}

class SimClientControl {
 public:
  explicit SimClientControl(const std::string& name = SimClientBlockName()) {
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SimClientBlock),
                                  name.c_str());
    if (mapping_)
      block_ = static_cast<SimClientBlock*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SimClientBlock)));
    lock_ = CreateMutexA(nullptr, FALSE, (name + "-lock").c_str());
  }
  ~SimClientControl() {
    if (block_) UnmapViewOfFile(block_);
    if (mapping_) CloseHandle(mapping_);
    if (lock_) CloseHandle(lock_);
  }
  SimClientControl(const SimClientControl&) = delete;
  SimClientControl& operator=(const SimClientControl&) = delete;

  bool ok() const { return block_ && lock_; }
  SimClientBlock* operator->() const { return block_; }
  void Reset() {
    WaitForSingleObject(lock_, INFINITE);
    std::memset(block_, 0, sizeof *block_);
    ReleaseMutex(lock_);
  }
  void Log(const char* name, uint32_t arg) {
    WaitForSingleObject(lock_, INFINITE);
    if (block_->callCount < static_cast<uint32_t>(kSimClientLogSize)) {
      SimClientCall& c = block_->calls[block_->callCount];
      lstrcpynA(c.name, name, sizeof c.name);
      c.arg = arg;
      c.thread = GetCurrentThreadId();
      c.tick = GetTickCount();
    }
    ++block_->callCount;
    ReleaseMutex(lock_);
  }
  // The names of the logged calls in order ("QelHWRegisterCallback(0)" for a removal).
  std::vector<std::string> Calls() const {
    std::vector<std::string> out;
    WaitForSingleObject(lock_, INFINITE);
    uint32_t n = block_->callCount < static_cast<uint32_t>(kSimClientLogSize) ? block_->callCount : kSimClientLogSize;
    for (uint32_t i = 0; i < n; ++i) {
      std::string name = block_->calls[i].name;
      if (name == "QelHWRegisterCallback" || name == "QelHWSetPower")
        name += "(" + std::to_string(block_->calls[i].arg) + ")";
      out.push_back(name);
    }
    ReleaseMutex(lock_);
    return out;
  }

 private:
  HANDLE mapping_ = nullptr;
  HANDLE lock_ = nullptr;
  SimClientBlock* block_ = nullptr;
};
