// A host block placed against a no-access page, for the exports' bounds checks.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>

namespace plugintest {

// A block of n bytes ending where a no-access page begins, its bytes set to a marker and its
// size field to n (when there is room for one).
class GuardedBlock {
 public:
  explicit GuardedBlock(uint32_t n, const std::function<void(void*)>& prepare = nullptr) : n_(n) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    page_ = si.dwPageSize;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    block_ = base_ + page_ - n;
    std::memset(block_, 0xEE, n);
    if (n >= 4) std::memcpy(block_, &n, 4);
    if (prepare) prepare(block_);
    std::memcpy(before_, block_, n);
  }
  ~GuardedBlock() { VirtualFree(base_, 0, MEM_RELEASE); }
  void* get() const { return block_; }
  bool Unchanged() const { return std::memcmp(before_, block_, n_) == 0; }
  uint32_t At(uint32_t offset) const {
    uint32_t v;
    std::memcpy(&v, block_ + offset, 4);
    return v;
  }

 private:
  uint32_t n_;
  DWORD page_ = 0;
  uint8_t* base_ = nullptr;
  uint8_t* block_ = nullptr;
  uint8_t before_[1024];
};

}  // namespace plugintest
