// The SDK binding against the simulated SDK's build variants: open modes and fallbacks,
// model names, library acceptance and the three refusal forms.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "PluginTestSupport.h"
#include "SdkApi.h"
#include "SdkApiTestSeams.h"

namespace {

using plugintest::UseSdk;

class SdkBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sdk_.ok());
    sdk_.Reset();
    SetSdkClosePause(0);
    UseSdk("full");
  }
  void TearDown() override {
    delete CurrentSdkApi();
    SetSdkClosePause(kSdkClosePauseMs);
    SetDllDirectoryA(nullptr);
    EXPECT_TRUE(plugintest::WaitSdkUnloaded());
  }
  std::vector<uint32_t> OpenModes() {
    std::vector<uint32_t> modes;
    for (const SimSdkCall& c : sdk_.Calls("QelApiOpenEx")) modes.push_back(c.args[0]);
    return modes;
  }
  SimSdkControl sdk_;
};

struct OpenCase {
  int openMode;
  std::vector<std::pair<int, int32_t>> results;  // open mode -> scripted result
  uint32_t modelCode;
  int wantInit;
  uint32_t wantOpenResult;
  std::vector<uint32_t> wantModes;
  const char* wantModel;
};

class SdkOpen : public SdkBinding, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(SdkOpen, OpensWithTheFixedFallbacks) {
  const OpenCase& c = GetParam();
  for (auto& r : c.results) sdk_->openResult[r.first] = r.second;
  sdk_->modelCode = c.modelCode;
  CVeltraSdkApi* api = GetSdkApi(c.openMode);
  ASSERT_NE(api, nullptr);
  EXPECT_EQ(api->OpenResult(), c.wantOpenResult);
  EXPECT_EQ(api->IsOpened(), c.wantInit == 1);
  EXPECT_EQ(OpenModes(), c.wantModes);
  EXPECT_EQ(api->GetModelName(), c.wantModel);
  EXPECT_TRUE(sdk_.Calls("QelApiClose").empty());  // nothing to close after a failed open
}

INSTANTIATE_TEST_SUITE_P(Modes, SdkOpen, ::testing::Values(
    OpenCase{18, {}, 21, 1, 0, {18}, "Unknown model"},
    OpenCase{18, {}, 25, 1, 0, {18}, "KX330"},
    OpenCase{18, {{18, 400}}, 16, 0, 400, {18}, ""},
    OpenCase{18, {{18, 910}}, 16, 0, 910, {18}, ""},
    OpenCase{0, {{15, 400}}, 24, 1, 0, {15, 14}, "PN2230"},
    OpenCase{0, {{15, 5}, {14, 7}}, 24, 0, 7, {15, 14}, ""},
    OpenCase{0, {{15, 3}}, 24, 0, 3, {15}, ""}));

struct ModelCase {
  uint32_t code;
  const char* name;
};
class SdkModel : public SdkBinding, public ::testing::WithParamInterface<ModelCase> {};
TEST_P(SdkModel, NamesTheModelOfTheOpenRecord) {
  sdk_->modelCode = GetParam().code;
  EXPECT_EQ(GetSdkApi(18)->GetModelName(), GetParam().name);
}
INSTANTIATE_TEST_SUITE_P(Codes, SdkModel, ::testing::Values(
    ModelCase{16, "PN2210"}, ModelCase{17, "LP2240"}, ModelCase{19, "KX310"}, ModelCase{20, "LP2250"},
    ModelCase{22, "KX330E"}, ModelCase{23, "KX310U"}, ModelCase{24, "PN2230"}, ModelCase{25, "KX330"},
    ModelCase{18, "Unknown model"}, ModelCase{21, "Unknown model"}, ModelCase{0, "Unknown model"}));

