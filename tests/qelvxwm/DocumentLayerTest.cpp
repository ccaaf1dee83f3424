// The builder and the document layer in process, over the platform's DOM; the GSM SDK
// object against the GSM stand-in with a short SIM wait.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <type_traits>

#include "CmdSdk.h"
#include "CmdSdkGsm.h"
#include "CmdXml.h"
#include "LibraryLoad.h"
#include "ModuleLog.h"
#include "LogTestSeams.h"
#include "ModuleTestSupport.h"
#include "SimDeviceControl.h"
#include "VxWmCmd.h"
#include "XmlBuilder.h"
#include "XmlBuilderTestSeams.h"
#include "devurezazeve.h"

static_assert(std::has_virtual_destructor<CXmlBuilder>::value, "builders are deleted through the base");

namespace {

using namespace qeltest;

class Builder : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    log_ = std::wstring(temp) + L"qelvxwm_unit_" + std::to_wstring(GetCurrentProcessId()) + L".log";
    ASSERT_TRUE(TBDInit(log_.c_str(), L"UnitTest", 0, true));
    for (int32_t cls = TBDCT_ALL; cls <= TBCT_READ; ++cls) TBDSetClassEnable(cls, true);
    TBDSetTraceLevel(TBDOL_TRACE, 0);
    ASSERT_TRUE(b_.Open());
  }
  void TearDown() override {
    b_.Close();
    TBDEnd();
    DeleteFileW(log_.c_str());
  }
  std::string Log() {
    std::ifstream in(log_.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string Text() {
    std::wstring xml;
    EXPECT_TRUE(b_.GetXml(xml));
    return Tree(xml);
  }
  CMsXmlBuilder b_;
  std::wstring log_;
};

TEST_F(Builder, CreatePathCreatesEachMissingElementOnceInFirstMentionOrder) {
  ASSERT_TRUE(b_.CreatePath(L"VXRWM/Header/Version"));
  EXPECT_EQ(Count(Log(), "selectSingleNode /VXRWM"), 3u);
  EXPECT_EQ(Count(Log(), "hr = 00000001"), 3u);
  ASSERT_TRUE(b_.CreatePath(L"/VXRWM/Header/Version/"));
  EXPECT_EQ(Count(Log(), "selectSingleNode"), 3u) << "nothing to create: nothing logged";
  ASSERT_TRUE(b_.CreatePath(L"VXRWM//API/QelVxAux/Version"));
  ASSERT_TRUE(b_.CreatePath(L"VXRWM/Header/Copyright"));
  EXPECT_TRUE(b_.CreatePath(L""));
  EXPECT_TRUE(b_.CreatePath(L"///"));
  EXPECT_EQ(Text(), "VXRWM{Header{Version:,Copyright:},API{QelVxAux{Version:}}}");
}

TEST_F(Builder, SelectingAMissingNodeLeavesNoCurrentNode) {
  ASSERT_TRUE(b_.CreatePath(L"Root"));
  EXPECT_FALSE(b_.SelectNode(L"/Root/Missing"));
  EXPECT_NE(b_.LastError().find(L"selectSingleNode /Root/Missing failed, hr = 00000001"), std::wstring::npos);
  EXPECT_FALSE(b_.SetText(L"x"));
  EXPECT_FALSE(b_.InsertElement());
  EXPECT_EQ(b_.LastError(), L"InsertElement failed, no construction node");
  EXPECT_FALSE(b_.AddAttribute(L"a", L"b"));
  EXPECT_EQ(b_.LastError(), L"AddAttribute failed, no construction node");
}

TEST_F(Builder, NumbersNodeTextAndElements) {
  ASSERT_TRUE(b_.CreateAndSelect(L"/Root/A"));
  ASSERT_TRUE(b_.SetNumber(255, true));
  ASSERT_TRUE(b_.CreateAndSelect(L"/Root/B"));
  ASSERT_TRUE(b_.SetNumber(-1, false));
  ASSERT_TRUE(b_.CreateAndSelect(L"/Root/C"));
  ASSERT_TRUE(b_.SetNumber(-1, true));
  ASSERT_TRUE(b_.AddElement(L"Item", nullptr, L"/Root"));
  ASSERT_TRUE(b_.AddElement(L"Item", L"x", L"/Root"));
  ASSERT_TRUE(b_.SelectNode(L"/Root"));
  EXPECT_FALSE(b_.SetNodeText(L"None", L"y"));
  EXPECT_EQ(b_.LastError(), L"numOfNodes less than 0 = 0");
  EXPECT_EQ(Text(), "Root{A:#ff,B:-1,C:#ffffffff,Item:x,Item:}");
  const char* ansi = nullptr;
  ASSERT_TRUE(b_.GetXmlAscii(&ansi));
  EXPECT_NE(std::string(ansi).find("<A>#ff</A>"), std::string::npos);
}

TEST(BuilderApartment, MultithreadedThreadFailsToOpenAndLogsNothing) {
  std::thread([] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CMsXmlBuilder b;
    EXPECT_FALSE(b.Open());
    EXPECT_TRUE(b.LastError().empty());
    b.Close();
    CoUninitialize();
  }).join();
}

