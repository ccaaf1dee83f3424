#include <gtest/gtest.h>

#include <mbctype.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include "PeripheryTestSupport.h"

namespace {

std::vector<std::string> Tokens(CommandLineTokenizer& t) {
  std::vector<std::string> out;
  for (int i = 0; i < 50; ++i) {
    const char* token = t.NextToken();
    if (!token) break;
    out.push_back(token);
  }
  return out;
}

struct TokenCase {
  const char* name;
  const char* text;
  std::vector<std::string> want;
};
class Tokenizing : public ::testing::TestWithParam<TokenCase> {};
TEST_P(Tokenizing, SplitsAtBlanksAndLineEndsOutsideQuotes) {
  CommandLineTokenizer t(GetParam().text);
  EXPECT_EQ(Tokens(t), GetParam().want);
  EXPECT_EQ(t.NextToken(), nullptr);  // stays used up
}
INSTANTIATE_TEST_SUITE_P(
    CommandLineTokenizer, Tokenizing,
    ::testing::Values(TokenCase{"Blanks", "  -v   /Level3 name ", {"-v", "/Level3", "name"}},
                      TokenCase{"SingleQuotes", "-out 'my file.txt' x", {"-out", "my file.txt", "x"}},
                      TokenCase{"QuotesInsideAWord", "ab'c d'e", {"abc de"}},
                      TokenCase{"EmptyQuotes", "''", {""}},
                      TokenCase{"EmptyDoubleQuotesThenWord", "\"\" x", {"", "x"}},
                      TokenCase{"OpenQuoteRunsToTheEnd", "-x 'a b", {"-x", "a b"}},
                      TokenCase{"TabIsNoSeparator", "a\tb c", {"a\tb", "c"}},
                      TokenCase{"LineEnds", "a\r\nb\n\rc", {"a", "b", "c"}},
                      TokenCase{"DoubleInsideSingle", "'say \"hi\"'", {"say \"hi\""}},
                      TokenCase{"SingleInsideDouble", "\"it's here\"", {"it's here"}},
                      TokenCase{"QuotedLineEnd", "\"a\r\nb\"", {"a\r\nb"}},
                      TokenCase{"BlanksOnly", "  \r\n ", {}},
                      TokenCase{"Empty", "", {}}),
    [](const ::testing::TestParamInfo<TokenCase>& info) { return info.param.name; });

TEST(CommandLineTokenizer, SetTextReportsOnlyFailureAsFailure) {
  CommandLineTokenizer t;
  EXPECT_EQ(t.NextToken(), nullptr);
  EXPECT_TRUE(t.SetText(nullptr));
  EXPECT_EQ(t.NextToken(), nullptr);
  EXPECT_TRUE(t.SetText("one two"));
  EXPECT_STREQ(t.NextToken(), "one");
  {
    qeltest::FailLocalBlocks noMemory(0, SIZE_MAX);
    EXPECT_FALSE(t.SetText("three"));
  }
  EXPECT_EQ(t.NextToken(), nullptr);
}

TEST(CommandLineTokenizer, LeavesTheCallersTextAlone) {
  char text[] = "'a b' c";
  CommandLineTokenizer t(text);
  EXPECT_EQ(Tokens(t), (std::vector<std::string>{"a b", "c"}));
  EXPECT_STREQ(text, "'a b' c");
}

TEST(CommandLineTokenizer, CanRestartFromOneOfItsOwnTokens) {
  CommandLineTokenizer t("'x y' z");
  char* token = t.NextToken();
  EXPECT_TRUE(t.SetText(token));
  EXPECT_EQ(Tokens(t), (std::vector<std::string>{"x", "y"}));
}

std::vector<std::string> g_calls;
bool OnV(const char* rest) { return g_calls.push_back("v:" + std::string(rest)), true; }
bool OnVerbose(const char* rest) { return g_calls.push_back("verbose:" + std::string(rest)), true; }
bool OnLevel(const char* rest) { return g_calls.push_back("level:" + std::string(rest)), true; }
bool OnStop(const char* rest) { return g_calls.push_back("stop:" + std::string(rest)), false; }
bool OnOther(const char* text) { return g_calls.push_back("other:" + std::string(text)), true; }

struct ParseCase {
  const char* name;
  std::vector<const char*> names;  // without the closing NULL
  bool withDefault;
  const char* text;
  bool want;
  std::vector<std::string> wantCalls;
};

CommandLineParser::SwitchHandler HandlerFor(const std::string& name) {
  if (name == "v") return OnV;
  if (name == "verbose") return OnVerbose;
  if (name == "level") return OnLevel;
  return OnStop;
}

class Parsing : public ::testing::TestWithParam<ParseCase> {};
TEST_P(Parsing, SendsTokensToTheFirstMatchingName) {
  const ParseCase& k = GetParam();
  std::vector<const char*> names = k.names;
  std::vector<CommandLineParser::SwitchHandler> handlers;
  for (const char* n : names) handlers.push_back(HandlerFor(n));
  names.push_back(nullptr);
  g_calls.clear();
  CommandLineParser parser(k.text, names.data(), handlers.data(), k.withDefault ? OnOther : nullptr);
  EXPECT_EQ(parser.Parse(), k.want);
  EXPECT_EQ(g_calls, k.wantCalls);
}
INSTANTIATE_TEST_SUITE_P(
    CommandLineParser, Parsing,
    ::testing::Values(
        ParseCase{"ShortNameFirst", {"v", "verbose"}, true, "-verbose", true, {"v:erbose"}},
        ParseCase{"LongNameFirstShort", {"verbose", "v"}, true, "-v", true, {"v:"}},
        ParseCase{"LongNameFirstLong", {"verbose", "v"}, true, "-VERBOSE", true, {"verbose:"}},
        ParseCase{"ValueBehindName", {"level"}, true, "/LEVEL5", true, {"level:5"}},
        ParseCase{"QuotedValue", {"level"}, true, "-level'a b'", true, {"level:a b"}},
        ParseCase{"UnknownSwitchToDefault", {"v"}, true, "-z", true, {"other:z"}},
        ParseCase{"UnknownSwitchNoDefault", {"v"}, false, "-z -v", false, {}},
        ParseCase{"WordToDefault", {"v"}, true, "word /v", true, {"other:word", "v:"}},
        ParseCase{"WordNoDefault", {"v"}, false, "word", false, {}},
        ParseCase{"EmptyToken", {"v"}, true, "''", true, {"other:"}},
        ParseCase{"BareDash", {"v"}, true, "-", true, {"other:"}},
        ParseCase{"EmptyText", {"v"}, false, "", true, {}},
        ParseCase{"BlanksOnly", {"v"}, false, "   ", true, {}},
        ParseCase{"HandlerStops", {"stop", "v"}, true, "-stop -v", false, {"stop:"}},
        ParseCase{"NoNames", {}, true, "-v x", true, {"other:v", "other:x"}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

TEST(CommandLineParser, ANewParseGoesOnBehindTheFailedToken) {
  const char* names[] = {"stop", "v", nullptr};
  const CommandLineParser::SwitchHandler handlers[] = {OnStop, OnV};
  CommandLineParser parser("-stop -v /v1", names, handlers, nullptr);
  g_calls.clear();
  EXPECT_FALSE(parser.Parse());
  EXPECT_TRUE(parser.Parse());
  EXPECT_EQ(g_calls, (std::vector<std::string>{"stop:", "v:1"}));
}

// Names are compared over their length in bytes, so a double-byte name matches the
// start of a longer word.
TEST(CommandLineParser, ComparesNamesByBytesInDoubleByteCodePages) {
  int before = _getmbcp();
  ASSERT_EQ(_setmbcp(932), 0);
  const char* names[] = {"\x82\xA0", nullptr};
  const CommandLineParser::SwitchHandler handlers[] = {OnV};
  CommandLineParser parser("-\x82\xA0x", names, handlers, nullptr);
  g_calls.clear();
  bool parsed = parser.Parse();
  _setmbcp(before);
  EXPECT_TRUE(parsed);
  EXPECT_EQ(g_calls, std::vector<std::string>{"v:x"});
}

}  // namespace
