// The plug-in's only diagnostic output: one printf-style routine that writes each line to
// the debugger output behind four blanks and a "%02d.%03d " stamp, under one lock.
#pragma once
#include <string>

// Formats with the rules of wvsprintfA (at most 1024 characters); adds no line end.
void DebugLog(const char* format, ...);
// The stamp of the current tick count: seconds modulo 100, a dot, milliseconds, a blank.
std::string DebugLogTimestamp();

// Reads the computer's manufacturer from WMI (ROOT\CIMV2 Win32_ComputerSystem). On entry
// *length is the buffer's capacity with its terminator. 0: the name and its length are
// written; 2: too small, *length is the size needed; 1: no name (buffer and length untouched).
int GetOEMManufacturerStr(char* buffer, int* length);
