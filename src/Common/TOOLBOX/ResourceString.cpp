#include "ResourceString.h"

#include "LocalHeap.h"

const char* ResourceString::Load(HINSTANCE instance, UINT id) {
  if (!text_) text_.reset(static_cast<char*>(LocalBlockAlloc(kBufferChars)));
  if (text_) {
    text_.get()[0] = '\0';
    ::LoadStringA(instance, id, text_.get(), kBufferChars);  // a missing id leaves the empty text
  }
  return GetText();
}
