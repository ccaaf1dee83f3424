// The field-test trace: header, one line a tick, the callback slot and the timer, against
// the simulated SDK; the real one-second timer in a host program.
#include <array>

#include "ParametersTestSeams.h"
#include "PluginFixture.h"
#include "ScriptedHost.h"

namespace {

using namespace plugintest;

struct Delivered {
  std::string text;
  int length;
  int fn;  // which callback received it
};
std::vector<Delivered> g_delivered;  // delivered on the test's thread only
void __cdecl FieldTest1(const char* text, int length) { g_delivered.push_back({text, length, 1}); }
void __cdecl FieldTest2(const char* text, int length) { g_delivered.push_back({text, length, 2}); }

const std::string kHeader =
    "Directory #,Home SID,Accolc,Slot Cycle Index,SystemPref,SW Version,HW Version,PRL,ERI Version,"
    "HDR Power Save,HDR Roam Status,NAI,Mn Ha Spi Enable,Mn Ha Spi,Mn Aaa Spi Enable,Mn Aaa Spi,"
    "Reverse Tunneling,Home Address,Primary Ha Address,Secondary Ha Address,PAP_USER_ID,HDR Hybrid Pref,"
    "Preferred Mode,CDMA RSSI,CDMA Ec/Io,HDR RSSI,HDR Ec/Io,Temperature (\xB0"
    "C),Prev,Packet Zone ID,Dormant,UATI024,Color Code,AT State\r\n";

class FieldTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    g_delivered.clear();
    SetFieldTestPeriod(20);
  }
  void TearDown() override {
    WMC_SetFieldTest(0, nullptr);
    KillTimer(nullptr, g_hostCallbacks.fieldTestTimer.exchange(0));
    SetFieldTestPeriod(kFieldTestPeriodMs);
    PluginTest::TearDown();
  }
  // A modem with a value in every column the trace reads.
  void ScriptModem() {
    sdk_->parameters.accolc = 7;
    sdk_->parameters.prefMode = 9;
    sdk_->parameters.systemPref = 9;
    sdk_->parameters.sci = 2;
    SimSdkFieldTestState& f = sdk_->fieldTest;
    std::strcpy(f.nai, "user@realm");
    f.haSpiEnable = 1;
    f.haSpi = 258;
    f.aaaSpiEnable = 0;
    f.aaaSpi = 772;
    f.reverseTunneling = 1;
    f.homeAddress = 0x04030201;  // 1.2.3.4 in network order
    f.primaryHa = 0x08070605;
    f.secondaryHa = 0x0C0B0A09;
    f.packetZone = 12;
    sdk_.SetOut("QelGetRssiEcio", std::array<uint16_t, 6>{0, 0, 85, 3, 0, 4});
    sdk_.SetOut("QelGetTemperature", int32_t{41});
    sdk_.SetOut("QelGetERIVer", uint16_t{5});
    sdk_.SetOut("QelGetPRLVersion", uint16_t{42});
    sdk_.SetOut("QelPstGetHomeSidNid", std::array<uint16_t, 2>{111, 222});
    sdk_.SetText("QelGetMobileDirNum", "5551234567");
    sdk_.SetText("QelGetFirmwareVersion", "FW1.0 build 7");
    sdk_.SetText("QelGetHardwareVersion", "HW 2");
  }
  // Lines delivered after the header.
  std::vector<Delivered> Lines() const {
    std::vector<Delivered> out;
    for (const Delivered& d : g_delivered)
      if (d.text != kHeader) out.push_back(d);
    return out;
  }
  int Headers() const {
    return static_cast<int>(std::count_if(g_delivered.begin(), g_delivered.end(),
                                          [](const Delivered& d) { return d.text == kHeader; }));
  }
  // Pumps the test thread (the timer's) until n lines have arrived or ms pass.
  void PumpForLines(size_t n, DWORD ms = 3000) {
    DWORD start = GetTickCount();
    while (Lines().size() < n && GetTickCount() - start < ms) PumpMessagesFor(5);
  }
};

TEST_F(FieldTest, HeaderIs413BytesWithTheDegreeByteAndCrLf) {
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  ASSERT_EQ(g_delivered.size(), 1u);
  const Delivered& h = g_delivered[0];
  EXPECT_EQ(h.length, 413);
  EXPECT_EQ(h.text.size(), 413u);
  EXPECT_EQ(h.text, kHeader);
  size_t degree = h.text.find("Temperature (") + 13;
  EXPECT_EQ(static_cast<uint8_t>(h.text[degree]), 0xB0);
  EXPECT_EQ(h.text[degree + 1], 'C');
  EXPECT_EQ(h.text.substr(411), "\r\n");
  EXPECT_EQ(LinesWith("CSEVDOEngine::CallFieldTestHeader\n"), 1);
  EXPECT_NE(g_hostCallbacks.fieldTestTimer.load(), 0u);
}