TEST_F(SdkBinding, BaseOpenFallsBackToThePassPhrase) {
  sdk_->openResult[3] = 400;
  sdk_->modelCode = 16;
  CVeltraSdkApi api;
  ASSERT_EQ(api.LoadSdk("Qel_Evdomx.dll"), 1);
  EXPECT_EQ(api.Open(0), 0);
  EXPECT_EQ(OpenModes(), (std::vector<uint32_t>{3, 11}));
  EXPECT_STREQ(sdk_->passphrase, "Tq7&Hv2Lr9!mBx4%");
  EXPECT_EQ(api.GetModelName(), "");  // mode 11 passes no open record
  EXPECT_TRUE(api.IsOpened());
}

TEST_F(SdkBinding, OpenRecordIsZeroedAndTheSizeTheSdkExpects) {
  // The simulated SDK writes only the model code; the rest must arrive as zeros. A second
  // open reuses nothing of the first.
  sdk_->modelCode = 19;
  CVeltraSdkApi api;
  ASSERT_EQ(api.LoadSdk("Qel_Evdomx.dll"), 1);
  EXPECT_EQ(api.OpenEx(18), 0u);
  EXPECT_EQ(api.GetModelName(), "KX310");
  sdk_->modelCode = 0;
  EXPECT_EQ(api.OpenEx(18), 0u);
  EXPECT_EQ(api.GetModelName(), "Unknown model");
}

TEST_F(SdkBinding, SecondCallReturnsTheFirstObject) {
  CVeltraSdkApi* first = GetSdkApi(18);
  EXPECT_EQ(GetSdkApi(0), first);
  EXPECT_EQ(OpenModes(), (std::vector<uint32_t>{18}));
  delete first;
  EXPECT_EQ(CurrentSdkApi(), nullptr);
  EXPECT_TRUE(plugintest::WaitSdkUnloaded());
  CVeltraSdkApi* second = GetSdkApi(18);
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(OpenModes(), (std::vector<uint32_t>{18, 18}));
}

TEST_F(SdkBinding, DestructionClosesPausesAndFrees) {
  SetSdkClosePause(kSdkClosePauseMs);
  CVeltraSdkApi* api = GetSdkApi(18);
  ASSERT_TRUE(api->IsOpened());
  DWORD start = GetTickCount();
  delete api;
  DWORD took = GetTickCount() - start;
  EXPECT_EQ(kSdkClosePauseMs, 100u);
  EXPECT_GE(took, 90u);  // the tick count moves in steps of a few ms
  EXPECT_EQ(sdk_.Calls("QelApiClose").size(), 1u);
  EXPECT_TRUE(plugintest::WaitSdkUnloaded());
}

TEST_F(SdkBinding, MissingLibraryIsNotOpened) {
  UseSdk("none");
  CVeltraSdkApi* api = GetSdkApi(18);
  ASSERT_NE(api, nullptr);
  EXPECT_FALSE(api->IsOpened());
  EXPECT_EQ(api->Module(), nullptr);
  EXPECT_EQ(api->OpenResult(), kSdkNoOpenResult);
  for (uint32_t code : {903u, 909u, 910u}) EXPECT_NE(api->OpenResult(), code);
}

TEST_F(SdkBinding, LibraryWithoutARequiredNameIsKeptButNotOpened) {
  UseSdk("norequired");
  CVeltraSdkApi* api = GetSdkApi(18);
  EXPECT_FALSE(api->IsOpened());
  EXPECT_NE(api->Module(), nullptr);  // stays loaded until destruction
  EXPECT_TRUE(OpenModes().empty());
  CVeltraSdkApi second;
  EXPECT_EQ(second.LoadSdk("Qel_Evdomx.dll"), 0);
}

TEST_F(SdkBinding, LoadSdkKeepsTheLibraryItHas) {
  CVeltraSdkApi api;
  ASSERT_EQ(api.LoadSdk("Qel_Evdomx.dll"), 1);
  HMODULE first = api.Module();
  EXPECT_EQ(api.LoadSdk("no-such-library.dll"), 1);
  EXPECT_EQ(api.Module(), first);
}

