#include "StringBuffer.h"

#include <windows.h>
#include <cstdint>
#include <cstring>

#include "LocalHeap.h"

bool StringBuffer::Reserve(size_t extra) {
  if (extra > SIZE_MAX - 1 - length_) return false;  // need + 1 must fit
  size_t need = length_ + extra;
  if (need <= capacity_) return true;
  size_t slack = growth_ <= SIZE_MAX - 1 - need ? growth_ : 0;
  size_t capacity = need + slack;
  void* storage = nullptr;
  if (!data_) {
    if (slack) storage = LocalBlockAlloc(capacity + 1);
    if (!storage) storage = LocalBlockAlloc((capacity = need) + 1);
    if (!storage) return false;
    static_cast<char*>(storage)[0] = '\0';
  } else {
    if (slack) storage = LocalBlockReAlloc(data_, capacity + 1);
    if (!storage) storage = LocalBlockReAlloc(data_, (capacity = need) + 1);
    if (!storage) return false;
  }
  data_ = static_cast<char*>(storage);
  capacity_ = capacity;
  return true;
}

bool StringBuffer::Holds(const void* p) const {
  auto at = reinterpret_cast<uintptr_t>(p);
  auto begin = reinterpret_cast<uintptr_t>(data_);
  return data_ && at >= begin && at <= begin + length_;  // the live text and its terminator
}

// Copies behind the text; a source inside the storage is found again after it moves.
bool StringBuffer::AppendFrom(const void* bytes, size_t count) {
  bool inside = Holds(bytes);
  size_t offset = inside ? static_cast<size_t>(static_cast<const char*>(bytes) - data_) : 0;
  if (!Reserve(count)) return false;
  const void* source = inside ? data_ + offset : bytes;
  if (count) std::memmove(data_ + length_, source, count);
  length_ += count;
  if (data_) data_[length_] = '\0';
  return true;
}

bool StringBuffer::Assign(const char* text) {
  if (!text) text = "";
  if (Holds(text)) {
    // Part of our own text: move it to the front.
    size_t n = std::strlen(text);
    std::memmove(data_, text, n + 1);
    length_ = n;
    return true;
  }
  Clear();
  return AppendFrom(text, std::strlen(text));
}

bool StringBuffer::Append(const char* text) { return AppendFrom(text ? text : "", text ? std::strlen(text) : 0); }

bool StringBuffer::AppendBytes(const void* bytes, size_t count) {
  if (!bytes) return count == 0;
  return AppendFrom(bytes, count);
}

void StringBuffer::Clear() {
  if (data_) data_[0] = '\0';
  length_ = 0;
}

void StringBuffer::Free() {
  if (data_) ::LocalFree(data_);
  data_ = nullptr;
  capacity_ = 0;
  length_ = 0;
}
