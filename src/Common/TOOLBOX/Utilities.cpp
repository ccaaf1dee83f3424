#include "Utilities.h"

#include <windows.h>
#include <cstdlib>
#include <utility>

#include "SafeString.h"

namespace {

constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                            PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
constexpr DWORD kWritable = PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;

// The end of the region holding at when its pages allow the access, else 0. The memory
// is asked about, never touched, so no fault can arise.
uintptr_t AccessibleEnd(uintptr_t at, DWORD access) {
  MEMORY_BASIC_INFORMATION info;
  if (::VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof(info)) != sizeof(info)) return 0;
  if (info.State != MEM_COMMIT || (info.Protect & (PAGE_GUARD | PAGE_NOACCESS)) || !(info.Protect & access))
    return 0;
  return reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
}

bool Accessible(const void* p, size_t size, DWORD access) {
  if (size == 0) return true;
  auto at = reinterpret_cast<uintptr_t>(p);
  if (at == 0 || size - 1 > UINTPTR_MAX - at) return false;
  uintptr_t last = at + (size - 1);
  for (;;) {
    uintptr_t end = AccessibleEnd(at, access);
    if (end == 0) return false;
    if (last < end) return true;
    at = end;
  }
}

// Counts characters up to the terminator, reading only inside readable regions.
template <class C>
bool MeasureString(const C* s, size_t* length) {
  if (!s) return false;
  uintptr_t readableEnd = 0;
  for (const C* p = s;; ++p) {
    auto at = reinterpret_cast<uintptr_t>(p);
    while (at + sizeof(C) > readableEnd) {
      readableEnd = AccessibleEnd(readableEnd > at ? readableEnd : at, kReadable);
      if (readableEnd == 0) return false;
    }
    if (*p == 0) {
      *length = static_cast<size_t>(p - s);
      return true;
    }
  }
}

template <class C>
bool WritableString(C* s) {
  size_t length;
  return MeasureString(s, &length) && length < UINT32_MAX / sizeof(C) &&
         IsWritablePointer(s, static_cast<uint32_t>((length + 1) * sizeof(C)));
}

}  // namespace

int RandomInRange(int low, int high) {
  static_assert(RAND_MAX == 0x7FFF, "draws are 15 bits");
  if (high < low) std::swap(low, high);
  int64_t span = int64_t{high} - low + 1;  // 1 to 2^32: no overflow
  int64_t r = std::rand();
  return static_cast<int>(low + ((r * span) >> 15));  // low + floor(r / 32768 * span)
}

bool IsReadablePointer(const void* p, uint32_t size) { return Accessible(p, size, kReadable); }
bool IsWritablePointer(void* p, uint32_t size) { return Accessible(p, size, kWritable); }

bool IsReadableString(const char* s) {
  size_t length;
  return MeasureString(s, &length);
}
bool IsReadableString(const unsigned char* s) { return IsReadableString(reinterpret_cast<const char*>(s)); }
bool IsWritableString(char* s) { return WritableString(s); }
bool IsWritableString(unsigned char* s) { return WritableString(reinterpret_cast<char*>(s)); }

bool IsReadableWideString(const wchar_t* s) {
  size_t length;
  return MeasureString(s, &length);
}
bool IsWritableWideString(wchar_t* s) { return WritableString(s); }

const char* TextOrEmpty(const char* const* text) { return text && *text ? *text : ""; }

const char* MbsFindString(const char* text, const char* part) { return *part ? MbsFindText(text, part) : text; }