// A builder left holding its apartment by a failed document creation is closed by the next
// query on another thread: that thread's own apartment is left as it was.
TEST(BuilderApartment, OnlyTheJoiningThreadLeavesTheApartment) {
  const CLSID bogus = {0x12345678, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};
  XmlBuilderTestSetDocumentClass(&bogus);
  std::thread([] { EXPECT_FALSE(CCmdXml::Instance()->Initialize()); }).join();
  XmlBuilderTestSetDocumentClass(nullptr);
  HRESULT after = E_FAIL;
  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_TRUE(CCmdXml::Instance()->Initialize());
    CCmdXml::DeleteInstance();
    after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // S_FALSE: still its own apartment
    CoUninitialize();
    CoUninitialize();
  }).join();
  EXPECT_EQ(after, S_FALSE);
}

TEST(Document, SettersWriteTheirElementsInOrder) {
  ComApartment apartment;
  CCmdXml* xml = CCmdXml::Instance();
  ASSERT_TRUE(xml->Initialize());
  SDK_INFO_CM components;
  SetRecordText(components.ModuleVersion, L"1.2.3.4");
  xml->SetSdkInfoCm(components);
  DEV_SUMMARY summary;
  summary.Present = summary.Powered = 1;
  SetRecordText(summary.TechType, L"CDMA");
  xml->SetDevSummary(summary);
  DEV_INFO_CDMA cdma;
  SetRecordText(cdma.Esn, L"159-00000042");
  SetRecordText(cdma.PrlVersion, L"7");
  SetRecordText(cdma.CarrierName, L"Sprint");
  SetRecordText(cdma.TechnologyVersion, L"1x");
  xml->SetDevInfo(cdma);
  EXPECT_TRUE(xml->SetStatus(L"first"));
  EXPECT_TRUE(xml->SetStatus(L"second"));
  SDK_INFO sdk;
  SetRecordText(sdk.Version, L"9.9.9.9");
  xml->SetSdkInfo(sdk);
  std::wstring cache;
  ASSERT_TRUE(xml->GetXmlDoc(cache));
  CCmdXml::DeleteInstance();
  EXPECT_EQ(Tree(cache), "VXRWM{" + std::string(kHeader) +
                             ",API{QelVXWM{Version:1.2.3.4},QelApiInterface{Version:9.9.9.9}},"
                             "Device{Present:TRUE,Technology{Type:CDMA,Version:1x},Enabled:TRUE,ESN:159-00000042,"
                             "PRL_Version:7,Carrier_ID:Sprint},Status:second}");
}

TEST(Document, NotInitializedGivesNoText) {
  std::wstring cache = L"kept";
  EXPECT_FALSE(CCmdXml::Instance()->GetXmlDoc(cache));
  EXPECT_EQ(cache, L"kept");
  CCmdXml::DeleteInstance();
}

