// The client library in process, against a scripted service object registered by the test
// and a ready event the test creates, leaves unset or leaves out.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "FakeService.h"
#include "HWIntf.h"
#include "PowerClient.h"
#include "QelVxAux.h"
#include "ServerProcess.h"
#include "devurezazeve.h"

extern "C" {
HRESULT __cdecl QelHWInitialize(void);
void __cdecl QelHWUnInitialize(void);
int32_t __cdecl QelHWGetPower(uint32_t* state);
int32_t __cdecl QelHWSetPower(uint32_t state);
int32_t __cdecl QelHWRegisterCallback(QelHWCallback callback);
int32_t __cdecl QelHWGetOEMIDStrA(char* buffer);
}

namespace {

constexpr DWORD kTestWaitMs = 50;
constexpr uint32_t kUntouched = 0xEEEEEEEE;

enum class ReadyEvent { kAbsent, kUnset, kSet };

struct Delivery {
  QelHWNotifyRecord record;
  DWORD thread;
};
std::vector<Delivery> g_deliveries;
void __cdecl RecordCallback(QelHWNotifyRecord* record) { g_deliveries.push_back({*record, GetCurrentThreadId()}); }

// Tells whether another thread gets the library's lock within a second.
DWORD WINAPI RegisterFromAnotherThread(void*) { return static_cast<DWORD>(QelHWRegisterCallback(RecordCallback)); }
bool LockIsFree() {
  UniqueKernelHandle thread(CreateThread(nullptr, 0, RegisterFromAnotherThread, nullptr, 0, nullptr));
  return thread && WaitForSingleObject(thread.get(), 1000) == WAIT_OBJECT_0;
}

std::string ToHex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(hr));
  return text;
}

size_t CountLines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

class ClientLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { OpenClientLog(); }
  static void TearDownTestSuite() { TBDShutdown(); }

  void SetUp() override {
    ASSERT_TRUE(apartment_.ok());
    service_ = new FakeService();
    service_->AddRef();
    factory_ = new FakeFactory(service_);
    ASSERT_EQ(CoRegisterClassObject(CLSID_VXWMI, factory_, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &classCookie_),
              S_OK);
    PowerClient().SetReadyWait(kTestWaitMs);
    g_deliveries.clear();
    logMark_ = qeltest::ReadLog("QelVxAux.log").size();
  }
  void TearDown() override {
    QelHWUnInitialize();
    QelHWRegisterCallback(nullptr);
    CoRevokeClassObject(classCookie_);
    PowerClient().SetReadyWait(kReadyWaitMs);
    PowerClient().SetSinkFactory(CreateCallbackSink);
    EXPECT_EQ(service_->refs(), 1u) << "the library kept or dropped a reference it did not own";
    service_->Release();
    delete factory_;
  }

  void MakeReadyEvent(ReadyEvent mode) {
    ready_.reset();
    if (mode != ReadyEvent::kAbsent)
      ready_.reset(CreateEventA(nullptr, TRUE, mode == ReadyEvent::kSet, kReadyEventName));
  }
  // What the library logged since the test began.
  std::string NewLog() const { return qeltest::ReadLog("QelVxAux.log").substr(logMark_); }

  ComApartment apartment_;
  FakeService* service_ = nullptr;
  FakeFactory* factory_ = nullptr;
  DWORD classCookie_ = 0;
  UniqueKernelHandle ready_;
  size_t logMark_ = 0;
};

// The power exports against every state of the service.
struct PowerCase {
  const char* name;
  bool initialise;
  ReadyEvent event;
  HRESULT getHr;
  BYTE serviceState;
  bool set;  // QelHWSetPower(arg), else QelHWGetPower
  uint32_t arg;
  int32_t want;
  uint32_t wantState;  // what QelHWGetPower leaves in the caller's variable
  std::vector<BYTE> wantSets;
  std::vector<const char*> wantLog;  // every line logged (error lines; info is off)
};

