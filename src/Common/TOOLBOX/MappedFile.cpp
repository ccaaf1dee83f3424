#include "MappedFile.h"

MappedFile::~MappedFile() {
  if (view_) ::UnmapViewOfFile(view_);
}

bool MappedFile::Open(const char* path) {
  if (tried_) return false;
  tried_ = true;
  size_ = 0;
  file_.reset(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file_) return false;
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file_.get(), &size) || size.QuadPart > 0xFFFFFFFE) return false;
  mapping_.reset(::CreateFileMappingA(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping_) return false;
  view_ = static_cast<const BYTE*>(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
  if (!view_) return false;
  size_ = static_cast<uint32_t>(size.QuadPart);
  return true;
}
