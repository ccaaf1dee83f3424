#include "FirmwareSim.h"

#include <cstring>

namespace {
constexpr char kBlockName[] = "Global\\QelVxFirmwareSim";
constexpr char kLockName[] = "Global\\QelVxFirmwareSimLock";
constexpr char kEventName[] = "Global\\QelVxFirmwareSimEvent";
constexpr uint32_t kMagic = 0x51465753;

class MutexLock {
 public:
  explicit MutexLock(HANDLE m) : m_(m) { WaitForSingleObject(m_, INFINITE); }
  ~MutexLock() { ReleaseMutex(m_); }

 private:
  HANDLE m_;
};

void Defaults(FirmwareSimBlock& b) {
  std::memset(&b, 0, sizeof b);
  b.magic = kMagic;
  std::memcpy(b.status, FirmwareSim::kDefaultStatus, 4);
  b.answerCount = -1;
}
}  // namespace

FirmwareSim::~FirmwareSim() {
  if (block_) UnmapViewOfFile(block_);
}

bool FirmwareSim::Open() {
  if (block_) return true;
  mutex_.reset(CreateMutexA(nullptr, FALSE, kLockName));
  event_.reset(CreateEventA(nullptr, FALSE, FALSE, kEventName));
  mapping_.reset(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(FirmwareSimBlock),
                                    kBlockName));
  if (!mutex_ || !event_ || !mapping_) return false;
  block_ = static_cast<FirmwareSimBlock*>(MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (!block_) return false;
  MutexLock lock(mutex_.get());
  if (block_->magic != kMagic) Defaults(*block_);
  return true;
}

FirmwareSimBlock FirmwareSim::Snapshot() {
  MutexLock lock(mutex_.get());
  return *block_;
}

void FirmwareSim::Update(const std::function<void(FirmwareSimBlock&)>& change) {
  MutexLock lock(mutex_.get());
  change(*block_);
}

void FirmwareSim::Reset() {
  Update([](FirmwareSimBlock& b) { Defaults(b); });
  ResetEvent(event_.get());
}

void FirmwareSim::RaiseEvent(int32_t id, int32_t data) {
  Update([&](FirmwareSimBlock& b) {
    b.eventId = id;
    b.eventData = data;
    ++b.events;
  });
  SetEvent(event_.get());
}

void FirmwareSim::FlipSwitch() {
  Update([](FirmwareSimBlock& b) { b.status[3] ^= 0x01; });
  RaiseEvent(5, 0);
}
