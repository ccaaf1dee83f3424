// The COM class in process: power results, the fan-out to connected objects, the
// connection point, IDispatch and aggregation.
#include "CnxMgr.h"
#include "ComModule.h"
#include "ServiceModule.h"
#include "ServiceTestSupport.h"
#include "SimWmi.h"
#include "VXWMI.h"

namespace {

// A scripted hardware interface.
class FakeHW : public CHWIntf {
 public:
  HRESULT SetPower(uint32_t state) override {
    sets.push_back(state);
    return setResult;
  }
  HRESULT GetPower(uint32_t* state) override {
    ++gets;
    if (SUCCEEDED(getResult)) *state = current;
    return getResult;
  }
  uint32_t current = QELHW_POWER_ON;
  HRESULT getResult = S_OK, setResult = S_OK;
  int gets = 0;
  std::vector<uint32_t> sets;
};

ComPtr<IVXWMI> NewObject() {
  ComPtr<IVXWMI> object;
  EXPECT_EQ(CVXWMI::CreateInstance(nullptr, IID_IVXWMI, object.put_void()), S_OK);
  return object;
}

DWORD Advise(IVXWMI* object, IUnknown* sink) {
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(object->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
  EXPECT_EQ(container->FindConnectionPoint(IID_IVXWMICB, point.put()), S_OK);
  DWORD cookie = 0;
  EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
  return cookie;
}

// Runs what this thread's queue holds, as the service's message loop does: the fan-outs
// that power changes posted, and the ones those post in turn.
void RunMessageLoop() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

class ComClass : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(apartment_.ok());
    g_pHWIntf = &hw_;
  }
  void TearDown() override {
    StopNotifications();
    g_pHWIntf = nullptr;
    CCnxMgr::ReleaseInstance();
  }
  ComApartment apartment_;
  FakeHW hw_;
};

