// Helpers shared by the container, thread and parser tests.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "Handles.h"

namespace qeltest {

// While it lives, local-heap requests of first to last bytes fail.
class FailLocalBlocks {
 public:
  FailLocalBlocks(size_t first, size_t last);
  ~FailLocalBlocks();
  FailLocalBlocks(const FailLocalBlocks&) = delete;
  FailLocalBlocks& operator=(const FailLocalBlocks&) = delete;
};

// A manual-reset event, unsignalled.
UniqueKernelHandle NewEvent();
// Waits up to a generous bound; a test that needs longer has hung.
bool Signalled(HANDLE event, DWORD milliseconds = 10000);

}  // namespace qeltest