void PrintTo(const PowerCase& c, std::ostream* os) { *os << c.name; }

class PowerCalls : public ClientLibrary, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PowerCalls, AnswerWithTheirResultCode) {
  const PowerCase& c = GetParam();
  MakeReadyEvent(c.event);
  service_->script.getHr = c.getHr;
  service_->script.state = c.serviceState;
  if (c.initialise) {
    ASSERT_EQ(QelHWInitialize(), S_OK);
  }
  std::string before = NewLog();

  uint32_t state = kUntouched;
  int32_t result = c.set ? QelHWSetPower(c.arg) : QelHWGetPower(&state);

  EXPECT_EQ(result, c.want);
  if (!c.set) {
    EXPECT_EQ(state, c.wantState);
  }
  EXPECT_EQ(service_->sets, c.wantSets);
  std::string log = NewLog().substr(before.size());
  EXPECT_EQ(CountLines(log), c.wantLog.size()) << log;
  for (const char* line : c.wantLog) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
  EXPECT_TRUE(LockIsFree());
}

const char kGetNotRunning[] = "QelHWGetPower failed: QelVxWmi was not running";
const char kGetTimeout[] = "QelHWGetPower failed: QelVxWmi not initialized (timeout)";
const char kSetNotRunning[] = "QelHWSetPower failed: QelVxWmi was not running";
const char kSetTimeout[] = "QelHWSetPower failed: QelVxWmi not initialized (timeout)";

INSTANTIATE_TEST_SUITE_P(
    Service, PowerCalls,
    ::testing::Values(
        PowerCase{"GetBeforeInitialise", false, ReadyEvent::kSet, S_OK, 1, false, 0, 600, kUntouched, {}, {}},
        PowerCase{"SetBeforeInitialise", false, ReadyEvent::kSet, S_OK, 1, true, 1, 600, kUntouched, {}, {}},
        PowerCase{"GetOn", true, ReadyEvent::kSet, S_OK, 1, false, 0, 0, 1, {}, {}},
        PowerCase{"GetUnknownIsPassedOn", true, ReadyEvent::kSet, S_OK, 0, false, 0, 0, 0, {}, {}},
        PowerCase{"GetNotInstalled", true, ReadyEvent::kSet, S_OK, 4, false, 0, 0, 4, {}, {}},
        PowerCase{"GetNoEvent", true, ReadyEvent::kAbsent, S_OK, 1, false, 0, 5, kUntouched, {},
                  {kGetNotRunning, "QelHWGetPower failed: 0x80004005"}},
        PowerCase{"GetEventNeverSet", true, ReadyEvent::kUnset, S_OK, 1, false, 0, 5, kUntouched, {},
                  {kGetTimeout, "QelHWGetPower failed: 0x80004005"}},
        PowerCase{"GetComCallFails", true, ReadyEvent::kSet, RPC_E_DISCONNECTED, 1, false, 0, 5, kUntouched, {},
                  {"QelHWGetPower failed: 0x80010108"}},
        PowerCase{"GetServiceAnswers600", true, ReadyEvent::kSet, 600, 1, false, 0, 5, kUntouched, {},
                  {"QelHWGetPower failed: 0x0258"}},
        PowerCase{"SetOff", true, ReadyEvent::kSet, S_OK, 1, true, 2, 0, kUntouched, {2}, {}},
        PowerCase{"SetOn", true, ReadyEvent::kSet, S_OK, 2, true, 1, 0, kUntouched, {1}, {}},
        PowerCase{"SetDisabledRadio", true, ReadyEvent::kSet, S_OK, 3, true, 1, 0, kUntouched, {}, {}},
        PowerCase{"SetZero", true, ReadyEvent::kAbsent, S_OK, 1, true, 0, 4, kUntouched, {}, {}},
        PowerCase{"SetThree", true, ReadyEvent::kAbsent, S_OK, 1, true, 3, 4, kUntouched, {}, {}},
        PowerCase{"SetNoEvent", true, ReadyEvent::kAbsent, S_OK, 1, true, 1, 600, kUntouched, {}, {kSetNotRunning}},
        PowerCase{"SetEventNeverSet", true, ReadyEvent::kUnset, S_OK, 1, true, 1, 600, kUntouched, {}, {kSetTimeout}},
        PowerCase{"SetReadFails", true, ReadyEvent::kSet, E_FAIL, 1, true, 1, 600, kUntouched, {}, {}},
        PowerCase{"SetServiceAnswers600", true, ReadyEvent::kSet, 600, 1, true, 1, 600, kUntouched, {}, {}}),
    [](const ::testing::TestParamInfo<PowerCase>& info) { return std::string(info.param.name); });