// A document whose text cannot be had is no answer: result 5, and the earlier text is gone.
TEST(Query, DocumentTextThatFailsIsResultFiveWithNothingCached) {
  ComApartment apartment;
  std::wstring dir = Wide(BinDir() + "sim\\module\\plain");  // no client library: no modem
  CVxWmCmd* command = CVxWmCmd::Instance();
  ASSERT_EQ(command->CmdGetInfo(dir.c_str()), 0);
  XmlBuilderTestFailGetXml(E_OUTOFMEMORY);
  int result = command->CmdGetInfo(dir.c_str());
  XmlBuilderTestFailGetXml(S_OK);
  EXPECT_EQ(result, 5);
  unsigned length = 0;
  EXPECT_EQ(command->CmdCopyInfo(nullptr, &length), 17);
  EXPECT_EQ(length, 0u);
  CVxWmCmd::DeleteInstance();
}

// The set-up with a settings record naming a module beside the host program: that module's
// version line (written at the first export call), or its load failure and no version line.
struct SetupCase {
  const wchar_t* module;
  const char* line;
  bool versionLine;
};
class SetupVersionLine : public ::testing::TestWithParam<SetupCase> {};

TEST_P(SetupVersionLine, NamesTheModuleBesideTheHost) {
  LogSettings settings{};
  settings.TraceLevel = TBDOL_TRACE;
  settings.EnableInfo = 1;
  settings.LogHostVersion = 0;
  lstrcpynW(settings.ModuleName, GetParam().module, MAX_PATH);
  ASSERT_EQ(TBDSetup(L"qelvxwm_unit_setup.log", L"UnitSetup", true, &settings), 1);
  TBDWriteSetupVersionLine();
  TBDEnd();
  std::string file = AppDataLogs() + "qelvxwm_unit_setup.log";
  std::string log = ReadFile(file);
  DeleteFileA(file.c_str());
  EXPECT_NE(log.find("Apply TBD logging registry over-rides"), std::string::npos) << log;
  EXPECT_NE(log.find(GetParam().line), std::string::npos) << log;
  EXPECT_EQ(log.find("Version: ") != std::string::npos, GetParam().versionLine) << log;
}
INSTANTIATE_TEST_SUITE_P(
    Log, SetupVersionLine,
    ::testing::Values(SetupCase{L"sim\\module\\QelCardDetect.dll", "Version: 1.1.0.7", true},
                      SetupCase{L"sim\\module\\plain\\QelCardDetect.dll", "Version: 0.0.0.0", true},
                      SetupCase{L"missing.dll", "Failed to load library: ", false}));

struct CarrierCase {
  uint32_t id;
  const wchar_t* name;  // null: no name
};
class Carriers : public ::testing::TestWithParam<CarrierCase> {};

TEST_P(Carriers, IdSelectsItsName) {
  std::wstring name = L"unchanged";
  EXPECT_EQ(CCmdSdkCdma::GetCarierStrFromId(GetParam().id, name), GetParam().name != nullptr);
  EXPECT_EQ(name, GetParam().name ? GetParam().name : L"unchanged");
}
INSTANTIATE_TEST_SUITE_P(
    Cdma, Carriers,
    ::testing::Values(CarrierCase{0, nullptr}, CarrierCase{1, L"Generic"}, CarrierCase{2, L"Sprint"},
                      CarrierCase{3, L"Bell"}, CarrierCase{4, L"Telus"}, CarrierCase{5, L"Verizon Vazudari"},
                      CarrierCase{6, L"Western Vazudari"}, CarrierCase{7, L"Smartcom"}, CarrierCase{8, L"AllTEL"},
                      CarrierCase{9, L"US Cellular"}, CarrierCase{10, nullptr}, CarrierCase{11, nullptr},
                      CarrierCase{12, nullptr}, CarrierCase{13, nullptr}, CarrierCase{14, L"China UNICOM"},
                      CarrierCase{15, L"Hutchison Thailand"}, CarrierCase{16, L"MOVILNET"},
                      CarrierCase{17, L"Tarjetas IUSACELL Mexico"}, CarrierCase{18, L"Telecom New Zealand"},
                      CarrierCase{19, L"Reliance"}, CarrierCase{20, L"Telstra"}, CarrierCase{21, L"Mobility Canada"},
                      CarrierCase{22, L"Verizon Puerto Rico"}, CarrierCase{23, L"Pelephone"},
                      CarrierCase{24, L"Bell Canada"}, CarrierCase{25, L"Indosol Indonesia"},
                      CarrierCase{26, L"Midwest Vazudari"}, CarrierCase{27, L"Bell South Chile"},
                      CarrierCase{28, L"Bell South Panama"}, CarrierCase{29, L"Tata"}, CarrierCase{30, nullptr},
                      CarrierCase{0xFFFFFFFFu, nullptr}));

