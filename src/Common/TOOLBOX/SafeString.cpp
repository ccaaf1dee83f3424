#include "SafeString.h"

#include <mbstring.h>
#include <cstdio>
#include <cstring>
#include <cwctype>

namespace {

template <class Ch>
size_t BoundedLength(const Ch* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

template <class Ch>
Ch* Copy(Ch* dst, const Ch* src, uint32_t size) {
  if (size == 0 || !dst) return dst;
  static const Ch kEmpty[1] = {0};
  if (!src) src = kEmpty;
  // Copy at most size - 1 characters, the terminator included when it fits.
  size_t n = BoundedLength(src, size - 1);
  if (n < size - 1) ++n;
  std::memmove(dst, src, n * sizeof(Ch));
  dst[size - 1] = 0;
  return dst;
}

template <class Ch>
Ch* Cat(Ch* dst, const Ch* src, uint32_t size) {
  if (size == 0 || !dst) return dst;
  // An unterminated or full destination gets nothing appended.
  size_t d = BoundedLength(dst, size);
  if (d < size - 1 && src) Copy(dst + d, src, static_cast<uint32_t>(size - d));
  dst[size - 1] = 0;
  return dst;
}

}  // namespace

char* SafeStrCopy(char* dst, const char* src, uint32_t size) { return Copy(dst, src, size); }
char* SafeStrCat(char* dst, const char* src, uint32_t size) { return Cat(dst, src, size); }
char* SafeAnsiCopy(char* dst, const char* src, uint32_t size) { return Copy(dst, src, size); }
char* SafeAnsiCat(char* dst, const char* src, uint32_t size) { return Cat(dst, src, size); }
wchar_t* SafeWcsCopy(wchar_t* dst, const wchar_t* src, uint32_t size) { return Copy(dst, src, size); }
wchar_t* SafeWcsCat(wchar_t* dst, const wchar_t* src, uint32_t size) { return Cat(dst, src, size); }

uint32_t SafeVsnprintf(char* buf, uint32_t size, const char* format, va_list args) {
  if (size == 0 || !buf) return 0;
  int n = format ? std::vsnprintf(buf, size, format, args) : 0;  // C99: terminates, returns the need
  if (n <= 0 || static_cast<uint32_t>(n) > size - 1) {
    buf[0] = 0;
    return 0;
  }
  return static_cast<uint32_t>(n);
}

uint32_t SafeVsnwprintf(wchar_t* buf, uint32_t size, const wchar_t* format, va_list args) {
  if (size == 0 || !buf) return 0;
  // The Microsoft formatter: %s is wide; -1 when the text does not fit into size - 1.
  int n = format ? _vsnwprintf(buf, size - 1, format, args) : 0;
  if (n <= 0) {
    buf[0] = 0;
    return 0;
  }
  buf[size - 1] = 0;
  buf[n] = 0;
  return static_cast<uint32_t>(n);
}

uint32_t SafeSnprintf(char* buf, uint32_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  uint32_t n = SafeVsnprintf(buf, size, format, args);
  va_end(args);
  return n;
}

uint32_t SafeAnsiSnprintf(char* buf, uint32_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  uint32_t n = SafeVsnprintf(buf, size, format, args);
  va_end(args);
  return n;
}

uint32_t SafeSnwprintf(wchar_t* buf, uint32_t size, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  uint32_t n = SafeVsnwprintf(buf, size, format, args);
  va_end(args);
  return n;
}

uint32_t SafeSnprintf(wchar_t* buf, uint32_t size, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  uint32_t n = SafeVsnwprintf(buf, size, format, args);
  va_end(args);
  return n;
}

void FormatCut(char* buf, uint32_t size, const char* format, va_list args) {
  if (size == 0) return;
  buf[0] = 0;
  if (format) std::vsnprintf(buf, size, format, args);
  buf[size - 1] = 0;
}

void FormatCut(wchar_t* buf, uint32_t size, const wchar_t* format, va_list args) {
  if (size == 0) return;
  buf[0] = 0;
  if (format) _vsnwprintf(buf, size - 1, format, args);
  buf[size - 1] = 0;
}

namespace {
const unsigned char* U(const char* s) { return reinterpret_cast<const unsigned char*>(s); }
}  // namespace

const char* MbsFindChar(const char* text, unsigned int ch) {
  return reinterpret_cast<const char*>(_mbschr(U(text), ch));
}
int MbsCompare(const char* a, const char* b) { return _mbscmp(U(a), U(b)); }
int MbsCompareNoCase(const char* a, const char* b) { return _mbsicmp(U(a), U(b)); }
int MbsCompareNoCaseN(const char* a, const char* b, size_t n) { return _mbsnbicmp(U(a), U(b), n); }  // n bytes
const char* MbsFindText(const char* text, const char* part) {
  return reinterpret_cast<const char*>(_mbsstr(U(text), U(part)));
}
char* MbsUpper(char* text) { return reinterpret_cast<char*>(_mbsupr(reinterpret_cast<unsigned char*>(text))); }

int MbsCompareNoCase(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b); }
const wchar_t* MbsFindText(const wchar_t* text, const wchar_t* part) { return std::wcsstr(text, part); }
wchar_t* MbsUpper(wchar_t* text) { return _wcsupr(text); }