struct PowerCase {
  const char* name;
  bool hardware;
  HRESULT getResult;
  uint32_t current;
  HRESULT setResult;
  BYTE request;
  HRESULT want;
  int wantGets;
  bool wantSet;
};
class SetPowerResults : public ComClass, public ::testing::WithParamInterface<PowerCase> {};
TEST_P(SetPowerResults, Table) {
  const PowerCase& c = GetParam();
  if (!c.hardware) g_pHWIntf = nullptr;
  hw_.getResult = c.getResult, hw_.current = c.current, hw_.setResult = c.setResult;
  auto object = NewObject();
  EXPECT_EQ(object->VXWMISetPower(c.request), c.want);
  EXPECT_EQ(hw_.gets, c.wantGets);
  EXPECT_EQ(hw_.sets.size(), c.wantSet ? 1u : 0u);
}
INSTANTIATE_TEST_SUITE_P(
    Vxwmi, SetPowerResults,
    ::testing::Values(PowerCase{"NoHardware", false, S_OK, 1, S_OK, 1, 600, 0, false},
                      PowerCase{"Zero", true, S_OK, 1, S_OK, 0, 4, 0, false},
                      PowerCase{"Three", true, S_OK, 1, S_OK, 3, 4, 0, false},
                      PowerCase{"Max", true, S_OK, 1, S_OK, 255, 4, 0, false},
                      PowerCase{"ReadFails", true, E_FAIL, 1, S_OK, 2, 600, 1, false},
                      PowerCase{"Disabled", true, S_OK, 3, S_OK, 1, 0, 1, false},
                      PowerCase{"NoModemStillSets", true, S_OK, 4, S_OK, 1, 0, 1, true},
                      PowerCase{"On", true, S_OK, 2, S_OK, 1, 0, 1, true},
                      PowerCase{"WriteFails", true, S_OK, 1, E_FAIL, 2, 600, 1, true},
                      PowerCase{"WriteSFalse", true, S_OK, 1, S_FALSE, 2, 0, 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComClass, GetPowerResults) {
  auto object = NewObject();
  BYTE state = 0x77;
  hw_.current = QELHW_POWER_OFF;
  EXPECT_EQ(object->VXWMIGetPower(&state), 0);
  EXPECT_EQ(state, 2);
  state = 0x77;
  hw_.getResult = E_FAIL;  // no state is handed out
  EXPECT_EQ(object->VXWMIGetPower(&state), 600);
  EXPECT_EQ(state, 0x77);
  g_pHWIntf = nullptr;
  EXPECT_EQ(object->VXWMIGetPower(&state), 600);
  EXPECT_EQ(state, 0x77);
}

TEST_F(ComClass, LateBoundGetPowerMatchesVtableCall) {
  auto object = NewObject();
  hw_.current = QELHW_POWER_OFF;
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(object.As(&dispatch), S_OK);
  DISPID id = 0;
  wchar_t name[] = L"VXWMIGetPower";
  LPOLESTR names[] = {name};
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 2);
  BYTE state = 0;
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_UI1 | VT_BYREF;
  arg.pbVal = &state;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  UniqueVariant result;
  EXPECT_EQ(dispatch->Invoke(2, IID_NULL, 0, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(state, 2);
  BYTE direct = 0;
  EXPECT_EQ(object->VXWMIGetPower(&direct), 0);
  EXPECT_EQ(direct, state);
}

TEST_F(ComClass, FanOutReachesTenObjectsInSlotOrder) {
  std::vector<int> order;
  std::vector<std::unique_ptr<RecordingSink>> sinks;  // outlive the objects that hold them
  std::vector<ComPtr<IVXWMI>> objects;
  for (int i = 0; i < 11; ++i) {
    objects.push_back(NewObject());
    sinks.push_back(std::make_unique<RecordingSink>(i == 2 ? E_FAIL : S_OK));
    sinks.back()->onCall = [&order, i] { order.push_back(i); };
    Advise(objects.back().get(), sinks.back().get());
  }
  ASSERT_NE(g_pCnxMgr, nullptr);
  EXPECT_EQ(g_pCnxMgr->Count(), 10);
  uint32_t state = QELHW_POWER_OFF;
  NotifyAllCnx(&state);
  EXPECT_TRUE(order.empty());  // sent from the message loop
  RunMessageLoop();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));  // the failing one is skipped over
  EXPECT_TRUE(sinks[10]->states.empty());
  EXPECT_EQ(sinks[0]->states, std::vector<BYTE>{2});

  // A freed slot goes to the next object, lowest first.
  CVXWMI* third = g_pCnxMgr->At(3);
  objects[3].Reset();
  EXPECT_EQ(g_pCnxMgr->At(3), nullptr);
  objects[3] = NewObject();
  EXPECT_NE(g_pCnxMgr->At(3), nullptr);
  (void)third;
  EXPECT_EQ(g_pCnxMgr->Count(), 10);
}

TEST_F(ComClass, FanOutGoesPastTheSlotOfAClientThatLeft) {
  RecordingSink sinks[3];
  std::vector<ComPtr<IVXWMI>> objects;
  for (auto& sink : sinks) {
    objects.push_back(NewObject());
    Advise(objects.back().get(), &sink);
  }
  objects[0].Reset();
  ASSERT_EQ(g_pCnxMgr->At(0), nullptr);
  uint32_t state = QELHW_POWER_OFF;
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_TRUE(sinks[0].states.empty());
  EXPECT_EQ(sinks[1].states, std::vector<BYTE>{2});
  EXPECT_EQ(sinks[2].states, std::vector<BYTE>{2});
}

TEST_F(ComClass, OnlyTheFirstSinkOfAnObjectIsCalled) {
  RecordingSink first, second, third;
  auto object = NewObject();
  DWORD cookie1 = Advise(object.get(), &first);
  Advise(object.get(), &second);
  uint32_t state = QELHW_POWER_ON;
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_EQ(first.states.size(), 1u);
  EXPECT_TRUE(second.states.empty());

  // An emptied first position leaves the object without notifications.
  ComPtr<IConnectionPointContainer> container;
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(object.As(&container), S_OK);
  ASSERT_EQ(container->FindConnectionPoint(IID_IVXWMICB, point.put()), S_OK);
  EXPECT_EQ(point->Unadvise(cookie1), S_OK);
  EXPECT_EQ(point->Unadvise(cookie1), CONNECT_E_NOCONNECTION);
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_EQ(first.states.size(), 1u);
  EXPECT_TRUE(second.states.empty());
  // Until the next Advise fills it again.
  EXPECT_EQ(Advise(object.get(), &third), cookie1);
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_EQ(third.states.size(), 1u);
}

TEST_F(ComClass, SinkThatReleasesItsObjectDuringTheCall) {
  RecordingSink sink;
  auto object = NewObject();
  Advise(object.get(), &sink);
  IVXWMI* raw = object.Detach();
  int listedDuringCall = -1;
  sink.onCall = [&raw, &listedDuringCall] {
    raw->Release();  // the client's last reference
    raw = nullptr;
    listedDuringCall = g_pCnxMgr->Count();  // the fan-out still holds the object
  };
  uint32_t state = QELHW_POWER_ON;
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_EQ(sink.states.size(), 1u);
  EXPECT_EQ(listedDuringCall, 1);
  EXPECT_EQ(g_pCnxMgr->Count(), 0);
  EXPECT_EQ(sink.refs(), 0);  // the object let go of its sink when it went
}

// Writes like the firmware does: the change is notified from inside the set.
class NotifyingHW : public FakeHW {
 public:
  HRESULT SetPower(uint32_t state) override {
    FakeHW::SetPower(state);
    current = state;
    NotifyAllCnx(&state);
    return S_OK;
  }
};

TEST_F(ComClass, SetDuringAFanOutLeavesEveryClientWithTheCurrentState) {
  NotifyingHW hw;
  g_pHWIntf = &hw;
  auto first = NewObject();
  auto second = NewObject();
  RecordingSink firstSink, secondSink;
  Advise(first.get(), &firstSink);
  Advise(second.get(), &secondSink);
  // While the first client hears of "off", the second client's "on" comes in.
  firstSink.onCall = [&] {
    if (firstSink.states.size() == 1) {
      EXPECT_EQ(second->VXWMISetPower(QELHW_POWER_ON), 0);
    }
  };
  EXPECT_EQ(first->VXWMISetPower(QELHW_POWER_OFF), 0);
  RunMessageLoop();
  EXPECT_EQ(hw.current, static_cast<uint32_t>(QELHW_POWER_ON));
  ASSERT_FALSE(firstSink.states.empty());
  ASSERT_FALSE(secondSink.states.empty());
  EXPECT_EQ(firstSink.states.back(), QELHW_POWER_ON);
  EXPECT_EQ(secondSink.states.back(), QELHW_POWER_ON);
  EXPECT_EQ(firstSink.states, (std::vector<BYTE>{QELHW_POWER_OFF, QELHW_POWER_ON}));
}

// Clients whose sinks switch the radio again whenever they hear of a change: the writers
// keep going, and still no client's call waits while a fan-out sends.
TEST_F(ComClass, NestedWritersKeepGoingAndNoCallWaitsForAFanOut) {
  NotifyingHW hw;
  g_pHWIntf = &hw;
  constexpr int kClients = 3;
  constexpr size_t kWrites = 60;
  std::vector<std::unique_ptr<RecordingSink>> sinks;  // outlive the objects that hold them
  std::vector<ComPtr<IVXWMI>> objects;
  int sinkCalls = 0;
  std::vector<int> sinkCallsDuringASet;
  auto set = [&](int client, BYTE state) {
    int before = sinkCalls;
    EXPECT_EQ(objects[client]->VXWMISetPower(state), 0);
    sinkCallsDuringASet.push_back(sinkCalls - before);
  };
  for (int i = 0; i < kClients; ++i) {
    sinks.push_back(std::make_unique<RecordingSink>());
    objects.push_back(NewObject());
    Advise(objects.back().get(), sinks.back().get());
  }
  for (int i = 0; i < kClients; ++i) {
    RecordingSink* sink = sinks[i].get();
    sink->onCall = [&, sink, i] {
      ++sinkCalls;
      BYTE opposite = sink->states.back() == QELHW_POWER_ON ? QELHW_POWER_OFF : QELHW_POWER_ON;
      if (hw.sets.size() < kWrites) set((i + 1) % kClients, opposite);
    };
  }
  set(0, QELHW_POWER_OFF);
  RunMessageLoop();
  EXPECT_EQ(hw.sets.size(), kWrites);
  EXPECT_EQ(sinkCallsDuringASet, std::vector<int>(sinkCallsDuringASet.size(), 0));
  for (const auto& sink : sinks) {
    ASSERT_FALSE(sink->states.empty());
    EXPECT_EQ(sink->states.back(), hw.current);
  }
}

// A message loop nested in a sink's call (an outgoing call's wait may dispatch posted
// messages) starts no second pass inside the first: every client still hears the changes in
// order and ends with the newest.
TEST_F(ComClass, LoopNestedInASinksCallStartsNoPassOfItsOwn) {
  RecordingSink first, second;
  auto a = NewObject();
  auto b = NewObject();
  Advise(a.get(), &first);
  Advise(b.get(), &second);
  first.onCall = [&] {
    if (first.states.size() != 1) return;
    uint32_t on = QELHW_POWER_ON;
    NotifyAllCnx(&on);
    RunMessageLoop();
  };
  uint32_t off = QELHW_POWER_OFF;
  NotifyAllCnx(&off);
  RunMessageLoop();
  EXPECT_EQ(first.states, (std::vector<BYTE>{QELHW_POWER_OFF, QELHW_POWER_ON}));
  EXPECT_EQ(second.states, (std::vector<BYTE>{QELHW_POWER_OFF, QELHW_POWER_ON}));
}

// Likewise a loop nested in a client's call: a pending fan-out waits for the call's end.
class PumpingHW : public FakeHW {
 public:
  HRESULT GetPower(uint32_t* state) override {
    RunMessageLoop();
    return FakeHW::GetPower(state);
  }
};

TEST_F(ComClass, FanOutWaitsForTheClientCallUnderWay) {
  PumpingHW hw;
  g_pHWIntf = &hw;
  RecordingSink sink;
  auto object = NewObject();
  Advise(object.get(), &sink);
  uint32_t state = QELHW_POWER_OFF;
  NotifyAllCnx(&state);
  BYTE read = 0;
  EXPECT_EQ(object->VXWMIGetPower(&read), 0);
  EXPECT_TRUE(sink.states.empty()) << "sent from inside the client's read";
  RunMessageLoop();
  EXPECT_EQ(sink.states, std::vector<BYTE>{QELHW_POWER_OFF});
}

// A sink that answers that its process is gone loses its object's slot; one that merely
// fails keeps it.
struct SinkAnswerCase {
  const char* name;
  HRESULT answer;
  bool dropped;
};
void PrintTo(const SinkAnswerCase& c, std::ostream* os) { *os << c.name; }
class SinkAnswer : public ComClass, public ::testing::WithParamInterface<SinkAnswerCase> {};
TEST_P(SinkAnswer, ClientThatIsGoneGivesUpItsSlot) {
  const bool dropped = GetParam().dropped;
  RecordingSink sink(GetParam().answer), nextSink;
  auto object = NewObject();
  Advise(object.get(), &sink);
  uint32_t state = QELHW_POWER_OFF;
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_EQ(sink.states.size(), 1u);
  EXPECT_EQ(g_pCnxMgr->Count(), dropped ? 0 : 1);
  EXPECT_EQ(sink.refs(), dropped ? 0 : 1) << "the dropped object let go of its sink";

  // The freed slot goes to the next client, which hears the next change; a gone one does not.
  auto next = NewObject();
  Advise(next.get(), &nextSink);
  EXPECT_EQ(g_pCnxMgr->At(0), static_cast<CVXWMI*>(dropped ? next.get() : object.get()));
  state = QELHW_POWER_ON;
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_EQ(nextSink.states, std::vector<BYTE>{QELHW_POWER_ON});
  EXPECT_EQ(sink.states.size(), dropped ? 1u : 2u);
  // A dropped object still answers power calls, and has nothing left to remove when it goes.
  BYTE read = 0;
  EXPECT_EQ(object->VXWMIGetPower(&read), 0);
  object.Reset();
  EXPECT_EQ(g_pCnxMgr->Count(), 1);
  EXPECT_EQ(g_pCnxMgr->At(dropped ? 0 : 1), static_cast<CVXWMI*>(next.get()));
}
INSTANTIATE_TEST_SUITE_P(
    Vxwmi, SinkAnswer,
    ::testing::Values(SinkAnswerCase{"ServerUnavailable", HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), true},
                      SinkAnswerCase{"Disconnected", RPC_E_DISCONNECTED, true},
                      SinkAnswerCase{"ObjectNotConnected", CO_E_OBJNOTCONNECTED, true},
                      SinkAnswerCase{"CallFailedDne", HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE), true},
                      SinkAnswerCase{"CallFailed", HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), true},
                      SinkAnswerCase{"Fails", E_FAIL, false},
                      SinkAnswerCase{"CallRejected", RPC_E_CALL_REJECTED, false},
                      SinkAnswerCase{"ServerFault", RPC_E_SERVERFAULT, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A client killed since the last change still holds its slot when an eleventh client comes:
// that one is turned away, and takes the slot when the next change finds the first gone.
struct FullTableCase {
  const char* name;
  HRESULT fourthAnswers;  // what the fourth client's sink answers
  bool wantListed;
};
void PrintTo(const FullTableCase& c, std::ostream* os) { *os << c.name; }
class FullTable : public ComClass, public ::testing::WithParamInterface<FullTableCase> {};
TEST_P(FullTable, ClientTurnedAwayTakesTheSlotOfOneThatIsGone) {
  std::vector<std::unique_ptr<RecordingSink>> sinks;  // outlive the objects that hold them
  std::vector<ComPtr<IVXWMI>> objects;
  for (int i = 0; i < 11; ++i) {
    sinks.push_back(std::make_unique<RecordingSink>(i == 3 ? GetParam().fourthAnswers : S_OK));
    objects.push_back(NewObject());
    Advise(objects.back().get(), sinks.back().get());
  }
  CVXWMI* eleventh = static_cast<CVXWMI*>(objects[10].get());
  EXPECT_EQ(g_pCnxMgr->At(3), static_cast<CVXWMI*>(objects[3].get()));
  uint32_t state = QELHW_POWER_OFF;
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_TRUE(sinks[10]->states.empty());
  const bool listed = GetParam().wantListed;
  EXPECT_EQ(g_pCnxMgr->At(3), listed ? eleventh : static_cast<CVXWMI*>(objects[3].get()));
  EXPECT_EQ(g_pCnxMgr->Count(), 10);

  state = QELHW_POWER_ON;
  NotifyAllCnx(&state);
  RunMessageLoop();
  EXPECT_EQ(sinks[10]->states, listed ? std::vector<BYTE>{QELHW_POWER_ON} : std::vector<BYTE>{});
  EXPECT_EQ(sinks[3]->states.size(), listed ? 1u : 2u);
  EXPECT_EQ(sinks[0]->states.size(), 2u);
  // A client's own leaving frees its slot for the next activation, as ever.
  objects[5].Reset();
  objects.push_back(NewObject());
  EXPECT_EQ(g_pCnxMgr->At(5), static_cast<CVXWMI*>(objects.back().get()));
}
INSTANTIATE_TEST_SUITE_P(
    Vxwmi, FullTable,
    ::testing::Values(FullTableCase{"ServerUnavailable", HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), true},
                      FullTableCase{"ObjectNotConnected", CO_E_OBJNOTCONNECTED, true},
                      FullTableCase{"Fails", E_FAIL, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A read answers the status from before a set that ran while it waited; like the firmware
// access, a set writes only when the status last read differs from the one asked for.
class StaleReadHW : public FakeHW {
 public:
  HRESULT GetPower(uint32_t* state) override {
    uint32_t answer = current;
    if (auto nested = std::move(duringRead)) {
      duringRead = nullptr;
      nested();
    }
    ++gets;
    *state = seen = answer;
    return S_OK;
  }
  HRESULT SetPower(uint32_t state) override {
    sets.push_back(state);
    if (state != seen) writes.push_back(current = seen = state);
    return S_OK;
  }
  std::function<void()> duringRead;
  uint32_t seen = QELHW_POWER_UNKNOWN;
  std::vector<uint32_t> writes;
};

TEST_F(ComClass, SetThatCameInDuringTheReadIsNotUndone) {
  StaleReadHW hw;
  g_pHWIntf = &hw;
  auto first = NewObject();
  auto second = NewObject();
  hw.duringRead = [&] { EXPECT_EQ(second->VXWMISetPower(QELHW_POWER_OFF), 0); };
  EXPECT_EQ(first->VXWMISetPower(QELHW_POWER_ON), 0);
  EXPECT_EQ(hw.writes, (std::vector<uint32_t>{QELHW_POWER_OFF, QELHW_POWER_ON}));
  EXPECT_EQ(hw.current, static_cast<uint32_t>(QELHW_POWER_ON));
}

TEST_F(ComClass, ConnectionPointEnumerators) {
  RecordingSink a, b;
  auto object = NewObject();
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(object.As(&container), S_OK);
  ComPtr<IEnumConnectionPoints> points;
  ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
  IConnectionPoint* point = nullptr;
  ULONG fetched = 0;
  ASSERT_EQ(points->Next(1, &point, &fetched), S_OK);
  IID iid = {};
  EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
  EXPECT_EQ(iid, IID_IVXWMICB);
  point->Release();
  EXPECT_EQ(points->Next(1, &point, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point, nullptr);

  ComPtr<IConnectionPoint> cp;
  ASSERT_EQ(container->FindConnectionPoint(IID_IVXWMICB, cp.put()), S_OK);
  Advise(object.get(), &a);
  Advise(object.get(), &b);
  ComPtr<IEnumConnections> connections;
  ASSERT_EQ(cp->EnumConnections(connections.put()), S_OK);
  CONNECTDATA data[3] = {};
  EXPECT_EQ(connections->Next(3, data, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 2u);
  EXPECT_EQ(data[0].dwCookie, 1u);
  EXPECT_EQ(data[1].dwCookie, 2u);
  for (ULONG i = 0; i < fetched; ++i) data[i].pUnk->Release();
  DWORD cookie = 0;
  RecordingSink* none = nullptr;
  EXPECT_EQ(cp->Advise(none, &cookie), E_POINTER);
}

// An outer object that aggregates VXWMI.
class Outer : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++ref; }
  STDMETHODIMP_(ULONG) Release() override { return --ref; }
  ComPtr<IUnknown> inner;
  ULONG ref = 1;
};

TEST_F(ComClass, AggregationDelegatesToTheOuterObject) {
  Outer outer;
  void* p = nullptr;
  EXPECT_EQ(CVXWMI::CreateInstance(&outer, IID_IVXWMI, &p), CLASS_E_NOAGGREGATION);
  ASSERT_EQ(CVXWMI::CreateInstance(&outer, IID_IUnknown, outer.inner.put_void()), S_OK);
  ComPtr<IVXWMI> power;
  ASSERT_EQ(outer.inner->QueryInterface(IID_IVXWMI, power.put_void()), S_OK);
  EXPECT_EQ(outer.ref, 2u);  // the reference went to the outer object
  ComPtr<IUnknown> identity;
  ASSERT_EQ(power->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer));
  identity.Reset();
  power.Reset();
  outer.inner.Reset();
  EXPECT_EQ(ComModuleLockCount(), 0);
}

TEST_F(ComClass, EveryObjectHoldsTheModule) {
  LONG before = ComModuleLockCount();
  {
    auto a = NewObject();
    auto b = NewObject();
    EXPECT_EQ(ComModuleLockCount(), before + 2);
  }
  EXPECT_EQ(ComModuleLockCount(), before);
}

// ---- command line

struct SwitchCase {
  const char* line;
  RegistrationSwitch want;
};
class CommandLineSwitch : public ::testing::TestWithParam<SwitchCase> {};
TEST_P(CommandLineSwitch, Table) { EXPECT_EQ(FindRegistrationSwitch(GetParam().line), GetParam().want); }
INSTANTIATE_TEST_SUITE_P(
    Service, CommandLineSwitch,
    ::testing::Values(SwitchCase{"QelVxWmi.exe -RegServer", RegistrationSwitch::RegServer},
                      SwitchCase{"QelVxWmi.exe /regserver", RegistrationSwitch::RegServer},
                      SwitchCase{"QelVxWmi.exe -REGSERVER", RegistrationSwitch::RegServer},
                      SwitchCase{"QelVxWmi.exe /Service", RegistrationSwitch::Service},
                      SwitchCase{"QelVxWmi.exe -unregserver", RegistrationSwitch::UnregServer},
                      SwitchCase{"QelVxWmi.exe -RegServer -Service", RegistrationSwitch::Service},
                      SwitchCase{"QelVxWmi.exe -RegServer extra", RegistrationSwitch::None},
                      SwitchCase{"QelVxWmi.exe -Embedding", RegistrationSwitch::None},
                      SwitchCase{"\"C:\\my-dir\\QelVxWmi.exe\" -RegServer", RegistrationSwitch::RegServer},
                      SwitchCase{"QelVxWmi.exe", RegistrationSwitch::None}));

TEST(FindOneOf, ReturnsPositionAfterFirstMatch) {
  const char text[] = "ab-cd/e";
  EXPECT_EQ(FindOneOf(text, "-/"), text + 3);
  EXPECT_EQ(FindOneOf(text + 3, "-/"), text + 6);
  EXPECT_EQ(FindOneOf("abc", "-/"), nullptr);
}

// An open handle keeps a deleted service's entry: a registration waits its bounded time for
// it to go, fails and writes nothing.
class ServiceRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(qeltest::WaitServersGone());
    ASSERT_EQ(qeltest::RunProgram(Sim(), "-Service"), 0u);
    manager_.reset(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager_);
    held_.reset(OpenServiceA(manager_.get(), "QELVXWMI", SERVICE_QUERY_STATUS));
    ASSERT_TRUE(held_);
    _Module.Init(GetModuleHandleW(nullptr));
  }
  void TearDown() override {
    _Module.SetUninstallWait(kUninstallWaitMs);
    _Module.SetUninstallClock(CServiceModule::SystemClock());
    held_.reset();
    UniqueScHandle gone(OpenServiceA(manager_.get(), "QELVXWMI", SERVICE_QUERY_STATUS));
    EXPECT_FALSE(gone);
    ASSERT_EQ(qeltest::RunProgram(Sim(), "-RegServer"), 0u);
  }
  static std::string Sim() { return qeltest::BinDir() + "sim\\QelVxWmi.exe"; }
  UniqueScHandle manager_, held_;
};