struct SetAnswerCase {
  HRESULT serviceHr;  // what VXWMISetPower returns
  int32_t want;
};
class SetPowerAnswers : public ClientLibrary, public ::testing::WithParamInterface<SetAnswerCase> {};

// The service's failures reach the caller: 4 as itself, anything else but 0 as 600.
TEST_P(SetPowerAnswers, PassOnTheServiceResult) {
  MakeReadyEvent(ReadyEvent::kSet);
  service_->script.setHr = GetParam().serviceHr;
  ASSERT_EQ(QelHWInitialize(), S_OK);
  EXPECT_EQ(QelHWSetPower(QELHW_POWER_OFF), GetParam().want);
  EXPECT_EQ(service_->sets, std::vector<BYTE>{QELHW_POWER_OFF});
  EXPECT_TRUE(LockIsFree());
}

INSTANTIATE_TEST_SUITE_P(Service, SetPowerAnswers,
                         ::testing::Values(SetAnswerCase{S_OK, QELHW_OK}, SetAnswerCase{600, QELHW_ERR_NOT_AVAILABLE},
                                           SetAnswerCase{4, QELHW_ERR_INVALID_STATE},
                                           SetAnswerCase{1, QELHW_ERR_NOT_AVAILABLE},
                                           SetAnswerCase{E_FAIL, QELHW_ERR_NOT_AVAILABLE},
                                           SetAnswerCase{RPC_E_DISCONNECTED, QELHW_ERR_NOT_AVAILABLE}));

TEST_F(ClientLibrary, GetPowerWithoutAVariableFails) {
  MakeReadyEvent(ReadyEvent::kSet);
  ASSERT_EQ(QelHWInitialize(), S_OK);
  EXPECT_EQ(QelHWGetPower(nullptr), QELHW_ERR_FAILED);
  EXPECT_EQ(service_->gets, 0);
}

TEST_F(ClientLibrary, WaitsTheFullTimeForAnUnsetEvent) {
  MakeReadyEvent(ReadyEvent::kUnset);
  ASSERT_EQ(QelHWInitialize(), S_OK);
  PowerClient().SetReadyWait(300);
  uint32_t state = 0;
  DWORD start = GetTickCount();
  EXPECT_EQ(QelHWGetPower(&state), QELHW_ERR_FAILED);
  EXPECT_GE(GetTickCount() - start, 250u);
  EXPECT_EQ(service_->gets, 0);
}

TEST(ClientLibraryConstants, WaitsOneMinuteForTheService) {
  EXPECT_EQ(kReadyWaitMs, 60000u);
  CPowerClient client;
  EXPECT_EQ(client.ReadyWait(), 60000u);
}

// Initialisation stopping at each of its steps.
HRESULT FailingSinkFactory(const std::atomic<QelHWCallback>*, CVXWMICBSink** sink) {
  *sink = nullptr;
  return E_OUTOFMEMORY;
}

struct InitCase {
  const char* name;
  ServiceScript script;
  bool failSink;
  HRESULT want;
  int32_t wantGet;    // QelHWGetPower afterwards
  bool wantAdvised;   // a sink on the service's connection point
  const char* wantLog;
};

void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }

class Initialisation : public ClientLibrary, public ::testing::WithParamInterface<InitCase> {};

