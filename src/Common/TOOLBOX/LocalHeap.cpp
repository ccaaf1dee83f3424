#include "LocalHeap.h"

#include <atomic>
#include <cstdint>

#include "LocalHeapTestSeams.h"

namespace {

std::atomic<LocalBlockFailure> g_failure{nullptr};

// The byte size, or 0 when it does not fit a size_t.
size_t ByteSize(size_t count, size_t elementSize) {
  if (elementSize != 0 && count > SIZE_MAX / elementSize) return 0;
  return count * elementSize;
}

bool Refused(size_t bytes) {
  LocalBlockFailure fails = g_failure.load(std::memory_order_acquire);
  return fails != nullptr && fails(bytes);
}

}  // namespace

void LocalBlockTestSetFailure(LocalBlockFailure fails) { g_failure.store(fails, std::memory_order_release); }

void* LocalBlockAlloc(size_t count, size_t elementSize) {
  size_t bytes = ByteSize(count, elementSize);
  if (bytes == 0 || Refused(bytes)) return nullptr;
  return ::LocalAlloc(LMEM_FIXED, bytes);
}

void* LocalBlockReAlloc(void* block, size_t count, size_t elementSize) {
  size_t bytes = ByteSize(count, elementSize);
  if (block == nullptr || bytes == 0 || Refused(bytes)) return nullptr;
  return ::LocalReAlloc(block, bytes, LMEM_MOVEABLE);
}