TEST_F(SdkBinding, CloseClearsTheOpenedFlagOnlyWhenTheSdkAgrees) {
  CVeltraSdkApi* api = GetSdkApi(18);
  sdk_.SetResult("QelApiClose", 33);
  EXPECT_EQ(api->Close(), 33u);
  EXPECT_TRUE(api->IsOpened());
  sdk_.SetResult("QelApiClose", 0);
  EXPECT_EQ(api->Close(), 0u);
  EXPECT_FALSE(api->IsOpened());
  EXPECT_EQ(api->Close(), kSdkRefused);  // closed: refused, not called
  EXPECT_EQ(sdk_.Calls("QelApiClose").size(), 2u);
}

// The refusal table: every wrapper, called with outputs filled with a marker.
enum Form { kOpenAndBound, kOpenElseOffered, kOfferedOnly };
struct WrapperCase {
  const char* entry;
  Form form;
  std::function<uint32_t(CVeltraSdkApiEVDO&, uint8_t*)> call;
};

std::vector<WrapperCase> Wrappers() {
  using A = CVeltraSdkApiEVDO;
  auto c = [](uint8_t* b) { return reinterpret_cast<char*>(b); };
  QEL_HOME_SID_NID sidNid = {};
  return {
      {"QelApiClose", kOpenAndBound, [](A& a, uint8_t*) { return a.Close(); }},
      {"QelSetCallDisconnectCmd", kOpenAndBound, [](A& a, uint8_t*) { return a.SetCallDisconnectCmd(); }},
      {"QelResetModem", kOpenAndBound, [](A& a, uint8_t*) { return a.ResetModem(); }},
      {"QelIsModemReady", kOpenAndBound, [](A& a, uint8_t*) { return a.IsModemReady(3000); }},
      {"QelSendSMS", kOpenAndBound, [](A& a, uint8_t*) { return a.SendSMS(3000); }},
      {"QelNotify", kOpenAndBound, [](A& a, uint8_t*) { return a.Notify(5, 12000); }},
      {"QelStopNotify", kOpenAndBound, [](A& a, uint8_t*) { return a.StopNotify(5, 3000); }},
      {"QelRegisterCallback", kOpenAndBound, [](A& a, uint8_t*) { return a.RegisterCallback(nullptr); }},
      {"QelGetServiceIndication", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetServiceIndication(b, 3000); }},
      {"QelGetESN", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetESN(b, 3000); }},
      {"QelGetMEIDESN", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetMEIDESN(b, 3000); }},
      {"QelGetPRLVersion", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetPRLVersion(b, 3000); }},
      {"QelGetTemperature", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetTemperature(b, 100); }},
      {"QelGetActivationStatus", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetActivationStatus(b, 3000); }},
      {"QelGetRoamingStatus", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetRoamingStatus(b, 3000); }},
      {"QelGetSMSMessageStatus", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetSMSMessageStatus(b, 3000); }},
      {"QelGetCallConnectionState", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetCallConnectionState(b, 3000); }},
      {"QelGetLockStatus", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetLockStatus(b, 3000); }},
      {"QelStoreSMSMessage", kOpenAndBound, [](A& a, uint8_t* b) { return a.StoreSMSMessage(b, 3000); }},
      {"QelPstSetSipUserId", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstSetSipUserId(b, 5000); }},
      {"QelPstSetSipPassword", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstSetSipPassword(b, 5000); }},
      {"QelGetFirmwareVersion", kOpenAndBound, [c](A& a, uint8_t* b) { return a.GetFirmwareVersion(c(b), 127, 3000); }},
      {"QelGetHardwareVersion", kOpenAndBound, [c](A& a, uint8_t* b) { return a.GetHardwareVersion(c(b), 127, 3000); }},
      {"QelGetBootVersion", kOpenAndBound, [c](A& a, uint8_t* b) { return a.GetBootVersion(c(b), 256, 5000); }},
      {"QelGetDriverVersion", kOpenAndBound, [c](A& a, uint8_t* b) { return a.GetDriverVersion(c(b), 256, 5000); }},
      {"QelPstGetSipUserId", kOpenAndBound, [c](A& a, uint8_t* b) { return a.PstGetSipUserId(c(b), 256, 5000); }},
      {"QelPstGetSipPassword", kOpenAndBound, [c](A& a, uint8_t* b) { return a.PstGetSipPassword(c(b), 256, 5000); }},
      {"QelGetMobileDirNum", kOpenAndBound, [c](A& a, uint8_t* b) { return a.GetMobileDirNum(0, c(b), 256, 3000); }},
      {"QelGetIMSI", kOpenAndBound, [c](A& a, uint8_t* b) { return a.GetIMSI(0, c(b), 256, 3000); }},
      {"QelSetMessageRetrieved", kOpenAndBound, [](A& a, uint8_t*) { return a.SetMessageRetrieved(7, 3000); }},
      {"QelPstSetCurrentNam", kOpenAndBound, [](A& a, uint8_t*) { return a.PstSetCurrentNam(0, 10000); }},
      {"QelPstUnlock", kOpenAndBound, [](A& a, uint8_t*) { return a.PstUnlock(0, 5000); }},
      {"QelPstGetHomeSidNid", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstGetHomeSidNid(0, b, 5000); }},
      {"QelPstGetSystemPref", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstGetSystemPref(0, b, 5000); }},
      {"QelSetMobileDirNum", kOpenAndBound, [](A& a, uint8_t* b) { return a.SetMobileDirNum(0, b, 5000); }},
      {"QelSetIMSI", kOpenAndBound, [](A& a, uint8_t* b) { return a.SetIMSI(0, b, 3000); }},
      {"QelPstSetHomeSidNid", kOpenAndBound, [sidNid](A& a, uint8_t*) { return a.PstSetHomeSidNid(0, &sidNid, 5000); }},
      {"QelRetrieveSMSMessageEx", kOpenAndBound, [](A& a, uint8_t* b) { return a.RetrieveSMSMessageEx(b, 0, 3000); }},
      {"QelSetCallOriginateCmd", kOpenAndBound, [](A& a, uint8_t*) { return a.SetCallOriginateCmd(0, "#777", 3000); }},
      {"QelGetNamInfo", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetNamInfo(b, b + 8, 3000); }},
      {"QelLockModem", kOpenAndBound, [](A& a, uint8_t* b) { return a.LockModem("1234", b, 3000); }},
      {"QelChangeLockPIN", kOpenAndBound, [](A& a, uint8_t* b) { return a.ChangeLockPIN("1234", "4321", b, 3000); }},
      {"QelPstLock", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstLock(1, 0, b, b + 8, 5000); }},
      {"QelGetSystemTime", kOpenAndBound,
       [](A& a, uint8_t* b) { return a.GetSystemTime(b, b + 4, b + 8, b + 12, b + 16, b + 20, b + 24, 3000); }},
      {"QelPstGetDsMipGenUser", kOpenAndBound,
       [c](A& a, uint8_t* b) {
         return a.PstGetDsMipGenUser(0, 128, c(b), b + 200, b + 204, b + 208, b + 212, b + 216, b + 220, b + 224,
                                     b + 228, 5000);
       }},
      {"QelGetRssiEcio", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetRssiEcio(b, 3000); }},
      {"QelGetHdrSrvState", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetHdrSrvState(b, 3000); }},
      {"QelGetHdrRoamStatus", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetHdrRoamStatus(b, 3000); }},
      {"QelSetHdrHybrPref", kOpenAndBound, [](A& a, uint8_t*) { return a.SetHdrHybrPref(1, 3000); }},
      {"QelGetHdrHybrPref", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetHdrHybrPref(b, 3000); }},
      {"QelPstGetDsQcMip", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstGetDsQcMip(b, 5000); }},
      {"QelPstSetDsQcMip", kOpenAndBound, [](A& a, uint8_t*) { return a.PstSetDsQcMip(1, 5000); }},
      {"QelPstGetAccolc", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstGetAccolc(0, b, 5000); }},
      {"QelPstSetAccolc", kOpenAndBound, [](A& a, uint8_t*) { return a.PstSetAccolc(0, 3, 5000); }},
      {"QelPstGetPrefMode", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstGetPrefMode(0, b, 5000); }},
      {"QelPstSetPrefMode", kOpenAndBound, [](A& a, uint8_t*) { return a.PstSetPrefMode(0, 1, 5000); }},
      {"QelPstGetSci", kOpenAndBound, [](A& a, uint8_t* b) { return a.PstGetSci(b, 3000); }},
      {"QelGetTechPacketZone", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetTechPacketZone(b, 3000); }},
      {"QelGetERIVer", kOpenAndBound, [](A& a, uint8_t* b) { return a.GetERIVer("eri_nam1", b, 3000); }},
      {"QelSetPower", kOpenElseOffered, [](A& a, uint8_t*) { return a.SetPower(0); }},
      {"QelGetPower", kOpenElseOffered, [](A& a, uint8_t* b) { return a.GetPower(b); }},
      {"QelGetNDISMode", kOpenElseOffered, [](A& a, uint8_t* b) { return a.GetNDISMode(b); }},
      {"QelSetNDISPrefMode", kOpenElseOffered, [](A& a, uint8_t*) { return a.SetNDISPrefMode(1); }},
      {"QelPstSetDsMipSsUserProf", kOpenElseOffered,
       [](A& a, uint8_t* b) { return a.PstSetDsMipSsUserProf(0, 4, b, 4, b + 16, 5000); }},
      {"QelPstGetDsMipSsUserProf", kOpenElseOffered,
       [](A& a, uint8_t* b) {
         return a.PstGetDsMipSsUserProf(0, b, reinterpret_cast<uint16_t*>(b + 16), 16, b + 32,
                                        reinterpret_cast<uint16_t*>(b + 48), 16, 5000);
       }},
      {"QelSetPRL", kOpenElseOffered, [](A& a, uint8_t* b) { return a.SetPRL(0, b, 8, 3000); }},
      {"QelSetAutoconnect", kOpenElseOffered, [](A& a, uint8_t*) { return a.SetAutoconnect(1, 3000); }},
      {"QelVerifyUpgradeRequired", kOfferedOnly,
       [c](A& a, uint8_t* b) { return a.VerifyUpgradeRequired("C:\\x", b, c(b + 8), b + 300, 3000); }},
  };
}

