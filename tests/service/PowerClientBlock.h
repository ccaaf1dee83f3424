// The block through which client processes of the real client library report to the
// program that started them: one slot per client, written only by that client.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "Handles.h"

constexpr int kPowerClientSlots = 16;

struct PowerClientSlot {
  volatile LONG pid;
  volatile LONG ready;        // initialised, callback registered, first read done
  volatile LONG initResult;   // QelHWInitialize's HRESULT
  volatile LONG calls;        // power calls made
  volatile LONG failures;     // power calls that did not answer 0
  volatile LONG longestUs;    // the longest single call, in microseconds
  volatile LONG64 callStart;  // performance counter at the start of the call under way, 0 between calls
  volatile LONG notifications;  // records of type QELHW_NOTIFY_Power received
  volatile LONG lastNotified;   // the state of the last of them
  volatile LONG ended;        // uninitialised and about to exit
  volatile LONG holdInCallback;  // 1: the first notification's callback does not return
  volatile LONG inCallback;      // 1: that callback is under way
};

struct PowerClientBlock {
  volatile LONG calling;  // 1: the clients read and switch; 0: they only pump messages
  volatile LONG quit;     // 1: the clients uninitialise and end
  LONG64 frequency;       // of the performance counter, for the readers of callStart
  PowerClientSlot slots[kPowerClientSlots];
};

// A named block of that layout, mapped for the life of this object.
class PowerClientMapping {
 public:
  PowerClientMapping() = default;
  ~PowerClientMapping() {
    if (block_) UnmapViewOfFile(block_);
  }
  PowerClientMapping(const PowerClientMapping&) = delete;
  PowerClientMapping& operator=(const PowerClientMapping&) = delete;

  // Creates the block (zeroed) under a name of this process; false on failure.
  bool Create() {
    name_ = "Local\\QelPowerClients-" + std::to_string(GetCurrentProcessId());
    mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(PowerClientBlock),
                                      name_.c_str()));
    if (!Map()) return false;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    block_->frequency = frequency.QuadPart;
    return true;
  }
  bool Open(const std::string& name) {
    name_ = name;
    mapping_.reset(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str()));
    return Map();
  }
  const std::string& Name() const { return name_; }
  PowerClientBlock* get() const { return block_; }
  PowerClientBlock* operator->() const { return block_; }

 private:
  bool Map() {
    if (!mapping_) return false;
    block_ = static_cast<PowerClientBlock*>(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    return block_ != nullptr;
  }
  std::string name_;
  UniqueKernelHandle mapping_;
  PowerClientBlock* block_ = nullptr;
};

// Starts power_client.exe (beside this program) on the block's slot; it ends by itself after
// seconds. Empty on failure.
inline UniqueKernelHandle StartPowerClient(const PowerClientMapping& block, int slot, int seconds) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string program(path, length);
  program = program.substr(0, program.find_last_of('\\') + 1) + "power_client.exe";
  std::string line = "\"" + program + "\" " + block.Name() + " " + std::to_string(slot) + " " + std::to_string(seconds);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return UniqueKernelHandle();
  CloseHandle(pi.hThread);
  return UniqueKernelHandle(pi.hProcess);
}
