// Splitting a command line into tokens, and sending switches to their handlers.
#pragma once
#include "Handles.h"

// Tokens end at blanks, carriage returns and line feeds (not tabs); single and double
// quotes group separators into a token and are removed.
class CommandLineTokenizer {
 public:
  CommandLineTokenizer() = default;
  explicit CommandLineTokenizer(const char* text) { SetText(text); }
  CommandLineTokenizer(const CommandLineTokenizer&) = delete;
  CommandLineTokenizer& operator=(const CommandLineTokenizer&) = delete;

  // Replaces the text with a copy of text (none for NULL) and restarts. False only
  // when the copy cannot be made; no text is held then.
  bool SetText(const char* text);
  // The next token inside the copy, valid until SetText or destruction; NULL at the end.
  char* NextToken();

 private:
  LocalAllocPtr<char> text_;
  char* cursor_ = nullptr;
};

// A token starting with "-" or "/" goes to the first handler whose name begins its text
// (compared without regard to case), with what follows the name; every other token goes
// to the default callback. A handler or the callback returns false to stop.
class CommandLineParser : public CommandLineTokenizer {
 public:
  using SwitchHandler = bool (*)(const char* rest);
  using DefaultCallback = bool (*)(const char* text);

  // switchNames ends with a NULL entry; handlers has one entry for each name. Both and
  // the callback must outlive the parser.
  CommandLineParser(const char* text, const char* const* switchNames, const SwitchHandler* handlers,
                    DefaultCallback defaultCallback);

  bool Parse();

 private:
  bool Dispatch(const char* token);

  const char* const* switchNames_;
  const SwitchHandler* handlers_;
  DefaultCallback defaultCallback_;
};