// The three states: open (every entry point bound), closed (open refused), unbound (the
// library lacks the entry point but is open).
enum State { kOpen, kClosed, kUnbound };
uint32_t Expected(Form form, State state) {
  switch (state) {
    case kOpen: return 0;
    case kClosed: return form == kOfferedOnly ? 0 : kSdkRefused;
    case kUnbound: return form == kOpenAndBound ? kSdkRefused : kSdkNotOffered;
  }
  return 0;
}

// Which variant lacks the entry point while the base list stays complete.
const char* VariantWithout(const char* entry) {
  if (std::strcmp(entry, "QelChangeLockPIN") == 0) return "nochangepin";
  if (SimSdkEntryIndex(entry) >= kSdkBaseEntryPoints) return "baseonly";
  return nullptr;  // a required name: the library is refused as a whole (tested above)
}

class SdkRefusal : public SdkBinding, public ::testing::WithParamInterface<State> {};

TEST_P(SdkRefusal, EveryWrapperRefusesByItsForm) {
  State state = GetParam();
  for (const WrapperCase& w : Wrappers()) {
    SCOPED_TRACE(w.entry);
    const char* variant = "full";
    if (state == kUnbound) {
      variant = VariantWithout(w.entry);
      if (!variant) continue;
    }
    sdk_.Reset();
    UseSdk(variant);
    if (state == kClosed) sdk_->openResult[18] = 910;
    uint8_t marker[8];
    std::memset(marker, 0x5A, sizeof marker);
    sdk_.SetOut(w.entry, marker);
    sdk_.SetText(w.entry, "ZZZZ");
    auto* api = static_cast<CVeltraSdkApiEVDO*>(GetSdkApi(18));
    ASSERT_EQ(api->IsOpened(), state != kClosed);
    sdk_.ClearCalls();

    uint8_t out[512];
    std::memset(out, 0xAB, sizeof out);
    uint32_t want = Expected(w.form, state);
    EXPECT_EQ(w.call(*api, out), want);
    bool reached = !sdk_.Calls(w.entry).empty();
    EXPECT_EQ(reached, want == 0);
    if (want != 0) {
      bool untouched = true;
      for (uint8_t b : out) untouched = untouched && b == 0xAB;
      EXPECT_TRUE(untouched) << "refused call wrote to its outputs";
    }
    delete api;
    ASSERT_TRUE(plugintest::WaitSdkUnloaded());
  }
}

