// Conversions and display forms; each returns a new terminated text in a LocalAllocPtr,
// empty for no input or a failed allocation or conversion.
#pragma once
#include <windows.h>
#include <cstdint>

#include "Handles.h"

LocalAllocPtr<char> AnsiCopy(const char* text, char stopChar);
LocalAllocPtr<char> WideToAnsi(const wchar_t* text, wchar_t stopChar);
LocalAllocPtr<wchar_t> AnsiToWide(const char* text, char stopChar);
LocalAllocPtr<wchar_t> WideCopy(const wchar_t* text, wchar_t stopChar);
LocalAllocPtr<char> WideToLatin1(const wchar_t* text);
LocalAllocPtr<char> AnsiDuplicate(const char* text);
LocalAllocPtr<char> EscapeCrLf(const char* text, char crChar, char lfChar);
LocalAllocPtr<char> EscapeBytes(const void* buffer, uint32_t length, bool escape, uint8_t crByte,
                                uint8_t lfByte);
LocalAllocPtr<char> HexDump(const void* buffer, uint32_t length);

// The ANSI bytes of a text of either character type (a copy, or the ANSI conversion).
inline LocalAllocPtr<char> ToAnsiBytes(const char* text) { return AnsiCopy(text, 0); }
inline LocalAllocPtr<char> ToAnsiBytes(const wchar_t* text) { return WideToAnsi(text, 0); }
