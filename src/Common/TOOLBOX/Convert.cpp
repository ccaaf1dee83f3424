#include "Convert.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

// Characters to take: up to and including the first stop character, else the terminator.
template <class Ch>
int CountToStop(const Ch* text, Ch stop) {
  size_t i = 0;
  for (; text[i]; ++i)
    if (stop && text[i] == stop) break;
  return static_cast<int>(i + 1);
}

template <class Ch>
LocalAllocPtr<Ch> CopyToStop(const Ch* text, Ch stop) {
  if (!text) return {};
  int n = CountToStop(text, stop);
  auto out = LocalAllocPtr<Ch>::Allocate(n);
  if (!out) return {};
  std::memcpy(out.get(), text, n * sizeof(Ch));
  out.get()[n - 1] = 0;  // the stop character, or the terminator, ends the copy
  return out;
}

}  // namespace

LocalAllocPtr<char> AnsiCopy(const char* text, char stopChar) { return CopyToStop(text, stopChar); }
LocalAllocPtr<wchar_t> WideCopy(const wchar_t* text, wchar_t stopChar) { return CopyToStop(text, stopChar); }

LocalAllocPtr<char> WideToAnsi(const wchar_t* text, wchar_t stopChar) {
  if (!text) return {};
  int n = CountToStop(text, stopChar);
  int bytes = WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  auto out = LocalAllocPtr<char>::Allocate(bytes);
  if (!out || WideCharToMultiByte(CP_ACP, 0, text, n, out.get(), bytes, nullptr, nullptr) != bytes)
    return {};
  out.get()[bytes - 1] = 0;
  return out;
}

LocalAllocPtr<wchar_t> AnsiToWide(const char* text, char stopChar) {
  if (!text) return {};
  int n = CountToStop(text, stopChar);
  int chars = MultiByteToWideChar(CP_ACP, 0, text, n, nullptr, 0);
  if (chars <= 0) return {};
  auto out = LocalAllocPtr<wchar_t>::Allocate(chars);
  if (!out || MultiByteToWideChar(CP_ACP, 0, text, n, out.get(), chars) != chars) return {};
  out.get()[chars - 1] = 0;
  return out;
}

LocalAllocPtr<char> WideToLatin1(const wchar_t* text) {
  if (!text || !*text) return {};
  size_t len = std::wcslen(text);
  auto out = LocalAllocPtr<char>::Allocate(len + 1);
  if (!out) return {};
  for (size_t i = 0; i < len; ++i) out.get()[i] = text[i] <= 0xFF ? static_cast<char>(text[i]) : '?';
  out.get()[len] = 0;
  return out;
}

LocalAllocPtr<char> AnsiDuplicate(const char* text) {
  if (!text) return {};
  size_t len = std::strlen(text);
  auto out = LocalAllocPtr<char>::Allocate(len + 1);
  if (out) std::memcpy(out.get(), text, len + 1);
  return out;
}

LocalAllocPtr<char> EscapeCrLf(const char* text, char crChar, char lfChar) {
  if (!text) return {};
  size_t len = 0, marks = 0;
  for (; text[len]; ++len)
    if (text[len] == crChar || text[len] == lfChar) ++marks;
  auto out = LocalAllocPtr<char>::Allocate(len + 3 * marks + 1);
  if (!out) return {};
  char* p = out.get();
  for (size_t i = 0; i < len; ++i) {
    if (text[i] == crChar) p = std::strcpy(p, "<cr>") + 4;
    else if (text[i] == lfChar) p = std::strcpy(p, "<lf>") + 4;
    else *p++ = text[i];
  }
  *p = 0;
  return out;
}

LocalAllocPtr<char> EscapeBytes(const void* buffer, uint32_t length, bool escape, uint8_t crByte,
                                uint8_t lfByte) {
  if (!buffer) return {};
  auto bytes = static_cast<const uint8_t*>(buffer);
  size_t extra = 0;
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t b = bytes[i];
    if (b == crByte || b == lfByte) extra += 3;
    else if ((b < 32 || b > 126) && escape) extra += 3;
  }
  auto out = LocalAllocPtr<char>::Allocate(size_t{length} + extra + 1);
  if (!out) return {};
  char* p = out.get();
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t b = bytes[i];
    if (b == crByte) p = std::strcpy(p, "<cr>") + 4;
    else if (b == lfByte) p = std::strcpy(p, "<lf>") + 4;
    else if (b >= 32 && b <= 126) *p++ = static_cast<char>(b);
    else if (escape) p += std::sprintf(p, "[%02x]", b);
    else *p++ = '?';
  }
  *p = 0;
  return out;
}

LocalAllocPtr<char> HexDump(const void* buffer, uint32_t length) {
  if (!buffer) return {};
  auto bytes = static_cast<const uint8_t*>(buffer);
  auto out = LocalAllocPtr<char>::Allocate(size_t{3} * length + length / 8 + 2);
  if (!out) return {};
  char* p = out.get();
  for (uint32_t i = 0; i < length; ++i) {
    if (i != 0 && i % 16 == 0) *p++ = '\n';
    p += std::sprintf(p, "%02x ", bytes[i]);
  }
  *p = 0;
  return out;
}