INSTANTIATE_TEST_SUITE_P(States, SdkRefusal, ::testing::Values(kOpen, kClosed, kUnbound));

TEST_F(SdkBinding, WrappersPassArgumentsAndTimeOutsThrough) {
  auto* api = static_cast<CVeltraSdkApiEVDO*>(GetSdkApi(18));
  sdk_.SetText("QelGetIMSI", "310000123456789");
  char imsi[8];
  EXPECT_EQ(api->GetIMSI(2, imsi, sizeof imsi, 3000), 0u);
  EXPECT_STREQ(imsi, "3100001");  // cut to the buffer by the SDK
  std::vector<SimSdkCall> calls = sdk_.Calls("QelGetIMSI");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args[0], 2u);
  EXPECT_EQ(calls[0].args[2], sizeof imsi);
  EXPECT_EQ(calls[0].timeout, 3000u);
  EXPECT_EQ(calls[0].thread, GetCurrentThreadId());

  EXPECT_EQ(api->SetPower(5), 0u);
  uint32_t mode = 77;
  EXPECT_EQ(api->GetPower(&mode), 0u);
  EXPECT_EQ(mode, 5u);
  sdk_.SetResult("QelGetESN", 42);
  uint32_t esn = 1;
  EXPECT_EQ(api->GetESN(&esn, 3000), 42u);
  EXPECT_EQ(esn, 1u);
}

TEST_F(SdkBinding, LibraryWithoutSetPowerIsAccepted) {
  UseSdk("nosetpower");
  auto* api = static_cast<CVeltraSdkApiEVDO*>(GetSdkApi(18));
  ASSERT_TRUE(api->IsOpened());
  EXPECT_EQ(api->SetPower(0), kSdkNotOffered);
  uint32_t mode = 0;
  EXPECT_EQ(api->GetPower(&mode), 0u);
  ASSERT_EQ(api->Close(), 0u);
  EXPECT_EQ(api->SetPower(0), kSdkRefused);
}

TEST_F(SdkBinding, VerifyUpgradeReachesTheSdkAfterAFailedOpen) {
  sdk_->openResult[18] = 903;
  auto* api = static_cast<CVeltraSdkApiEVDO*>(GetSdkApi(18));
  ASSERT_FALSE(api->IsOpened());
  uint32_t status = 0, length = 0;
  char buffer[260];
  EXPECT_EQ(api->VerifyUpgradeRequired("C:\\x", &status, buffer, &length, 3000), 0u);
  EXPECT_EQ(sdk_.Calls("QelVerifyUpgradeRequired").size(), 1u);
}

}  // namespace
