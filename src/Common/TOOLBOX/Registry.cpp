#include "Registry.h"

#include <cwchar>
#include <cstring>

#include "Handles.h"

namespace {

LONG CreateKey(HKEY root, const char* sub, REGSAM access, HKEY* key) {
  return RegCreateKeyExA(root, sub, 0, const_cast<char*>(""), 0, access, nullptr, key, nullptr);
}
LONG CreateKey(HKEY root, const wchar_t* sub, REGSAM access, HKEY* key) {
  return RegCreateKeyExW(root, sub, 0, const_cast<wchar_t*>(L""), 0, access, nullptr, key, nullptr);
}
LONG Query(HKEY key, const char* name, DWORD* type, void* data, DWORD* size) {
  return RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(data), size);
}
LONG Query(HKEY key, const wchar_t* name, DWORD* type, void* data, DWORD* size) {
  return RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(data), size);
}
LONG Set(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
  return RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
}
LONG Set(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  return RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
}
size_t Length(const char* s) { return std::strlen(s); }
size_t Length(const wchar_t* s) { return std::wcslen(s); }

// Queries one value; *size is the buffer size in bytes on entry, the data size on return.
template <class Ch>
bool ReadValue(HKEY root, const Ch* sub, const Ch* name, void* data, DWORD* size, DWORD* type) {
  UniqueRegKey key;
  if (CreateKey(root, sub, KEY_READ, key.put()) != ERROR_SUCCESS) return false;
  return Query(key.get(), name, type, data, size) == ERROR_SUCCESS;
}

template <class Ch>
bool WriteValue(HKEY root, const Ch* sub, const Ch* name, DWORD type, const void* data, DWORD size) {
  UniqueRegKey key;
  if (CreateKey(root, sub, KEY_WRITE, key.put()) != ERROR_SUCCESS) return false;
  return Set(key.get(), name, type, data, size) == ERROR_SUCCESS;
}

template <class Ch>
bool ReadDword(HKEY root, const Ch* sub, const Ch* name, DWORD* value) {
  if (!value) return false;
  DWORD v = 0, size = sizeof(v);
  if (!ReadValue(root, sub, name, &v, &size, nullptr) || size != sizeof(v)) return false;
  *value = v;
  return true;
}

template <class Ch>
bool ReadBool(HKEY root, const Ch* sub, const Ch* name, bool* value) {
  DWORD v = 0;
  if (!value || !ReadDword(root, sub, name, &v)) return false;
  *value = v != 0;
  return true;
}

template <class Ch>
bool ReadBinary(HKEY root, const Ch* sub, const Ch* name, void* buffer, DWORD size) {
  if (!buffer) return false;
  DWORD got = size;
  return ReadValue(root, sub, name, buffer, &got, nullptr) && got == size;
}

template <class Ch>
bool ReadString(HKEY root, const Ch* sub, const Ch* name, Ch* buffer, DWORD size, DWORD* type) {
  if (!buffer || size == 0) return false;
  DWORD bytes = size * sizeof(Ch), t = REG_NONE;
  bool ok = ReadValue(root, sub, name, buffer, &bytes, &t);
  // Stored strings need not be terminated: end the text where the data ends.
  DWORD chars = ok ? bytes / sizeof(Ch) : 0;
  buffer[chars < size ? chars : size - 1] = 0;
  buffer[size - 1] = 0;
  if (type) *type = ok ? t : REG_NONE;
  return ok;
}

template <class Ch>
bool WriteString(HKEY root, const Ch* sub, const Ch* name, const Ch* text) {
  if (!text) return false;
  return WriteValue(root, sub, name, REG_SZ, text, static_cast<DWORD>((Length(text) + 1) * sizeof(Ch)));
}

}  // namespace

#define QEL_REGISTRY_FORMS(Ch)                                                                        \
  bool RegReadDword(HKEY r, const Ch* s, const Ch* n, DWORD* v) { return ReadDword(r, s, n, v); }    \
  bool RegWriteDword(HKEY r, const Ch* s, const Ch* n, DWORD v) {                                    \
    return WriteValue(r, s, n, REG_DWORD, &v, sizeof(v));                                            \
  }                                                                                                  \
  bool RegReadBool(HKEY r, const Ch* s, const Ch* n, bool* v) { return ReadBool(r, s, n, v); }       \
  bool RegWriteBool(HKEY r, const Ch* s, const Ch* n, bool v) {                                      \
    DWORD d = v ? 1 : 0;                                                                             \
    return WriteValue(r, s, n, REG_DWORD, &d, sizeof(d));                                            \
  }                                                                                                  \
  bool RegReadBinary(HKEY r, const Ch* s, const Ch* n, void* b, DWORD size) {                        \
    return ReadBinary(r, s, n, b, size);                                                             \
  }                                                                                                  \
  bool RegWriteBinary(HKEY r, const Ch* s, const Ch* n, const void* d, DWORD size) {                 \
    return d && WriteValue(r, s, n, REG_BINARY, d, size);                                            \
  }                                                                                                  \
  bool RegReadString(HKEY r, const Ch* s, const Ch* n, Ch* b, DWORD size, DWORD* type) {             \
    return ReadString(r, s, n, b, size, type);                                                       \
  }                                                                                                  \
  bool RegWriteString(HKEY r, const Ch* s, const Ch* n, const Ch* t) { return WriteString(r, s, n, t); }

QEL_REGISTRY_FORMS(char)
QEL_REGISTRY_FORMS(wchar_t)
