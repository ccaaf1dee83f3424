// A read-only view of a whole existing file.
#pragma once
#include <windows.h>
#include <cstdint>

#include "Handles.h"

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // One attempt per object. Fails for a missing or unreadable file, an empty one and
  // one of 4 GiB or more.
  bool Open(const char* path);

  // Valid after a successful Open.
  const BYTE* GetView() const { return view_; }
  uint32_t GetSize() const { return size_; }

 private:
  bool tried_ = false;
  UniqueFile file_;
  UniqueKernelHandle mapping_;
  const BYTE* view_ = nullptr;
  uint32_t size_ = 0;
};