TEST_P(Initialisation, StopsAtTheFailedStep) {
  const InitCase& c = GetParam();
  MakeReadyEvent(ReadyEvent::kSet);
  service_->script = c.script;
  if (c.failSink) PowerClient().SetSinkFactory(FailingSinkFactory);

  EXPECT_EQ(QelHWInitialize(), c.want);
  EXPECT_EQ(service_->HasSink(), c.wantAdvised);
  uint32_t state = kUntouched;
  EXPECT_EQ(QelHWGetPower(&state), c.wantGet);
  EXPECT_TRUE(LockIsFree());
  if (c.wantLog) {
    EXPECT_NE(NewLog().find(c.wantLog), std::string::npos) << NewLog();
  }

  QelHWUnInitialize();
  EXPECT_FALSE(service_->HasSink());
  EXPECT_EQ(QelHWGetPower(&state), QELHW_ERR_NOT_AVAILABLE);
  EXPECT_TRUE(LockIsFree());
  // A later initialisation starts afresh.
  service_->script = ServiceScript{};
  PowerClient().SetSinkFactory(CreateCallbackSink);
  EXPECT_EQ(QelHWInitialize(), S_OK);
  EXPECT_TRUE(service_->HasSink());
}

ServiceScript With(void (*change)(ServiceScript&)) {
  ServiceScript s;
  change(s);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, Initialisation,
    ::testing::Values(
        InitCase{"Connects", {}, false, S_OK, 0, true, nullptr},
        InitCase{"ActivationFails", With([](ServiceScript& s) { s.createHr = CO_E_SERVER_EXEC_FAILURE; }), false,
                 CO_E_SERVER_EXEC_FAILURE, 600, false, "Error: Failed to create instance of IVXWMI: 0x80080005"},
        InitCase{"NoContainer", With([](ServiceScript& s) { s.hasContainer = false; }), false, E_NOINTERFACE, 600,
                 false, "Object doesn't support CPC: 0x80004002"},
        InitCase{"NoConnectionPoint", With([](ServiceScript& s) { s.findHr = CONNECT_E_NOCONNECTION; }), false,
                 CONNECT_E_NOCONNECTION, 0, false, "IVXWMICB not supported: 0x80040200"},
        InitCase{"SinkCreationFails", {}, true, E_OUTOFMEMORY, 0, false,
                 "CVXWMICBSink sink creation unsuccessful: 0x8007000e"},
        InitCase{"AdviseFails", With([](ServiceScript& s) { s.adviseHr = CONNECT_E_ADVISELIMIT; }), false,
                 CONNECT_E_ADVISELIMIT, 0, false, "Error: CVXWMICBSink sink registration unsuccessful: 0x80040201"}),
    [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

TEST_F(ClientLibrary, UnInitialiseUnadvisesWithTheCookie) {
  ASSERT_EQ(QelHWInitialize(), S_OK);
  ASSERT_EQ(service_->advises, 1);
  QelHWUnInitialize();
  EXPECT_EQ(service_->unadvises, 1);
  EXPECT_EQ(service_->lastUnadviseCookie, FakeService::kCookie);
  EXPECT_FALSE(service_->HasSink());
}

TEST_F(ClientLibrary, SecondInitialiseKeepsTheFirstConnection) {
  ASSERT_EQ(QelHWInitialize(), S_OK);
  EXPECT_EQ(QelHWInitialize(), S_OK);
  EXPECT_EQ(service_->advises, 1);
}

// A second initialisation whose service object answers as a dead server's proxy does makes
// a new object; one whose object merely fails keeps it.
struct GoneCase {
  const char* name;
  HRESULT answer;  // what every call on the first object answers
  bool renewed;
};
void PrintTo(const GoneCase& c, std::ostream* os) { *os << c.name; }
class ServiceObjectGone : public ClientLibrary, public ::testing::WithParamInterface<GoneCase> {};
TEST_P(ServiceObjectGone, SecondInitialiseMakesANewObjectOnlyForADeadService) {
  MakeReadyEvent(ReadyEvent::kSet);
  ASSERT_EQ(QelHWInitialize(), S_OK);
  const GoneCase& c = GetParam();
  service_->script.typeInfoCountHr = service_->script.getHr = service_->script.setHr = c.answer;
  auto* restarted = new FakeService();
  restarted->AddRef();
  restarted->script.state = QELHW_POWER_OFF;
  factory_->SetService(restarted);
  uint32_t state = kUntouched;
  EXPECT_EQ(QelHWGetPower(&state), QELHW_ERR_FAILED);

  EXPECT_EQ(QelHWInitialize(), S_OK);
  EXPECT_EQ(restarted->advises, c.renewed ? 1 : 0);
  EXPECT_EQ(QelHWGetPower(&state), c.renewed ? QELHW_OK : QELHW_ERR_FAILED);
  EXPECT_EQ(state, c.renewed ? static_cast<uint32_t>(QELHW_POWER_OFF) : kUntouched);
  if (c.renewed) {
    EXPECT_EQ(service_->refs(), 1u) << "the dead object was not let go";
    EXPECT_NE(NewLog().find("Error: the IVXWMI object is gone: 0x" + ToHex(c.answer)), std::string::npos) << NewLog();
  }
  QelHWUnInitialize();
  EXPECT_EQ(restarted->refs(), 1u);
  EXPECT_FALSE(restarted->HasSink());
  factory_->SetService(service_);
  restarted->Release();
}
INSTANTIATE_TEST_SUITE_P(
    Service, ServiceObjectGone,
    ::testing::Values(GoneCase{"ServerUnavailable", HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), true},
                      GoneCase{"Disconnected", RPC_E_DISCONNECTED, true},
                      GoneCase{"ObjectNotConnected", CO_E_OBJNOTCONNECTED, true},
                      GoneCase{"CallFailedDne", HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE), true},
                      GoneCase{"Fails", E_FAIL, false},
                      GoneCase{"CallRejected", RPC_E_CALL_REJECTED, false}),
    [](const ::testing::TestParamInfo<GoneCase>& info) { return std::string(info.param.name); });

