#include "Sms/BitStream.h"

namespace {

// Gathers the bytes that hold bits [bitOffset, bitOffset + width) and returns the field.
uint32_t Gather(const uint8_t* bytes, int bitOffset, int width) {
  const int first = bitOffset / 8;
  const int last = (bitOffset + width - 1) / 8;
  uint32_t acc = 0;
  for (int i = first; i <= last; ++i) acc = (acc << 8) | bytes[i];
  const int shift = (last + 1) * 8 - (bitOffset + width);
  return (acc >> shift) & ((1u << width) - 1);
}

void Scatter(uint32_t value, uint8_t* bytes, int bitOffset, int width) {
  for (int bit = 0; bit < width;) {
    const int at = bitOffset + bit;
    const int inByte = at % 8;
    const int take = (8 - inByte) < (width - bit) ? (8 - inByte) : (width - bit);
    const uint32_t part = (value >> (width - bit - take)) & ((1u << take) - 1);
    const int shift = 8 - inByte - take;
    const uint8_t mask = static_cast<uint8_t>(((1u << take) - 1) << shift);
    uint8_t& b = bytes[at / 8];
    b = static_cast<uint8_t>((b & ~mask) | (part << shift));
    bit += take;
  }
}

}  // namespace

uint8_t ReadBits(const uint8_t* bytes, int bitOffset, int width) {
  if (width < 1 || width > 8 || bitOffset < 0) return 0;
  return static_cast<uint8_t>(Gather(bytes, bitOffset, width));
}

uint16_t ReadBits16(const uint8_t* bytes, int bitOffset, int width) {
  if (width < 1 || width > 16 || bitOffset < 0) return 0;
  return static_cast<uint16_t>(Gather(bytes, bitOffset, width));
}

void WriteBits(uint8_t value, uint8_t* bytes, int bitOffset, int width) {
  if (width < 1 || width > 8 || bitOffset < 0) return;
  Scatter(value, bytes, bitOffset, width);
}

void WriteBits16(uint16_t value, uint8_t* bytes, int bitOffset, int width) {
  if (width < 1 || width > 16 || bitOffset < 0) return;
  Scatter(value, bytes, bitOffset, width);
}

uint8_t BitReader::Read(int width) {
  if (width < 1 || width > 8 || !Has(width)) {
    failed_ = true;
    return 0;
  }
  const uint8_t v = ReadBits(bytes_, pos_, width);
  pos_ += width;
  return v;
}

uint16_t BitReader::Read16(int width) {
  if (width < 1 || width > 16 || !Has(width)) {
    failed_ = true;
    return 0;
  }
  const uint16_t v = ReadBits16(bytes_, pos_, width);
  pos_ += width;
  return v;
}

void BitReader::Skip(int bits) {
  if (Has(bits))
    pos_ += bits;
  else
    failed_ = true;
}

void BitWriter::Write(uint32_t value, int width) {
  if (width <= 0) return;
  if (out_) {
    if (width <= capacityBits_ - pos_) {
      if (width <= 8)
        WriteBits(static_cast<uint8_t>(value), out_, pos_, width);
      else
        WriteBits16(static_cast<uint16_t>(value), out_, pos_, width);
    } else {
      overflowed_ = true;
    }
  }
  pos_ += width;
}

void BitWriter::Bytes(const uint8_t* bytes, int count) {
  for (int i = 0; i < count; ++i) Byte(bytes[i]);
}

void BitWriter::PatchByte(int byteIndex, uint8_t value) {
  if (out_ && byteIndex >= 0 && (byteIndex + 1) * 8 <= capacityBits_) out_[byteIndex] = value;
}
