#include "CommandLine.h"

#include <windows.h>
#include <cstring>
#include <utility>

#include "LocalHeap.h"
#include "SafeString.h"

namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\r' || c == '\n'; }

}  // namespace

bool CommandLineTokenizer::SetText(const char* text) {
  // The copy is made before the old one goes: text may be one of our own tokens.
  LocalAllocPtr<char> copy;
  if (text) {
    size_t size = std::strlen(text) + 1;
    copy.reset(static_cast<char*>(LocalBlockAlloc(size)));
    if (copy) std::memcpy(copy.get(), text, size);
  }
  bool ok = !text || copy;
  text_ = std::move(copy);
  cursor_ = text_.get();
  return ok;
}

char* CommandLineTokenizer::NextToken() {
  if (!cursor_ || !*cursor_) return nullptr;
  while (IsSeparator(*cursor_)) ++cursor_;
  if (!*cursor_) return nullptr;

  char* token = cursor_;
  char* write = cursor_;
  bool inDouble = false;
  bool inSingle = false;
  for (char* read = cursor_;; ++read) {
    char c = *read;
    if (c == '\0') {
      cursor_ = nullptr;  // used up
      break;
    }
    if (IsSeparator(c) && !inDouble && !inSingle) {
      cursor_ = read + 1;
      break;
    }
    if (c == '"' && !inSingle) {
      inDouble = !inDouble;
    } else if (c == '\'' && !inDouble) {
      inSingle = !inSingle;
    } else {
      *write++ = c;
    }
  }
  *write = '\0';
  return token;
}

CommandLineParser::CommandLineParser(const char* text, const char* const* switchNames,
                                     const SwitchHandler* handlers, DefaultCallback defaultCallback)
    : switchNames_(switchNames), handlers_(handlers), defaultCallback_(defaultCallback) {
  SetText(text);
}

bool CommandLineParser::Dispatch(const char* token) {
  if (token[0] == '-' || token[0] == '/') {
    const char* word = token + 1;
    for (int i = 0; switchNames_ && switchNames_[i]; ++i) {
      size_t n = std::strlen(switchNames_[i]);
      if (MbsCompareNoCaseN(word, switchNames_[i], n) == 0) return handlers_[i](word + n);
    }
    token = word;
  }
  return defaultCallback_ ? defaultCallback_(token) : false;
}

bool CommandLineParser::Parse() {
  bool result = true;
  for (char* token = NextToken(); token; ) {
    result = Dispatch(token);
    token = NextToken();
    if (!result) break;
  }
  return result;
}