struct EsnCase {
  uint32_t esn;
  const wchar_t* text;
};
class Esns : public ::testing::TestWithParam<EsnCase> {};

TEST_P(Esns, ManufacturerCodeAndSerialInDecimal) {
  EXPECT_EQ(CCmdSdkCdma::FormatEsn(GetParam().esn), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Cdma, Esns,
                         ::testing::Values(EsnCase{(159u << 24) | 42u, L"159-00000042"}, EsnCase{0, L"000-00000000"},
                                           EsnCase{0xFFFFFFFFu, L"255-16777215"},
                                           EsnCase{0x80123456u, L"128-01193046"}));

// The GSM object against the R4 stand-in, with a SIM wait short enough for a test.
class GsmWait : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(device_.ok());
    device_.Reset();
    device_.SetRead(kSimHardware, 0, L"HW");
    device_.SetRead(kSimImei, 0, L"358000000000017");
    device_->simStatus = 7;
    saved_ = CCmdSdkGsm::SimWaitMs;
    CCmdSdkGsm::SimWaitMs = 200;
  }
  void TearDown() override { CCmdSdkGsm::SimWaitMs = saved_; }
  std::string Run() {
    ComApartment apartment;
    CCmdXml* xml = CCmdXml::Instance();
    EXPECT_TRUE(xml->Initialize());
    std::wstring dir = Wide(BinDir() + "sim\\module");
    {
      CCmdSdkGsm gsm;
      EXPECT_TRUE(gsm.Initialize(dir.c_str()));
      EXPECT_TRUE(gsm.GetModemInfo());
    }
    std::wstring cache;
    EXPECT_TRUE(xml->GetXmlDoc(cache));
    CCmdXml::DeleteInstance();
    return Tree(cache);
  }
  SimDeviceControl device_;
  DWORD saved_ = 0;
};

TEST_F(GsmWait, NotificationWithinTheWaitGivesTheSim) {
  device_->simDelayMs = 20;
  EXPECT_NE(Run().find("SIM{Present:TRUE"), std::string::npos);
  EXPECT_EQ(device_->closeCalls, 1u);
}

TEST_F(GsmWait, LateOrMissingNotificationGivesNoSimAndTheSdkIsClosed) {
  for (uint32_t mode : {0u, 1u}) {
    device_->simMode = mode;
    device_->simDelayMs = 2000;  // late: after the wait
    device_->closeCalls = 0;
    DWORD start = GetTickCount();
    std::string tree = Run();
    EXPECT_LT(GetTickCount() - start, 1500u);
    EXPECT_EQ(tree.find("SIM"), std::string::npos) << tree;
    EXPECT_NE(tree.find("Imei:358000000000017"), std::string::npos) << tree;
    EXPECT_EQ(device_->closeCalls, 1u);
    EXPECT_EQ(device_->delivered, 0u) << "the late notification is not delivered after the close";
  }
}

// Either SIM status id is taken whichever library is loaded; another id is not the SIM status.
struct SimIdCase {
  uint32_t id;
  bool sim;
};
class SimStatusIds : public GsmWait, public ::testing::WithParamInterface<SimIdCase> {};

TEST_P(SimStatusIds, OnTheR4Library) {
  device_->simNotifyId = GetParam().id;
  std::string tree = Run();
  EXPECT_EQ(tree.find(",SIM{Present:TRUE") != std::string::npos, GetParam().sim) << tree;
  EXPECT_EQ(device_->delivered, 1u);
}
INSTANTIATE_TEST_SUITE_P(Sdk, SimStatusIds,
                         ::testing::Values(SimIdCase{17, true}, SimIdCase{2008, true}, SimIdCase{18, false},
                                           SimIdCase{45, false}));

