// How address, subaddress and call-back characters are held in the SDK records. Codes of
// 4 bits are DTMF digits: 1 to 9, 10 for '0', 11 for '*' and 12 for '#'. Characters of
// 8 bits are held as code + '0', with code 10 held as '0'.
#pragma once
#include <cstdint>

inline uint8_t CharFromCode(uint8_t code, int width) {
  if (code == 10) return '0';
  if (width == 4 && code == 11) return '*';
  if (width == 4 && code == 12) return '#';
  return static_cast<uint8_t>(code + '0');
}

inline uint8_t CodeFromChar(uint8_t ch, int width) {
  if (ch == '0') return 10;
  if (width == 4 && ch == '*') return 11;
  if (width == 4 && ch == '#') return 12;
  const uint8_t mask = width == 4 ? 0x0F : 0xFF;
  return static_cast<uint8_t>((ch - '0') & mask);
}
