// Bounded copy, append and formatting into fixed-size buffers, and the multibyte
// string wrappers. Sizes count characters and include the terminator; a size of 0
// leaves the buffer untouched, any other size leaves it terminated.
#pragma once
#include <cstdarg>
#include <cstdint>
#include <cwchar>

char* SafeStrCopy(char* dst, const char* src, uint32_t size);
char* SafeStrCat(char* dst, const char* src, uint32_t size);
char* SafeAnsiCopy(char* dst, const char* src, uint32_t size);
char* SafeAnsiCat(char* dst, const char* src, uint32_t size);
wchar_t* SafeWcsCopy(wchar_t* dst, const wchar_t* src, uint32_t size);
wchar_t* SafeWcsCat(wchar_t* dst, const wchar_t* src, uint32_t size);

// The text is written whole or not at all: returns its length, or 0 with an empty buffer.
uint32_t SafeSnprintf(char* buf, uint32_t size, const char* format, ...);
uint32_t SafeAnsiSnprintf(char* buf, uint32_t size, const char* format, ...);
uint32_t SafeSnwprintf(wchar_t* buf, uint32_t size, const wchar_t* format, ...);
uint32_t SafeVsnprintf(char* buf, uint32_t size, const char* format, va_list args);
uint32_t SafeVsnwprintf(wchar_t* buf, uint32_t size, const wchar_t* format, va_list args);

// Formats into buf, cutting what does not fit; always terminated (size > 0).
void FormatCut(char* buf, uint32_t size, const char* format, va_list args);
void FormatCut(wchar_t* buf, uint32_t size, const wchar_t* format, va_list args);

// The same names for either character type, for code written over TCHAR.
inline wchar_t* SafeStrCopy(wchar_t* d, const wchar_t* s, uint32_t n) { return SafeWcsCopy(d, s, n); }
inline wchar_t* SafeStrCat(wchar_t* d, const wchar_t* s, uint32_t n) { return SafeWcsCat(d, s, n); }
uint32_t SafeSnprintf(wchar_t* buf, uint32_t size, const wchar_t* format, ...);

// Multibyte (current code page) wrappers; results as the C library gives them.
const char* MbsFindChar(const char* text, unsigned int ch);
int MbsCompare(const char* a, const char* b);
int MbsCompareNoCase(const char* a, const char* b);
int MbsCompareNoCaseN(const char* a, const char* b, size_t n);
const char* MbsFindText(const char* text, const char* part);
char* MbsUpper(char* text);  // in place; returns text

// Wide forms, for code written over TCHAR.
int MbsCompareNoCase(const wchar_t* a, const wchar_t* b);
const wchar_t* MbsFindText(const wchar_t* text, const wchar_t* part);
wchar_t* MbsUpper(wchar_t* text);
