// A host program's run as a table case: its script, the lines its output must (and must not)
// hold, and what the simulated SDK must have seen. Every run must end normally, with no fault
// counted, no close that gave up waiting for a delivery, no SDK session opened over another
// and no call in flight when the SDK was closed.
#pragma once
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "PluginFixture.h"
#include "ScriptedHost.h"

namespace plugintest {

struct HostCase {
  const char* name;
  const char* script;
  std::vector<const char*> lines;     // each must be in the output
  std::vector<const char*> absent;    // none may be
  bool noSdkCallAfterClose;           // nothing reaches the SDK once it was closed
  int closes = -1;                    // QelApiClose calls, when told
  void (*prepare)(ScriptedHost&) = nullptr;  // scripts the stand-ins before the run
  int elapsedMin = -1, elapsedMax = -1;      // bounds of the last "elapsed" line, when told
};

inline std::string CaseName(const ::testing::TestParamInfo<HostCase>& i) { return i.param.name; }
inline void PrintTo(const HostCase& c, std::ostream* os) { *os << c.script; }

// The host's output with its line ends as "\n" (its standard output is in text mode).
inline std::string RunLines(ScriptedHost& host, const std::string& script, DWORD* code) {
  std::string out = host.Run(script, code);
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  return out;
}

// Runs the case's script; the host must end normally with no fault counted.
class HostRun : public PluginTest, public ::testing::WithParamInterface<HostCase> {
 protected:
  void Check(ScriptedHost& host) {
    const HostCase& c = GetParam();
    if (c.prepare) c.prepare(host);
    DWORD code = 0;
    out_ = RunLines(host, c.script, &code);
    EXPECT_EQ(code, 0u) << out_;
    EXPECT_NE(out_.find("faults: 0\n"), std::string::npos) << out_;
    for (const char* line : c.lines) EXPECT_NE(out_.find(line), std::string::npos) << line << "\n" << out_;
    for (const char* line : c.absent) EXPECT_EQ(out_.find(line), std::string::npos) << line << "\n" << out_;
    // A close that had to stop waiting for a delivery in flight: the shutdown and the
    // notification blocked each other.
    EXPECT_EQ(host.sdk->closeWaitsGivenUp, 0u);
    EXPECT_EQ(host.sdk->overlappingOpens, 0u) << "two SDK sessions at once\n" << out_;
    EXPECT_EQ(host.sdk->callsOverlappingClose, 0u) << "closed under a call in flight\n" << out_;
    if (c.closes >= 0) {
      EXPECT_EQ(host.sdk.Calls("QelApiClose").size(), static_cast<size_t>(c.closes)) << out_;
    }
    if (c.noSdkCallAfterClose) {
      std::vector<SimSdkCall> calls = host.sdk.Calls();
      auto close = std::find_if(calls.rbegin(), calls.rend(),
                                [](const SimSdkCall& k) { return std::strcmp(k.name, "QelApiClose") == 0; });
      ASSERT_NE(close, calls.rend()) << out_;
      for (auto k = calls.rbegin(); k != close; ++k) ADD_FAILURE() << "after the close: " << k->name;
    }
    if (c.elapsedMax >= 0) {
      size_t at = out_.rfind("elapsed: ");
      ASSERT_NE(at, std::string::npos) << out_;
      int ms = std::atoi(out_.c_str() + at + 9);
      EXPECT_GE(ms, c.elapsedMin) << out_;
      EXPECT_LE(ms, c.elapsedMax) << out_;
    }
  }
  std::string out_;
};

}  // namespace plugintest