struct CardCase {
  int32_t result;  // of the card type read
  uint32_t card;
  const char* model;
};
class CardTypes : public GsmWait, public ::testing::WithParamInterface<CardCase> {};

TEST_P(CardTypes, NameTheModel) {
  device_.SetRead(kSimCardType, GetParam().result);
  device_->cardType = GetParam().card;
  std::string tree = Run();
  EXPECT_NE(tree.find(std::string("Device_Type:") + GetParam().model + ","), std::string::npos) << tree;
}
INSTANTIATE_TEST_SUITE_P(R4, CardTypes,
                         ::testing::Values(CardCase{0, 11, "UNKNOWN"}, CardCase{0, 12, "LP4410"},
                                           CardCase{0, 13, "LP4420"}, CardCase{0, 19, "LP4430"},
                                           CardCase{0, 20, "LP4430"}, CardCase{0, 21, "LP4430"},
                                           CardCase{0, 22, "UNKNOWN"}, CardCase{5, 12, "UNKNOWN"}));

struct SimStatusCase {
  uint32_t status;
  const char* sim;
};
class SimStatuses : public GsmWait, public ::testing::WithParamInterface<SimStatusCase> {};

TEST_P(SimStatuses, GiveTheSimElement) {
  device_.SetRead(kSimImsi, 0, L"123456789");
  device_->imsiMcc = 0x0234;
  device_->imsiMnc = 0x0015;
  device_->simStatus = GetParam().status;
  std::string tree = Run();
  size_t at = tree.find(",SIM{");
  ASSERT_NE(at, std::string::npos) << tree;
  EXPECT_EQ(tree.substr(at + 1, tree.size() - at - 2), GetParam().sim);
}
INSTANTIATE_TEST_SUITE_P(
    Sdk, SimStatuses,
    ::testing::Values(
        SimStatusCase{2, "SIM{Present:FALSE}"},
        SimStatusCase{4, "SIM{Present:TRUE,Security{PIN1_Locked:TRUE,PIN1_Blocked:FALSE}}"},
        SimStatusCase{5, "SIM{Present:TRUE,Security{PIN1_Locked:TRUE,PIN1_Blocked:FALSE}}"},
        SimStatusCase{8, "SIM{Present:TRUE,Security{PIN1_Locked:TRUE,PIN1_Blocked:FALSE}}"},
        SimStatusCase{9, "SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:FALSE},Home_MCC:234,"
                         "Home_MNC:015,IMSI:,ICCID:00000000000000000000}"},
        SimStatusCase{0, "SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:FALSE},Home_MCC:234,"
                         "Home_MNC:015,IMSI:,ICCID:00000000000000000000}"}));

TEST_F(GsmWait, FailedIccidReadWritesNoIccid) {
  device_.SetRead(kSimIccId, 5);
  std::string tree = Run();
  EXPECT_NE(tree.find(",SIM{Present:TRUE,Security{PIN1_Locked:FALSE,PIN1_Blocked:FALSE},Home_MCC:000,Home_MNC:000,IMSI:}"),
            std::string::npos)
      << tree;
}

// A SIM status notification still being delivered on the SDK's thread when the query
// destroys the GSM object: the destruction waits for it, and a later one finds no object.
std::atomic<DWORD> g_sdkThread{0};
HANDLE g_inFlight = nullptr;
HANDLE g_release = nullptr;
void HoldSdkDelivery() {  // runs inside the delivery's log line
  if (GetCurrentThreadId() != g_sdkThread) return;
  SetEvent(g_inFlight);
  WaitForSingleObject(g_release, 10000);
}

