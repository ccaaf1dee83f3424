// Bit fields packed most significant bit first. Offsets count from the most significant
// bit of bytes[0]; a field may straddle byte boundaries.
#pragma once
#include <cstdint>

// The raw helpers touch only the bytes that hold the field; the caller keeps it inside
// the buffer. Widths outside 1..8 (1..16) read 0 and write nothing.
uint8_t ReadBits(const uint8_t* bytes, int bitOffset, int width);
uint16_t ReadBits16(const uint8_t* bytes, int bitOffset, int width);
void WriteBits(uint8_t value, uint8_t* bytes, int bitOffset, int width);
void WriteBits16(uint16_t value, uint8_t* bytes, int bitOffset, int width);

// Reads fields in order from a value of a known length; never past its end.
class BitReader {
 public:
  BitReader(const uint8_t* bytes, int byteLength) : bytes_(bytes), bits_(byteLength * 8) {}
  bool Has(int bits) const { return bits >= 0 && bits <= bits_ - pos_; }
  // A field past the end reads 0, leaves the position where it was and marks the reader failed.
  uint8_t Read(int width);
  uint16_t Read16(int width);
  void Skip(int bits);
  bool Failed() const { return failed_; }
  int Remaining() const { return bits_ - pos_; }

 private:
  const uint8_t* bytes_;
  int bits_;
  int pos_ = 0;
  bool failed_ = false;
};

// Writes fields in order. Without an output it only counts (the size pass); with one it
// writes at most capacity bytes and notes whether anything was dropped.
class BitWriter {
 public:
  BitWriter(uint8_t* out, int capacity)
      : out_(out), capacityBits_(out && capacity > 0 ? (capacity < kMaxBytes ? capacity : kMaxBytes) * 8 : 0) {}
  void Write(uint32_t value, int width);  // width 0 to 16
  void Byte(uint8_t value) { Write(value, 8); }
  void Bytes(const uint8_t* bytes, int count);
  void PadToByte() { Write(0, (8 - pos_ % 8) % 8); }
  // Overwrites one whole byte written earlier (a length known only after its value).
  void PatchByte(int byteIndex, uint8_t value);
  int BytePosition() const { return (pos_ + 7) / 8; }
  bool Counting() const { return out_ == nullptr; }
  bool Overflowed() const { return overflowed_; }

 private:
  static constexpr int kMaxBytes = 1 << 24;
  uint8_t* out_;
  int capacityBits_;
  int pos_ = 0;
  bool overflowed_ = false;
};