TEST_F(ServiceRegistration, ServiceThatDoesNotGoFailsTheRegistration) {
  _Module.SetUninstallWait(300);
  DWORD start = GetTickCount();
  EXPECT_EQ(_Module.RegisterServer(true, false), kServiceNotRemoved);
  EXPECT_GE(GetTickCount() - start, 250u);
  EXPECT_LT(GetTickCount() - start, 10000u);
}

// The built-in wait, on a clock that moves only when the wait pauses.
DWORD g_fakeNow = 0;
TEST_F(ServiceRegistration, WaitsHalfAMinuteForAServiceToGo) {
  g_fakeNow = 1000;
  _Module.SetUninstallClock({[] { return g_fakeNow; }, [](DWORD ms) { g_fakeNow += ms; }});
  EXPECT_EQ(_Module.RegisterServer(true, false), kServiceNotRemoved);
  EXPECT_GE(g_fakeNow - 1000, 30000u);
  EXPECT_LT(g_fakeNow - 1000, 30100u);
}

DWORD WINAPI RunModule(void*) {
  _Module.Run();
  return 0;
}

TEST(ServiceRun, StopBeforeTheLoopIsNotLost) {
  _Module.Init(GetModuleHandleW(nullptr));
  _Module.SetServiceMode(false);
  _Module.Handler(SERVICE_CONTROL_STOP);  // arrives before Run has a thread to post to
  DWORD threadId = 0;
  UniqueKernelHandle thread(CreateThread(nullptr, 0, RunModule, nullptr, 0, &threadId));
  ASSERT_TRUE(thread);
  DWORD wait = WaitForSingleObject(thread.get(), 10000);
  if (wait != WAIT_OBJECT_0) {
    // The stop was lost: end the loop so the test can go on.
    while (WaitForSingleObject(thread.get(), 100) == WAIT_TIMEOUT) PostThreadMessageA(threadId, WM_QUIT, 0, 0);
  }
  EXPECT_EQ(wait, WAIT_OBJECT_0) << "Run kept serving after the stop";
}

