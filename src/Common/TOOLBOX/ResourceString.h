// A narrow string loaded from a module's string table, cut to 511 characters.
#pragma once
#include <windows.h>

#include "Handles.h"

class ResourceString {
 public:
  static constexpr int kBufferChars = 512;

  ResourceString() = default;
  ResourceString(HINSTANCE instance, UINT id) { Load(instance, id); }
  ResourceString(const ResourceString&) = delete;
  ResourceString& operator=(const ResourceString&) = delete;

  // The loaded text; empty when the id is missing or no buffer could be allocated.
  const char* Load(HINSTANCE instance, UINT id);
  const char* GetText() const { return text_ ? text_.get() : ""; }

 private:
  LocalAllocPtr<char> text_;  // kBufferChars, kept from the first Load
};
