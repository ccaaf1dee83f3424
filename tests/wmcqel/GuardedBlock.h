// A host block placed against a no-access page, for the exports' bounds checks.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>

namespace plugintest {

// n bytes that end where a no-access page begins, the page's bytes set to a marker.
class PageEnd {
 public:
  explicit PageEnd(uint32_t n) : n_(n) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    page_ = si.dwPageSize;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    std::memset(base_, 0xEE, page_);
  }
  ~PageEnd() { VirtualFree(base_, 0, MEM_RELEASE); }
  PageEnd(const PageEnd&) = delete;
  PageEnd& operator=(const PageEnd&) = delete;
  uint8_t* get() const { return base_ + page_ - n_; }
  bool Untouched() const {
    for (uint32_t i = 0; i < n_; ++i)
      if (get()[i] != 0xEE) return false;
    return true;
  }

 private:
  uint32_t n_;
  DWORD page_ = 0;
  uint8_t* base_ = nullptr;
};

// A host block of n bytes at a page end, its size field set to n (when there is room for
// one), then prepared.
class GuardedBlock {
 public:
  explicit GuardedBlock(uint32_t n, const std::function<void(void*)>& prepare = nullptr) : n_(n), page_(n) {
    if (n >= 4) std::memcpy(page_.get(), &n, 4);
    if (prepare) prepare(page_.get());
    std::memcpy(before_, page_.get(), n);
  }
  void* get() const { return page_.get(); }
  bool Unchanged() const { return std::memcmp(before_, page_.get(), n_) == 0; }
  uint32_t At(uint32_t offset) const {
    uint32_t v;
    std::memcpy(&v, page_.get() + offset, 4);
    return v;
  }

 private:
  uint32_t n_;
  PageEnd page_;
  uint8_t before_[1024];
};

}  // namespace plugintest
