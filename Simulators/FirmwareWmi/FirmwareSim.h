// The simulated firmware's state, shared by name between the process that serves the
// firmware's WMI classes and the programs that drive it (firmwarectl, tests).
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>

#include "Handles.h"

enum FirmwareSimFlag : uint32_t {
  kSimFailRead = 0x01,       // status reads fail
  kSimFailWrite = 0x02,      // status writes fail
  kSimNoInstance = 0x04,     // the method class has no instance
  kSimNoClass = 0x08,        // the method class is missing
  kSimFailSubscribe = 0x10,  // the event query is refused
  kSimFailConnect = 0x20,    // the namespace cannot be connected
  kSimNoOutData = 0x40,      // method output without its OutData object
  kSimNullDataInClass = 0x80,  // the data-in class is found but no object comes back
};

struct FirmwareSimBlock {
  uint32_t magic;
  uint8_t status[4];
  uint32_t flags;
  int32_t answerCount;             // bytes a call answers with; negative: as many as asked
  int32_t timeoutsBeforeInstance;  // Next times out this often first; negative: always
  int32_t eventId;
  int32_t eventData;
  int32_t returnCode;  // rwReturnCode of an accepted call
  uint32_t reads;
  uint32_t writes;
  uint32_t refusedWrites;
  uint32_t events;
  uint8_t lastWrite[4];
  uint32_t connectDelayMs;  // the namespace connection takes this long
};

class FirmwareSim {
 public:
  static constexpr uint8_t kDefaultStatus[4] = {0x04, 0x00, 0x00, 0x0D};  // present, switchable, on

  FirmwareSim() = default;
  ~FirmwareSim();
  FirmwareSim(const FirmwareSim&) = delete;
  FirmwareSim& operator=(const FirmwareSim&) = delete;

  // Opens the shared state, creating it with the default status when nobody holds it.
  bool Open();
  FirmwareSimBlock Snapshot();
  void Update(const std::function<void(FirmwareSimBlock&)>& change);
  void Reset();
  // Raises the firmware event; the serving process delivers it on its apartment thread.
  void RaiseEvent(int32_t id = 5, int32_t data = 0);
  // The hardware radio switch: flips the radio bit of byte 3 and raises event 5.
  void FlipSwitch();
  HANDLE EventHandle() const { return event_.get(); }

 private:
  UniqueKernelHandle mapping_, mutex_, event_;
  FirmwareSimBlock* block_ = nullptr;
};
