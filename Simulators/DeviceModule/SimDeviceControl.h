// The script of the simulated card-detect library and GSM SDK libraries, shared with
// whoever drives them through a named file mapping: the one named by the environment
// variable QEL_SIMDEVICE_BLOCK, else "Local\QelSimDevice-<process id>". A zeroed block
// is a card-detect library with no device and a GSM SDK that answers 0 and writes empty
// texts; the SIM status notification then never comes.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

// One scripted GSM read: its result, and what it writes when the result is 0.
struct SimGsmRead {
  int32_t result;
  wchar_t text[48];
  uint32_t calls;
};

enum SimGsmReadIndex {
  kSimHardware,
  kSimFirmware,
  kSimBuildDate,
  kSimBoot,
  kSimImei,
  kSimSerial,
  kSimImsi,
  kSimIccId,
  kSimCardType,
  kSimAvailDev,
  kSimCarrier,
  kSimEsn,
  kSimPrl,
  kSimReadCount
};

struct SimDeviceBlock {
  // Card detect.
  uint32_t createFails;  // ICreateCardDetectClient answers null
  uint32_t deviceCount;
  uint32_t deviceIds[8];
  uint32_t nullClientCalls;  // calls that were given a null client
  uint32_t createCalls, deleteCalls;
  wchar_t registryPath[128];  // as passed to ICreateCardDetectClient
  // GSM SDK.
  int32_t openResult;
  int32_t lastOpenDevice;
  uint32_t openCalls, closeCalls;
  uint32_t openRecordSize, openRecordTail;
  wchar_t openLogName[128];
  uint64_t registerMask;
  uint32_t notifyId;       // the id enabled last
  uint32_t simMode;        // 0: the notification follows QelNotify after simDelayMs; 1: never
  uint32_t simDelayMs;
  uint32_t simNotifyId;    // 0: the id that was enabled
  uint32_t simStatus;      // data word 1
  uint32_t delivered;      // notifications handed to the callback
  uint32_t notifyThread;   // thread that delivered the last one
  uint32_t cardType;
  uint32_t availCount, availId;
  uint32_t imsiMcc, imsiMnc;
  uint8_t iccid[10];
  uint32_t carrierId, esn;
  uint16_t prlVersion;
  SimGsmRead reads[kSimReadCount];
  uint32_t cardDetectAttaches;  // times the card-detect library's entry point saw a process attach
  uint32_t deviceIdCalls;       // IGetQelDeviceID calls
  // IGetQelDeviceID refuses (id 0) a size below the bytes of its text, which grows by a
  // character with each index, and writes back the bytes it wrote.
  uint32_t honourSize;
  // Not 0: QelApiClose neither clears the callback nor waits for the notification thread,
  // which delivers once more this long after its first notification.
  uint32_t simLateMs;
  uint32_t callbackAtClose;  // 1 when a notification function was registered at the last close
  uint32_t lateDelivered;    // notifications delivered after a close
};

inline std::string SimDeviceBlockName(DWORD processId = GetCurrentProcessId()) {
  char value[200];
  DWORD n = GetEnvironmentVariableA("QEL_SIMDEVICE_BLOCK", value, sizeof value);
  if (n > 0 && n < sizeof value) return value;
  char name[64];
  std::snprintf(name, sizeof name, "Local\\QelSimDevice-%lu", static_cast<unsigned long>(processId));
  return name;
}

// A view of the block; opening creates it when it does not exist yet.
class SimDeviceControl {
 public:
  explicit SimDeviceControl(const std::string& name = SimDeviceBlockName()) {
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SimDeviceBlock),
                                  name.c_str());
    if (mapping_)
      block_ = static_cast<SimDeviceBlock*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SimDeviceBlock)));
  }
  ~SimDeviceControl() {
    if (block_) UnmapViewOfFile(block_);
    if (mapping_) CloseHandle(mapping_);
  }
  SimDeviceControl(const SimDeviceControl&) = delete;
  SimDeviceControl& operator=(const SimDeviceControl&) = delete;

  bool ok() const { return block_ != nullptr; }
  SimDeviceBlock* operator->() const { return block_; }
  void Reset() { std::memset(block_, 0, sizeof *block_); }
  void SetDevices(std::initializer_list<uint32_t> ids) {
    block_->deviceCount = 0;
    for (uint32_t id : ids)
      if (block_->deviceCount < 8) block_->deviceIds[block_->deviceCount++] = id;
  }
  void SetRead(SimGsmReadIndex i, int32_t result, const wchar_t* text = L"") {
    block_->reads[i].result = result;
    lstrcpynW(block_->reads[i].text, text, 48);
  }

 private:
  HANDLE mapping_ = nullptr;
  SimDeviceBlock* block_ = nullptr;
};