TEST(GsmLifetime, DestructionWaitsForANotificationInFlight) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring log = std::wstring(temp) + L"qelvxwm_lifetime_" + std::to_wstring(GetCurrentProcessId()) + L".log";
  ASSERT_TRUE(TBDInit(log.c_str(), L"UnitTest", 0, true));
  TBDSetClassEnable(TBCT_INFO, true);  // the delivery's line; trace scopes stay off
  TBDSetTraceLevel(TBDOL_INFORMATION, 0);
  UniqueKernelHandle inFlight(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  UniqueKernelHandle deleted(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_inFlight = inFlight.get();
  g_release = release.get();
  TBDTestSetLockedHook(HoldSdkDelivery);

  SDK_NOTIF notification = {};
  notification.id = QEL_NOTIFY_SimStatusExp;
  notification.data[1] = 7;
  auto* gsm = new CCmdSdkGsm();
  std::thread sdk([&] {
    g_sdkThread = GetCurrentThreadId();
    CCmdSdkGsm::NotifCallback(&notification);
  });
  ASSERT_EQ(WaitForSingleObject(inFlight.get(), 10000), WAIT_OBJECT_0);
  std::thread query([&] {
    delete gsm;
    SetEvent(deleted.get());
  });
  DWORD early = WaitForSingleObject(deleted.get(), 1000);
  SetEvent(release.get());
  sdk.join();
  query.join();
  TBDTestSetLockedHook(nullptr);
  g_sdkThread = 0;
  EXPECT_EQ(early, static_cast<DWORD>(WAIT_TIMEOUT)) << "the object was destroyed under a delivery";

  CCmdSdkGsm::NotifCallback(&notification);  // after the destruction: dropped
  TBDEnd();
  std::ifstream in(log.c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  in.close();
  DeleteFileW(log.c_str());
  EXPECT_EQ(Count(text.str(), "SIM status notification recevied"), 1u);
}

}  // namespace

// Paths joined to the module's folder: only an absolute folder gives one, in the
// extended-length form from MAX_PATH on, and none past what the system loads.
struct JoinCase {
  const char* name;
  std::wstring dir;
  FolderPathResult result;
  std::wstring path;
};
class FolderPaths : public ::testing::TestWithParam<JoinCase> {};

TEST_P(FolderPaths, AbsoluteFolderOnly) {
  std::wstring path = L"unchanged";
  EXPECT_EQ(JoinFolderPath(GetParam().dir.c_str(), L"QelVxAux.dll", path), GetParam().result);
  EXPECT_EQ(path, GetParam().path);
}
const std::wstring kLong(300, L'x');
INSTANTIATE_TEST_SUITE_P(
    Module, FolderPaths,
    ::testing::Values(JoinCase{"Unknown", L"", kPathNoFolder, L""},
                      JoinCase{"RootRelative", L"\\dir", kPathNoFolder, L""},
                      JoinCase{"Relative", L"dir", kPathNoFolder, L""},
                      JoinCase{"DriveRelative", L"C:dir", kPathNoFolder, L""},
                      JoinCase{"Drive", L"C:\\dir", kPathFormed, L"C:\\dir\\QelVxAux.dll"},
                      JoinCase{"Share", L"\\\\host\\share", kPathFormed, L"\\\\host\\share\\QelVxAux.dll"},
                      JoinCase{"LongDrive", L"C:\\" + kLong, kPathFormed, L"\\\\?\\C:\\" + kLong + L"\\QelVxAux.dll"},
                      JoinCase{"LongShare", L"\\\\host\\" + kLong, kPathFormed,
                               L"\\\\?\\UNC\\host\\" + kLong + L"\\QelVxAux.dll"},
                      JoinCase{"Extended", L"\\\\?\\C:\\dir", kPathFormed, L"\\\\?\\C:\\dir\\QelVxAux.dll"},
                      JoinCase{"LongestLoadable", L"C:\\" + std::wstring(32767 - 4 - 3 - 13, L'y'), kPathFormed,
                               L"\\\\?\\C:\\" + std::wstring(32767 - 4 - 3 - 13, L'y') + L"\\QelVxAux.dll"},
                      JoinCase{"TooLong", L"C:\\" + std::wstring(32767 - 4 - 3 - 12, L'y'), kPathTooLong, L""}),
    [](const ::testing::TestParamInfo<JoinCase>& info) { return std::string(info.param.name); });