TEST_F(FieldTest, LineCarriesEveryColumn) {
  ScriptModem();
  ASSERT_EQ(WMC_Startup(), 0);
  Engine()->network_.serviceType = 7;
  Engine()->dormant_ = 1;
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  PumpForLines(1);
  ASSERT_GE(Lines().size(), 1u);
  const Delivered line = Lines()[0];
  // No device query ran: the PAP_USER_ID column is empty. The three addresses are distinct.
  EXPECT_EQ(line.text,
            "5551234567,111,7,2,Unknown (>5),FW1.0,HW 2,42,5,No,0,user@realm,1,258,0,772,1,1.2.3.4,5.6.7.8,"
            "9.10.11.12,,0,9,-85,3,0,4,41,7,12,Yes,,0,Inactive\r\n");
  EXPECT_EQ(line.length, static_cast<int>(line.text.size()));
  EXPECT_GE(LinesWith("CALLING FIELD TEST\n"), 1);
  for (const char* read : {"CSEVDOEngine::GetFirmwareVer\n", "CSEVDOEngine::GetHardwareVer\n", "CSEVDOEngine::GetPRLVer\n"})
    EXPECT_EQ(LinesWith(read), 1) << read;
  auto temperature = sdk_.Calls("QelGetTemperature");
  ASSERT_GE(temperature.size(), 2u);
  EXPECT_EQ(temperature[0].timeout, 3000u);  // the header's read
  EXPECT_EQ(temperature[1].timeout, 100u);   // the line's
  auto eri = sdk_.Calls("QelGetERIVer");
  ASSERT_EQ(eri.size(), 1u);
  EXPECT_EQ(eri[0].args[0], 1u);
}

TEST_F(FieldTest, OneLinePerTickReadingOnlyTheTemperature) {
  ScriptModem();
  ASSERT_EQ(WMC_Startup(), 0);
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  PumpForLines(1);
  sdk_.SetOut("QelGetTemperature", int32_t{-3});
  sdk_->parameters.accolc = 2;  // a static value: not read again
  sdk_.ClearCalls();
  PumpForLines(4);
  std::vector<Delivered> lines = Lines();
  ASSERT_GE(lines.size(), 4u);
  for (const Delivered& d : lines) {
    EXPECT_EQ(std::count(d.text.begin(), d.text.end(), ','), 33) << d.text;
    EXPECT_EQ(d.text.substr(d.text.size() - 2), "\r\n");
    EXPECT_EQ(d.fn, 1);
  }
  EXPECT_NE(lines.back().text.find(",4,-3,0,12,"), std::string::npos) << lines.back().text;
  EXPECT_NE(lines.back().text.find("5551234567,111,7,"), std::string::npos) << lines.back().text;
  // Each tick makes one line and one temperature read; nothing else is read.
  size_t reads = sdk_.Calls("QelGetTemperature").size();
  EXPECT_GE(reads, lines.size() - 1);
  EXPECT_LE(reads, lines.size());
  EXPECT_EQ(sdk_.Calls().size(), reads);
  EXPECT_EQ(Headers(), 1);
}

TEST_F(FieldTest, FailedReadsKeepTheirValues) {
  ScriptModem();
  ASSERT_EQ(WMC_Startup(), 0);
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  PumpForLines(1);
  for (const char* n : {"QelPstGetAccolc", "QelGetTemperature", "QelGetRssiEcio", "QelPstGetDsMipGenUser",
                        "QelGetTechPacketZone"})
    sdk_.SetResult(n, 44);
  sdk_.SetResult("QelPstGetHomeSidNid", 44);
  sdk_.SetResult("QelGetMobileDirNum", 44);
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);  // again: header and the static reads
  size_t before = Lines().size();
  PumpForLines(before + 1);
  ASSERT_GT(Lines().size(), before);
  // The versions were read once, by the first header.
  EXPECT_EQ(sdk_.Calls("QelGetFirmwareVersion").size(), 1u);
  EXPECT_EQ(sdk_.Calls("QelGetPRLVersion").size(), 1u);
  // Kept: Accolc, signal, NAI and addresses, temperature, packet zone. The MDN and the home
  // SID read as empty and 0 when their reads fail.
  EXPECT_EQ(Lines().back().text,
            ",0,7,2,Unknown (>5),FW1.0,HW 2,42,5,No,0,user@realm,1,258,0,772,1,1.2.3.4,5.6.7.8,"
            "9.10.11.12,,0,9,-85,3,0,4,41,0,12,No,,0,Inactive\r\n");
}

TEST_F(FieldTest, SecondCallbackIsNotTakenAndTheTraceRestarts) {
  ASSERT_EQ(WMC_Startup(), 0);
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest2), 0);
  EXPECT_EQ(g_hostCallbacks.fieldTest.load(), &FieldTest1);
  ASSERT_EQ(Headers(), 2);
  EXPECT_EQ(g_delivered[1].fn, 1);  // the header went to the stored callback
  EXPECT_EQ(sdk_.Calls("QelPstGetAccolc").size(), 2u);
  EXPECT_EQ(LinesWith("CSEVDOEngine::CallFieldTestHeader\n"), 2);
  // One timer runs: over a quarter second of 20 ms ticks, no more lines than ticks.
  EXPECT_NE(g_hostCallbacks.fieldTestTimer.load(), 0u);
  DWORD start = GetTickCount();
  PumpMessagesFor(250);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_LE(Lines().size(), elapsed / 20 + 2);
  EXPECT_GE(Lines().size(), 3u);
  for (const Delivered& d : Lines()) EXPECT_EQ(d.fn, 1);
}

