// Bit fields most significant bit first, across byte boundaries.
#include <gtest/gtest.h>

#include <vector>

#include "Sms/BitStream.h"

namespace {

struct FieldCase {
  int offset;
  int width;
  uint16_t value;  // the field in kPattern
};

// 1010 1100  0101 0011  1111 0000
const uint8_t kPattern[] = {0xAC, 0x53, 0xF0};

class BitField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(BitField, ReadsTheField) {
  const FieldCase& c = GetParam();
  if (c.width <= 8) {
    EXPECT_EQ(ReadBits(kPattern, c.offset, c.width), c.value);
  }
  EXPECT_EQ(ReadBits16(kPattern, c.offset, c.width), c.value);
}

// Writing the field's value into zeroed or into all-ones bytes changes only the field.
TEST_P(BitField, WritesOnlyTheField) {
  const FieldCase& c = GetParam();
  for (uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
    uint8_t bytes[3] = {fill, fill, fill};
    if (c.width <= 8)
      WriteBits(static_cast<uint8_t>(c.value | ~((1u << c.width) - 1)), bytes, c.offset, c.width);
    else
      WriteBits16(static_cast<uint16_t>(c.value | ~((1u << c.width) - 1)), bytes, c.offset, c.width);
    for (int bit = 0; bit < 24; ++bit) {
      const bool inField = bit >= c.offset && bit < c.offset + c.width;
      const int want = inField ? (kPattern[bit / 8] >> (7 - bit % 8)) & 1 : fill & 1;
      EXPECT_EQ((bytes[bit / 8] >> (7 - bit % 8)) & 1, want) << "bit " << bit;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Fields, BitField,
                         ::testing::Values(FieldCase{0, 1, 1}, FieldCase{0, 8, 0xAC}, FieldCase{4, 4, 0xC},
                                           FieldCase{5, 5, 0x11},  // across the first boundary
                                           FieldCase{7, 1, 0}, FieldCase{3, 8, 0x62}, FieldCase{0, 16, 0xAC53},
                                           FieldCase{4, 16, 0xC53F},  // three bytes
                                           FieldCase{13, 11, 0x3F0}, FieldCase{23, 1, 0}));

TEST(BitHelpers, WidthsOutOfRangeDoNothing) {
  uint8_t bytes[3] = {0x12, 0x34, 0x56};
  EXPECT_EQ(ReadBits(bytes, 0, 0), 0);
  EXPECT_EQ(ReadBits(bytes, 0, 9), 0);
  EXPECT_EQ(ReadBits16(bytes, 0, 17), 0);
  WriteBits(0xFF, bytes, 0, 9);
  WriteBits16(0xFFFF, bytes, 0, 0);
  EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 3), (std::vector<uint8_t>{0x12, 0x34, 0x56}));
}

TEST(BitReader, StopsAtTheEndOfTheValue) {
  BitReader r(kPattern, 2);
  EXPECT_EQ(r.Read(4), 0xA);
  EXPECT_EQ(r.Read16(12), 0xC53);
  EXPECT_FALSE(r.Failed());
  EXPECT_EQ(r.Read(1), 0);
  EXPECT_TRUE(r.Failed());
  EXPECT_EQ(r.Remaining(), 0);
}

TEST(BitWriter, CountsWithoutOutputAndKeepsToItsCapacity) {
  BitWriter counter(nullptr, 0);
  uint8_t out[3] = {0x77, 0x77, 0x77};
  BitWriter writer(out, 2);
  for (BitWriter* w : {&counter, &writer}) {
    w->Write(0x5, 3);
    w->Write(0x1FF, 9);
    w->PadToByte();
    w->Byte(0xEE);  // does not fit the writer's 2 bytes
  }
  EXPECT_EQ(counter.BytePosition(), 3);
  EXPECT_EQ(writer.BytePosition(), 3);
  EXPECT_FALSE(counter.Overflowed());
  EXPECT_TRUE(writer.Overflowed());
  EXPECT_EQ(out[0], 0xBF);
  EXPECT_EQ(out[1], 0xF0);
  EXPECT_EQ(out[2], 0x77) << "written past the capacity";
}

}  // namespace