// The ready event tells clients that the hardware interface can answer: it is set only after
// the initialisation, whose last step is the event subscription, even when that is slow.
TEST(ServiceRun, ReadyEventWaitsForTheHardwareInitialisation) {
  FirmwareSim sim;
  ASSERT_TRUE(sim.Open());
  sim.Reset();
  sim.Update([](FirmwareSimBlock& b) { b.connectDelayMs = 300; });
  SimWmiRecord() = {};
  _Module.Init(GetModuleHandleW(nullptr));
  _Module.SetServiceMode(false);
  DWORD threadId = 0;
  UniqueKernelHandle thread(CreateThread(nullptr, 0, RunModule, nullptr, 0, &threadId));
  ASSERT_TRUE(thread);
  UniqueKernelHandle ready;
  for (int i = 0; i < 1000 && !ready; ++i) {
    ready.reset(OpenEventA(SYNCHRONIZE, FALSE, kReadyEventName));
    if (!ready) Sleep(10);
  }
  ASSERT_TRUE(ready) << "Run made no ready event";
  EXPECT_EQ(WaitForSingleObject(ready.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(SimWmiRecord().query, L"SELECT * FROM vxrBEvnt") << "ready before the subscription";
  while (WaitForSingleObject(thread.get(), 100) == WAIT_TIMEOUT) PostThreadMessageA(threadId, WM_QUIT, 0, 0);
  sim.Reset();
}

}  // namespace
