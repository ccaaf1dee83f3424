// A growable narrow text on the local heap: reallocations ask for a slack of growth
// characters and fall back to the exact size when memory is short.
#pragma once
#include <cstddef>

class StringBuffer {
 public:
  explicit StringBuffer(size_t growth) : growth_(growth) {}
  ~StringBuffer() { Free(); }
  StringBuffer(const StringBuffer&) = delete;
  StringBuffer& operator=(const StringBuffer&) = delete;

  // Room for length + extra characters and the terminator.
  bool Reserve(size_t extra);
  // A NULL text counts as empty. The text may lie inside this buffer.
  bool Assign(const char* text);
  bool Append(const char* text);
  // Adds count bytes as they are, then a terminator; NULL bytes with a count fail.
  bool AppendBytes(const void* bytes, size_t count);
  void Clear();
  void Free();

  // NULL until storage is first needed.
  const char* GetText() const { return data_; }
  size_t GetLength() const { return length_; }
  size_t GetCapacity() const { return capacity_; }

 private:
  bool Holds(const void* p) const;
  bool AppendFrom(const void* bytes, size_t count);

  size_t growth_;
  char* data_ = nullptr;
  size_t capacity_ = 0;  // characters, the terminator not counted
  size_t length_ = 0;
};