TEST_F(FieldTest, SwitchedOffNoMoreLinesAndTheTimerGoes) {
  ASSERT_EQ(WMC_Startup(), 0);
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  PumpForLines(1);
  EXPECT_EQ(WMC_SetFieldTest(0, FieldTest1), 0);
  EXPECT_EQ(g_hostCallbacks.fieldTest.load(), nullptr);
  size_t before = Lines().size();
  PumpMessagesFor(100);  // several periods
  EXPECT_EQ(Lines().size(), before);
  EXPECT_EQ(g_hostCallbacks.fieldTestTimer.load(), 0u);
  // Switched on and off with a null function.
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  EXPECT_EQ(WMC_SetFieldTest(1, nullptr), 1);
  PumpMessagesFor(100);
  EXPECT_EQ(g_hostCallbacks.fieldTestTimer.load(), 0u);
  EXPECT_EQ(Lines().size(), before);
}

TEST_F(FieldTest, WithoutAnEngineOnlyTheCallbackIsStored) {
  EXPECT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  EXPECT_EQ(g_hostCallbacks.fieldTest.load(), &FieldTest1);
  EXPECT_TRUE(g_delivered.empty());
  EXPECT_EQ(g_hostCallbacks.fieldTestTimer.load(), 0u);
  ASSERT_EQ(WMC_Startup(), 0);  // does not start the trace
  PumpMessagesFor(100);
  EXPECT_TRUE(g_delivered.empty());
  EXPECT_EQ(g_hostCallbacks.fieldTestTimer.load(), 0u);
}

TEST_F(FieldTest, ShutdownStopsTheTimer) {
  ASSERT_EQ(WMC_Startup(), 0);
  ASSERT_EQ(WMC_SetFieldTest(1, FieldTest1), 0);
  ASSERT_EQ(WMC_Shutdown(), 0);
  PumpMessagesFor(100);
  EXPECT_EQ(g_hostCallbacks.fieldTestTimer.load(), 0u);
  ASSERT_EQ(WMC_Startup(), 0);  // the trace does not resume
  PumpMessagesFor(100);
  EXPECT_TRUE(Lines().empty());
}

struct TextCase {
  int value;
  const char* systemPref;
  const char* atState;
  const char* yesNo;
};
class FieldTestTexts : public ::testing::TestWithParam<TextCase> {};
TEST_P(FieldTestTexts, NameTheValues) {
  const TextCase& c = GetParam();
  EXPECT_STREQ(CSEVDOEngine::SystemPrefString(c.value), c.systemPref);
  EXPECT_STREQ(CSEVDOEngine::ATStateString(c.value), c.atState);
  EXPECT_STREQ(CSEVDOEngine::YesNoString(c.value), c.yesNo);
}
INSTANTIATE_TEST_SUITE_P(Table, FieldTestTexts, ::testing::Values(
    TextCase{0, "System A only", "Inactive", "No"}, TextCase{1, "System B only", "Acquisition", "Yes"},
    TextCase{2, "Home only", "Sync", "Yes"}, TextCase{3, "Home preferred", "Idle", "Yes"},
    TextCase{4, "Automatic A", "Access", "Yes"}, TextCase{5, "Automatic B", "Connected", "Yes"},
    TextCase{6, "Unknown (>5)", "Unknown (> 5)", "Yes"}, TextCase{-1, "Unknown (>5)", "Unknown (> 5)", "Yes"}));

// The real one-second timer, in a host program over the plug-in library.
TEST_F(PluginTest, FieldTestTraceOnceASecondInAHostProgram) {
  ScriptedHost host("fieldtest");
  ASSERT_EQ(host.Missing(), "");
  host.sdk.SetText("QelGetMobileDirNum", "5550001111");
  DWORD code = 0;
  std::string out = host.Run("startup fieldtest 2500 shutdown", &code);
  EXPECT_EQ(code, 0u) << out;
  EXPECT_NE(out.find("WMC_SetFieldTest(1): 0"), std::string::npos) << out;
  EXPECT_NE(out.find("field test header (413 bytes): Directory #,"), std::string::npos) << out;
  // Ticks at about 1 s and 2 s of the 2.5 s: two lines, the first a second after the header.
  std::vector<int> at;
  for (size_t p = out.find("field test line at +"); p != std::string::npos; p = out.find("field test line at +", p + 1))
    at.push_back(std::atoi(out.c_str() + p + 20));
  ASSERT_GE(at.size(), 2u) << out;
  EXPECT_LE(at.size(), 3u) << out;
  EXPECT_GE(at[0], 950);
  EXPECT_GE(at[1] - at[0], 950);
  EXPECT_NE(out.find(": 5550001111,"), std::string::npos) << out;
}

}  // namespace