// Power notifications.
TEST_F(ClientLibrary, NotificationCallsTheFunctionTwiceOnTheInitialisingThread) {
  ASSERT_EQ(QelHWInitialize(), S_OK);
  EXPECT_EQ(QelHWRegisterCallback(RecordCallback), QELHW_OK);
  ASSERT_TRUE(service_->Fire(QELHW_POWER_OFF));
  ASSERT_EQ(g_deliveries.size(), 2u);
  const QelHWNotifyRecord& first = g_deliveries[0].record;
  const QelHWNotifyRecord& second = g_deliveries[1].record;
  EXPECT_EQ(first.Type, 0u);
  EXPECT_EQ(first.Reserved, 0u);
  EXPECT_EQ(first.Value, 2u);
  EXPECT_EQ(second.Type, 91u);
  EXPECT_EQ(second.Reserved, 0u);
  EXPECT_EQ(second.Value, 2u);
  EXPECT_EQ(g_deliveries[0].thread, GetCurrentThreadId());
}

TEST_F(ClientLibrary, FunctionRegisteredBeforeInitialiseIsCalled) {
  EXPECT_EQ(QelHWRegisterCallback(RecordCallback), QELHW_OK);
  ASSERT_EQ(QelHWInitialize(), S_OK);
  ASSERT_TRUE(service_->Fire(QELHW_POWER_DISABLED));
  ASSERT_EQ(g_deliveries.size(), 2u);
  EXPECT_EQ(g_deliveries[1].record.Value, 3u);
}

