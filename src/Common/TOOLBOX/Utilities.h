// Small helpers: a random integer from a range, memory and string checks, and text
// conveniences.
#pragma once
#include <cstdint>

// A pseudo-random value from the C library's generator in low..high, both included;
// the bounds may come in either order.
int RandomInRange(int low, int high);

// Whether size bytes at p can be read or written without a fault: every page must be
// committed with a protection that allows it. A size of 0 is always accessible. The
// answer describes the moment of the check.
bool IsReadablePointer(const void* p, uint32_t size);
bool IsWritablePointer(void* p, uint32_t size);

// Whether the whole string with its terminator can be read, or written.
bool IsReadableString(const char* s);
bool IsReadableString(const unsigned char* s);
bool IsWritableString(char* s);
bool IsWritableString(unsigned char* s);
bool IsReadableWideString(const wchar_t* s);
bool IsWritableWideString(wchar_t* s);

// The text text points to; the empty string when either pointer is NULL.
const char* TextOrEmpty(const char* const* text);

// The first occurrence of part in text (text itself for an empty part), or NULL.
const char* MbsFindString(const char* text, const char* part);
