#include "PeripheryTestSupport.h"

#include <atomic>

#include "LocalHeapTestSeams.h"

namespace qeltest {
namespace {

std::atomic<size_t> g_first{0};
std::atomic<size_t> g_last{0};

bool Fails(size_t bytes) { return bytes >= g_first.load() && bytes <= g_last.load(); }

}  // namespace

FailLocalBlocks::FailLocalBlocks(size_t first, size_t last) {
  g_first = first;
  g_last = last;
  LocalBlockTestSetFailure(Fails);
}

FailLocalBlocks::~FailLocalBlocks() { LocalBlockTestSetFailure(nullptr); }

UniqueKernelHandle NewEvent() { return UniqueKernelHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr)); }

bool Signalled(HANDLE event, DWORD milliseconds) { return WaitForSingleObject(event, milliseconds) == WAIT_OBJECT_0; }

}  // namespace qeltest
