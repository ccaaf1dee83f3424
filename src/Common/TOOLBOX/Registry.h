// One-value registry reads and writes. Readers open the subkey with create semantics
// (a missing subkey is left created and empty); all return false on any failure.
#pragma once
#include <windows.h>
#include <cstdint>

bool RegReadDword(HKEY root, const char* subkey, const char* name, DWORD* value);
bool RegWriteDword(HKEY root, const char* subkey, const char* name, DWORD value);
bool RegReadBool(HKEY root, const char* subkey, const char* name, bool* value);
bool RegWriteBool(HKEY root, const char* subkey, const char* name, bool value);
bool RegReadBinary(HKEY root, const char* subkey, const char* name, void* buffer, DWORD size);
bool RegWriteBinary(HKEY root, const char* subkey, const char* name, const void* data, DWORD size);
// The buffer is always terminated; type, when given, receives the value's type.
bool RegReadString(HKEY root, const char* subkey, const char* name, char* buffer, DWORD size,
                   DWORD* type = nullptr);
bool RegWriteString(HKEY root, const char* subkey, const char* name, const char* text);

bool RegReadDword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD* value);
bool RegWriteDword(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value);
bool RegReadBool(HKEY root, const wchar_t* subkey, const wchar_t* name, bool* value);
bool RegWriteBool(HKEY root, const wchar_t* subkey, const wchar_t* name, bool value);
bool RegReadBinary(HKEY root, const wchar_t* subkey, const wchar_t* name, void* buffer, DWORD size);
bool RegWriteBinary(HKEY root, const wchar_t* subkey, const wchar_t* name, const void* data, DWORD size);
bool RegReadString(HKEY root, const wchar_t* subkey, const wchar_t* name, wchar_t* buffer, DWORD size,
                   DWORD* type = nullptr);
bool RegWriteString(HKEY root, const wchar_t* subkey, const wchar_t* name, const wchar_t* text);