TEST_F(ClientLibrary, NoCallForStateZeroOrWithoutAFunction) {
  ASSERT_EQ(QelHWInitialize(), S_OK);
  ASSERT_TRUE(service_->Fire(QELHW_POWER_ON));  // nothing registered yet
  QelHWRegisterCallback(RecordCallback);
  ASSERT_TRUE(service_->Fire(QELHW_POWER_UNKNOWN));
  QelHWRegisterCallback(nullptr);
  ASSERT_TRUE(service_->Fire(QELHW_POWER_OFF));
  EXPECT_TRUE(g_deliveries.empty());
}

TEST_F(ClientLibrary, UnInitialiseForgetsTheFunction) {
  QelHWRegisterCallback(RecordCallback);
  ASSERT_EQ(QelHWInitialize(), S_OK);
  QelHWUnInitialize();
  ASSERT_EQ(QelHWInitialize(), S_OK);
  ASSERT_TRUE(service_->Fire(QELHW_POWER_ON));
  EXPECT_TRUE(g_deliveries.empty());
}

TEST_F(ClientLibrary, FunctionMayCallTheExports) {
  MakeReadyEvent(ReadyEvent::kSet);
  ASSERT_EQ(QelHWInitialize(), S_OK);
  static uint32_t seen;
  seen = kUntouched;
  QelHWRegisterCallback([](QelHWNotifyRecord* record) {
    if (record->Type == QELHW_NOTIFY_Power) QelHWGetPower(&seen);
  });
  ASSERT_TRUE(service_->Fire(QELHW_POWER_ON));
  EXPECT_EQ(seen, 1u);
}

TEST(ClientLibraryOem, CopiesTheTextAndItsTerminator) {
  char buffer[32];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(QelHWGetOEMIDStrA(buffer), QELHW_OK);
  EXPECT_EQ(std::string(buffer, 22), std::string("VX zt series notebook\0", 22));
  EXPECT_EQ(buffer[22], 'x');
  EXPECT_EQ(QelHWGetOEMIDStrA(nullptr), QELHW_ERR_FAILED);
}

TEST(ClientLibraryOem, WritesNothingPastTheTextsTwentyTwoBytes) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old;
  ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
  char* buffer = pages + page - 22;  // the last 22 bytes before a page that faults
  EXPECT_EQ(QelHWGetOEMIDStrA(buffer), QELHW_OK);
  EXPECT_STREQ(buffer, "VX zt series notebook");
  VirtualFree(pages, 0, MEM_RELEASE);
}

// Registers, for the calling thread's apartment, a class object that refuses to create.
class RefusingClass {
 public:
  RefusingClass() : service_(new FakeService()), factory_(service_) {
    service_->AddRef();
    service_->script.createHr = E_ACCESSDENIED;
    CoRegisterClassObject(CLSID_VXWMI, &factory_, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
  }
  ~RefusingClass() {
    CoRevokeClassObject(cookie_);
    service_->Release();
  }

 private:
  FakeService* service_;
  FakeFactory factory_;
  DWORD cookie_ = 0;
};

// CoUninitialize balances only the library's own successful CoInitialize, on its thread.
TEST(ClientLibraryApartment, ThreadInTheMultithreadedApartmentStaysInIt) {
  std::thread worker([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      RefusingClass refusing;
      EXPECT_EQ(QelHWInitialize(), E_ACCESSDENIED);
      QelHWUnInitialize();
    }
    // Still initialised: a further CoInitializeEx only counts up.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  });
  worker.join();
}

TEST(ClientLibraryApartment, UnInitialiseBalancesOnlyTheInitialisingThread) {
  std::thread first([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    {
      RefusingClass refusing;
      EXPECT_EQ(QelHWInitialize(), E_ACCESSDENIED);  // its CoInitialize succeeded (S_FALSE)
    }
    std::thread second([] {
      ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
      QelHWUnInitialize();
      EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
      CoUninitialize();
      CoUninitialize();
    });
    second.join();
    QelHWUnInitialize();  // undoes the library's CoInitialize here
    CoUninitialize();     // and this the thread's own: none is left
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    CoUninitialize();
  });
  first.join();
}

}  // namespace
