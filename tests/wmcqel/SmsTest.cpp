// Short messages through the exports against the simulated modem's store: counting, reading
// (a message the host's buffer cannot take stays for the next read), sending with its status
// from the SDK's thread, deleting and the repeated new-message notification.
#include <atomic>
#include <functional>
#include <thread>

#include "GuardedBlock.h"
#include "PluginFixture.h"
#include "ScriptedHost.h"
#include "SimSdkSms.h"
#include "Sms/IS637Codec.h"

namespace {

using namespace plugintest;


// What a host reads back from a transport message: the number and the text.
struct Decoded {
  bool ok = false;
  std::string from, text;
  uint16_t id = 0;
};
Decoded Decode(const uint8_t* bytes, uint32_t length) {
  WMC_SMS_MESSAGE m = {sizeof m, 0, length, 0, 0};
  SetSmsMessageBytes(m, const_cast<uint8_t*>(bytes));
  SmsSendRecord record;
  Decoded d;
  d.ok = ConvertIS637ToCNS(&m, record.get()) == 1;
  d.from.assign(reinterpret_cast<const char*>(record->params.address), record->params.addressCount);
  if (SmsUserData(*record)) d.text.assign(reinterpret_cast<const char*>(SmsUserData(*record)), record->userDataCount);
  d.id = record->messageId;
  return d;
}

// A host message block of n bytes at a page end, pointing at a buffer of capacity bytes that
// also ends at a page end.
struct GuardedMessage {
  GuardedMessage(uint32_t n, uint32_t capacity) : block(n), buffer(capacity) {
    WMC_SMS_MESSAGE m = {n, 0, capacity, 0xEEEEEEEE, 0xEEEE};
    SetSmsMessageBytes(m, buffer.get());
    std::memcpy(block.get(), &m, std::min<uint32_t>(n, sizeof m));
  }
  WMC_SMS_MESSAGE* get() const { return reinterpret_cast<WMC_SMS_MESSAGE*>(block.get()); }
  uint32_t At(uint32_t offset) const {
    uint32_t v;
    std::memcpy(&v, block.get() + offset, 4);
    return v;
  }
  PageEnd block, buffer;
};

constexpr DWORD kStatusComesMs = 20000, kNoStatusMs = 50;

class SmsTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    HeldSms().Drop();  // held for the user: no test starts with another's
    ASSERT_EQ(WMC_Startup(), 0);
    // A status that comes ends the wait; the short waits are for statuses that do not.
    Engine()->smsSendWaitMs_ = kStatusComesMs;
    Engine()->smsLeftoverWaitMs_ = kNoStatusMs;
    Engine()->renotifyDelayMs_ = 10;
    ClearCaptured();
  }
  int NewMessageNotifications() {
    std::vector<int> n = Notifications();
    return static_cast<int>(std::count(n.begin(), n.end(), WMC_NOTIFY_NEW_MESSAGE));
  }
  bool WaitNewMessage(int count, DWORD ms = 5000) {
    return qeltest::PumpUntil([&] { return NewMessageNotifications() >= count; }, ms);
  }
  // Reads with a buffer of capacity bytes; returns the result, the message in *out.
  int Read(bool first, uint32_t capacity, Decoded* out = nullptr, uint32_t* length = nullptr) {
    std::vector<uint8_t> buffer(capacity ? capacity : 1);
    WMC_SMS_MESSAGE m = {sizeof m, 0, capacity, 7, 0};
    SetSmsMessageBytes(m, buffer.data());
    int r = first ? WMC_GetFirstMessage(0, &m) : WMC_GetNextMessage(&m);
    if (length) *length = m.length;
    if (r == 0) {
      EXPECT_EQ(m.status, 0u);
      if (out) *out = Decode(buffer.data(), m.length);
    }
    return r;
  }
  int Send(const std::vector<uint8_t>& bytes) {
    WMC_SMS_MESSAGE m = {sizeof m, 0, static_cast<uint32_t>(bytes.size()), 0, 0};
    SetSmsMessageBytes(m, const_cast<uint8_t*>(bytes.data()));
    return WMC_SendMessage(&m);
  }
  void TearDown() override {
    PluginTest::TearDown();
    HeldSms().Drop();
  }
  void SendStatus(uint32_t status, uint32_t cause) {
    auto guard = sdk_.lock();
    sdk_->sms.storeOn = 1;
    sdk_->sms.sendStatus = status;
    sdk_->sms.sendCause = cause;
  }
};

TEST(SmsCause, SendResults) {
  struct Case {
    int cause, result;
  };
  for (Case c : {Case{0, 1000}, Case{6, 1006}, Case{7, 104}, Case{30, 104}, Case{31, 1031}, Case{40, 1040},
                 Case{41, 104}, Case{47, 1047}, Case{48, 1048}, Case{49, 104}, Case{63, 1063}, Case{67, 1067},
                 Case{68, 104}, Case{94, 104}, Case{95, 1095}, Case{97, 1097}, Case{108, 1108}, Case{109, 104},
                 Case{255, 1255}, Case{0x4000, 1769}, Case{0x8000, 0}, Case{0x8001, 1769}, Case{0x8003, 1771},
                 Case{0x8007, 1775}, Case{0x8008, 104}, Case{0x8009, 1777}, Case{0x800B, 1779}, Case{0x800C, 104},
                 Case{-1, 104}})
    EXPECT_EQ(CSEVDOEngine::TranslateSmsCause(c.cause), c.result) << c.cause;
}

struct SendCase {
  const char* name;
  uint32_t status, cause;  // status 0: none comes
  int32_t storeResult, sendResult;
  int result;
};

TEST_F(SmsTest, SendResultsFromTheStatusOnTheSdksThread) {
  const SendCase cases[] = {
      {"status 2 cause 97", 2, 97, 0, 0, 1097},     {"status 1 cause 0x8003", 1, 0x8003, 0, 0, 1771},
      {"status 2 cause 0x8008", 2, 0x8008, 0, 0, 104}, {"status 3 cause 97", 3, 97, 0, 0, 0},
      {"status 1 cause 0x8000", 1, 0x8000, 0, 0, 0}, {"store fails", 2, 97, 7, 0, 104},
      {"send fails", 2, 97, 0, 9, 1778},            {"no status in time", 0, 0, 0, 0, 104},
  };
  std::vector<uint8_t> bytes = SimSdkSmsHostMessage("2065550123", "On my way");
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.name);
    Engine()->smsSendWaitMs_ = c.status ? kStatusComesMs : kNoStatusMs;
    SendStatus(c.status, c.cause);
    sdk_.SetResult("QelStoreSMSMessage", c.storeResult);
    sdk_.SetResult("QelSendSMS", c.sendResult);
    sdk_.ClearCalls();
    // A message posted to this thread stays queued: the wait does not dispatch.
    ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_USER + 7, 0, 0));
    EXPECT_EQ(Send(bytes), c.result);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 7, WM_USER + 7, PM_REMOVE));
    ASSERT_EQ(sdk_.Calls("QelStoreSMSMessage").size(), 1u);
    EXPECT_EQ(sdk_.Calls("QelSendSMS").size(), c.storeResult ? 0u : 1u);
  }
  // What the modem was given: each record it sent.
  auto guard = sdk_.lock();
  ASSERT_EQ(sdk_->sms.sentCount, 6u);
  CNS_SMS_PARAMS p = SimSdkSmsParams(sdk_->sms.sent[0]);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.address), p.addressCount), "2065550123");
  EXPECT_EQ(SimSdkSmsTextOf(sdk_->sms.sent[0]), "On my way");
}

// Host callbacks that hold the SDK's delivering thread, one new-message notification each,
// until released in turn.
struct DeliveryGate {
  HANDLE released[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  std::atomic<int> held{0};
  ~DeliveryGate() {
    for (HANDLE h : released) {
      SetEvent(h);
      CloseHandle(h);
    }
  }
};
DeliveryGate* g_gate = nullptr;
void __cdecl HoldDelivery(int index) {
  if (index != WMC_NOTIFY_NEW_MESSAGE || !g_gate) return;
  int n = g_gate->held++;
  if (n < 2) WaitForSingleObject(g_gate->released[n], 10000);
}

// The status of a send that timed out comes while the next send starts, ahead of that send's
// own: it is not taken for the next send's.
TEST_F(SmsTest, LateStatusOfATimedOutSendIsNotTheNextSends) {
  std::vector<uint8_t> bytes = SimSdkSmsHostMessage("2065550123", "On my way");
  SendStatus(0, 0);  // no status comes in time
  Engine()->smsSendWaitMs_ = kNoStatusMs;
  ASSERT_EQ(Send(bytes), 104);

  DeliveryGate gate;
  g_gate = &gate;
  ASSERT_EQ(WMC_SetCallback(WMC_NOTIFY_NEW_MESSAGE, HoldDelivery, 0), 0);
  // Queued on the SDK's thread: a held notification, the late status, another held one; the
  // next send's own status (delivered) comes behind them.
  ASSERT_TRUE(sdk_.Inject(17, {0, 1, 0}));
  ASSERT_TRUE(sdk_.Inject(18, {0, 0, 2, 97}));
  ASSERT_TRUE(sdk_.Inject(17, {0, 1, 0}));
  SendStatus(3, 0);
  Engine()->smsSendWaitMs_ = Engine()->smsLeftoverWaitMs_ = kStatusComesMs;
  std::atomic<bool> returned{false};
  std::thread releaser([&] {
    auto sent = [&] { return sdk_.Calls("QelSendSMS").size() >= 2; };
    // The late status as this send goes out, or while it waits for it before.
    for (DWORD start = GetTickCount(); !sent() && GetTickCount() - start < 300;) Sleep(2);
    SetEvent(gate.released[0]);
    // The send's own status once it has been sent.
    while (!sent()) Sleep(2);
    for (DWORD start = GetTickCount(); !returned && GetTickCount() - start < 300;) Sleep(2);
    SetEvent(gate.released[1]);
  });
  int r = Send(bytes);
  returned = true;
  releaser.join();
  WMC_SetCallback(WMC_NOTIFY_NEW_MESSAGE, HoldDelivery, 1);
  g_gate = nullptr;
  EXPECT_EQ(r, 0) << "1097 is the earlier send's status";
  EXPECT_EQ(sdk_->sms.sentCount, 2u);
}

// A status that never comes is given up after one more wait: the next send has its own.
TEST_F(SmsTest, LostStatusCostsTheNextSendOneWait) {
  std::vector<uint8_t> bytes = SimSdkSmsHostMessage("2065550123", "On my way");
  SendStatus(0, 0);
  Engine()->smsSendWaitMs_ = kNoStatusMs;
  ASSERT_EQ(Send(bytes), 104);
  Engine()->smsSendWaitMs_ = kStatusComesMs;
  SendStatus(2, 97);
  EXPECT_EQ(Send(bytes), 1097);
  EXPECT_EQ(Send(bytes), 1097);
}

TEST_F(SmsTest, RealWaits) {
  WMC_Shutdown();
  ASSERT_EQ(WMC_Startup(), 0);
  EXPECT_EQ(Engine()->smsSendWaitMs_, 6000u);
  EXPECT_EQ(Engine()->smsLeftoverWaitMs_, 6000u);
  EXPECT_EQ(Engine()->renotifyDelayMs_, 2000u);
}

TEST_F(SmsTest, RefusedMessageReachesNoSdkCall) {
  SendStatus(2, 97);
  sdk_.ClearCalls();
  std::vector<uint8_t> bytes = SimSdkSmsHostMessage("2065550123", "x");
  bytes[0] = 1;  // broadcast: refused
  EXPECT_EQ(Send(bytes), 1);
  EXPECT_TRUE(sdk_.Calls("QelStoreSMSMessage").empty());
  EXPECT_TRUE(sdk_.Calls("QelSendSMS").empty());
}

TEST_F(SmsTest, NewMessagesAreAnnouncedCountedReadAndDeleted) {
  ASSERT_TRUE(SimSdkSmsDeliver(sdk_, SimSdkSmsText(41, "2065550123", "Lunch at noon?")));
  ASSERT_TRUE(WaitNewMessage(1));
  ASSERT_TRUE(SimSdkSmsDeliver(sdk_, SimSdkSmsText(42, "4255550199", "Call me")));
  ASSERT_TRUE(WaitNewMessage(2));
  EXPECT_EQ(WMC_GetMessageCount(0), 1);
  EXPECT_EQ(WMC_GetMessageCount(1), 1);
  Decoded d;
  ASSERT_EQ(Read(true, 200, &d), 0);
  EXPECT_TRUE(d.ok);
  EXPECT_EQ(d.from, "2065550123");
  EXPECT_EQ(d.text, "Lunch at noon?");
  EXPECT_EQ(d.id, 41);
  ASSERT_EQ(Read(false, 200, &d), 0);
  EXPECT_EQ(d.text, "Call me");
  EXPECT_EQ(Read(false, 200), 104);  // the modem has no further message
  EXPECT_EQ(Read(false, 200), 104);  // a failed read leaves the first-read flag set
  EXPECT_EQ(LinesWith("CSEVDOEngine::GetNextMessage ConvertCNSToIS637:WMC_ERROR_SUCCESS"), 2);

  // Deleting one of two: announced again after the delay, on a thread of its own.
  ClearCaptured();
  EXPECT_EQ(WMC_DeleteMessage(0x10000 + 41), 0);  // the low 16 bits are the id
  ASSERT_TRUE(WaitNewMessage(1));
  {
    std::lock_guard<std::mutex> g(Capture().lock);
    DWORD t = Capture().notificationThreads.back();
    EXPECT_NE(t, GetCurrentThreadId());
    EXPECT_NE(t, sdk_->notifyThread);
  }
  EXPECT_EQ(Engine()->messagesWaiting_, 1u);
  // Deleting the last: the flag clears and no thread announces anything.
  EXPECT_EQ(WMC_DeleteMessage(42), 0);
  EXPECT_EQ(Engine()->messagesWaiting_, 0u);
  Sleep(200);
  EXPECT_EQ(NewMessageNotifications(), 1);
  EXPECT_EQ(WMC_DeleteMessage(42), 302);  // gone: the modem cannot mark it
  EXPECT_EQ(WMC_GetMessageCount(0), 0);
}

// The modem hands a message out once: one the host's buffer could not take comes with the
// next read, also when a shutdown and a new start-up come between (it outlives the engine).
TEST_F(SmsTest, MessageTooBigForTheBufferStaysForTheNextRead) {
  for (bool restart : {false, true}) {
    SCOPED_TRACE(restart ? "shutdown and start-up between the reads" : "one engine");
    {
      auto guard = sdk_.lock();
      sdk_->sms = SimSdkSmsState{};
    }
    sdk_.ClearCalls();
    ClearCaptured();
    ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(7, "2065550123", "A rather longer message than fits")));
    ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(8, "2065550123", "The second")));
    ASSERT_EQ(WMC_GetMessageCount(0), 1);
    uint32_t needed = 0;
    ASSERT_EQ(Read(true, 0, nullptr, &needed), 300);
    ASSERT_GT(needed, 9u);
    EXPECT_EQ(LinesWith("CSEVDOEngine::GetNextMessage ConvertCNSToIS637:error(300)"), 1);
    GuardedMessage shortOne(22, needed - 1);
    EXPECT_EQ(WMC_GetFirstMessage(0, shortOne.get()), 300);
    EXPECT_EQ(shortOne.At(12), needed);
    EXPECT_TRUE(shortOne.buffer.Untouched());
    if (restart) {
      ASSERT_EQ(WMC_Shutdown(), 0);
      ASSERT_EQ(WMC_Startup(), 0);
      EXPECT_EQ(sdk_->sms.count, 2u) << "still in the modem";
      EXPECT_EQ(WMC_GetMessageCount(0), 1);
    }
    // The same message, once the buffer is large enough; the modem handed it out once.
    GuardedMessage exact(22, needed);
    ASSERT_EQ(WMC_GetFirstMessage(0, exact.get()), 0);
    EXPECT_EQ(exact.At(12), needed);
    EXPECT_EQ(exact.At(16), 0u);
    Decoded d = Decode(exact.buffer.get(), needed);
    EXPECT_EQ(d.id, 7);
    EXPECT_EQ(d.text, "A rather longer message than fits");
    EXPECT_EQ(sdk_.Calls("QelRetrieveSMSMessageEx").size(), 1u);
    ASSERT_EQ(Read(false, 200, &d), 0);
    EXPECT_EQ(d.id, 8);
  }
}

// Held over a shutdown, it still goes with the delete of its id or a delete-all step, and
// with a modem that no longer reports any message.
TEST_F(SmsTest, HeldMessageGoesWithItsDeletion) {
  enum Drop { kById, kDeleteAll, kGoneFromTheModem };
  for (Drop drop : {kById, kDeleteAll, kGoneFromTheModem}) {
    SCOPED_TRACE(static_cast<int>(drop));
    ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(7, "2065550123", "Held back")));
    ASSERT_EQ(WMC_GetMessageCount(0), 1);
    ASSERT_EQ(Read(true, 8), 300);
    ASSERT_EQ(WMC_Shutdown(), 0);
    ASSERT_EQ(WMC_Startup(), 0);
    Engine()->renotifyDelayMs_ = 10;
    if (drop == kById) {
      EXPECT_EQ(WMC_DeleteMessage(7), 0);
    } else if (drop == kDeleteAll) {
      EXPECT_EQ(WMC_DeleteAllMessages(0), 0);
    } else {
      auto guard = sdk_.lock();
      sdk_->sms.count = 0;
    }
    EXPECT_EQ(WMC_GetMessageCount(0), 0);
    EXPECT_EQ(Read(true, 200), 301);
  }
}

TEST_F(SmsTest, NoWaitingFlagNoSdkCall) {
  ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(3, "2065550123", "Unannounced")));
  sdk_.ClearCalls();
  EXPECT_EQ(Read(true, 200), 301);
  EXPECT_TRUE(sdk_.Calls("QelRetrieveSMSMessageEx").empty());
  EXPECT_EQ(WMC_GetMessageCount(0), 1);  // the count refreshes the flag
  EXPECT_EQ(Read(true, 200), 0);
  // First read fails: the next read is refused until a first read succeeds.
  EXPECT_EQ(Read(true, 200), 104);
  sdk_.ClearCalls();
  EXPECT_EQ(Read(false, 200), 104);
  EXPECT_TRUE(sdk_.Calls("QelRetrieveSMSMessageEx").empty());
  EXPECT_EQ(WMC_GetMessageCount(2), 0);
}

TEST_F(SmsTest, StatusReadFailures) {
  ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(1, "1", "a")));
  ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(2, "1", "b")));
  ASSERT_EQ(WMC_GetMessageCount(0), 1);
  sdk_.SetResult("QelGetSMSMessageStatus", 5);
  EXPECT_EQ(WMC_DeleteMessage(1), 0);  // an unreadable status counts as no message
  EXPECT_EQ(Engine()->messagesWaiting_, 0u);
  EXPECT_EQ(WMC_GetMessageCount(0), 0);
  // Counters that add up past 32 bits still count as messages.
  sdk_.SetResult("QelGetSMSMessageStatus", 0);
  const uint32_t counters[3] = {16, 0xFFFFFFFFu, 1};
  sdk_.SetOut("QelGetSMSMessageStatus", counters);
  EXPECT_EQ(WMC_GetMessageCount(0), 1);
  EXPECT_EQ(Engine()->GetUnreadCount(), INT_MAX);
}

TEST_F(SmsTest, DeleteAllRemovesOneMessagePerCall) {
  for (uint16_t id = 1; id <= 2; ++id) ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(id, "1", "x")));
  ASSERT_EQ(WMC_GetMessageCount(0), 1);
  EXPECT_EQ(WMC_DeleteAllMessages(1), 0);
  ASSERT_TRUE(WaitNewMessage(1));  // one remains: announced again
  EXPECT_EQ(WMC_DeleteAllMessages(0), 0);
  EXPECT_EQ(Engine()->messagesWaiting_, 0u);
  EXPECT_EQ(WMC_DeleteAllMessages(0), 104);  // nothing left to remove
  std::vector<SimSdkCall> calls = sdk_.Calls("QelRetrieveSMSMessageEx");
  ASSERT_EQ(calls.size(), 3u);
  for (const SimSdkCall& c : calls) EXPECT_EQ(c.args[1], 1u);
  Sleep(100);
  EXPECT_EQ(NewMessageNotifications(), 1);
}

TEST_F(SmsTest, ShutdownEndsWaitingReNotifyThreads) {
  Engine()->renotifyDelayMs_ = 300;
  for (uint16_t id = 1; id <= 2; ++id) ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(id, "1", "x")));
  ASSERT_EQ(WMC_GetMessageCount(0), 1);
  ASSERT_EQ(WMC_DeleteMessage(1), 0);
  ASSERT_EQ(WMC_Shutdown(), 0);
  Sleep(600);
  EXPECT_EQ(NewMessageNotifications(), 0);
}

// The block exports on their success paths with the block at a page end, at its minimum size
// and one byte short.
TEST_F(SmsTest, BlockExportsAtAPageEnd) {
  SendStatus(3, 0);
  std::vector<uint8_t> bytes = SimSdkSmsHostMessage("2065550123", "Guarded");
  for (int n : {22, 21}) {
    SCOPED_TRACE(n);
    int want = n == 22 ? 0 : 300;
    GuardedMessage send(static_cast<uint32_t>(n), static_cast<uint32_t>(bytes.size()));
    std::memcpy(send.buffer.get(), bytes.data(), bytes.size());
    EXPECT_EQ(WMC_SendMessage(send.get()), want);

    for (uint16_t id = 1; id <= 2; ++id) ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(id, "1", "Read")));
    ASSERT_EQ(WMC_GetMessageCount(0), 1);
    GuardedMessage first(static_cast<uint32_t>(n), 64), next(static_cast<uint32_t>(n), 64);
    EXPECT_EQ(WMC_GetFirstMessage(0, first.get()), want);
    if (n == 22) EXPECT_EQ(first.At(16), 0u);
    else EXPECT_TRUE(first.buffer.Untouched());
    EXPECT_EQ(WMC_GetNextMessage(next.get()), n == 22 ? 0 : 300);
    for (uint16_t id = 1; id <= 2; ++id) WMC_DeleteMessage(id);
  }
}

}  // namespace

// The plug-in library unloaded while a re-notify thread waits: the thread keeps the code
// mapped to its end, after the real 2,000 ms.
namespace {

using namespace plugintest;

// Milliseconds from the performance counter (Wine's tick count can lag behind).
double Milliseconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

volatile LONG g_newMessages = 0;
std::atomic<double> g_newMessageAt{0};
void __cdecl CountNewMessage(int index) {
  if (index != WMC_NOTIFY_NEW_MESSAGE) return;
  g_newMessageAt = Milliseconds();
  InterlockedIncrement(&g_newMessages);
}

template <class F>
F Bound(HMODULE library, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

TEST_F(PluginTest, ReNotifyThreadKeepsTheLibraryUntilItEnds) {
  HMODULE library = LoadLibraryA((RootBin() + "wmcqel.dll").c_str());
  ASSERT_NE(library, nullptr);
  auto startup = Bound<int(__cdecl*)()>(library, "WMC_Startup");
  auto shutdown = Bound<int(__cdecl*)()>(library, "WMC_Shutdown");
  auto setCallback = Bound<int(__cdecl*)(int, WMC_NOTIFY_CALLBACK, int)>(library, "WMC_SetCallback");
  auto count = Bound<int(__cdecl*)(int)>(library, "WMC_GetMessageCount");
  auto remove = Bound<int(__cdecl*)(int)>(library, "WMC_DeleteMessage");
  for (uint16_t id = 1; id <= 2; ++id) ASSERT_TRUE(SimSdkSmsAdd(sdk_, SimSdkSmsText(id, "1", "x")));
  ASSERT_EQ(setCallback(WMC_NOTIFY_NEW_MESSAGE, CountNewMessage, 0), 0);
  ASSERT_EQ(startup(), 0);
  ASSERT_EQ(count(0), 1);
  double deleted = Milliseconds();
  ASSERT_EQ(remove(1), 0);
  FreeLibrary(library);
  EXPECT_NE(GetModuleHandleA("wmcqel.dll"), nullptr);  // held by the engine and the waiting thread
  ASSERT_TRUE(qeltest::PumpUntil([] { return g_newMessages >= 1; }, 6000));
  double elapsed = g_newMessageAt.load() - deleted;
  EXPECT_GE(elapsed, 1990.0);
  EXPECT_LT(elapsed, 4000.0);
  // The engine keeps the library until it is shut down; then the last holder's end unloads.
  library = LoadLibraryA((RootBin() + "wmcqel.dll").c_str());  // the host's again, for the call
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(shutdown(), 0);
  FreeLibrary(library);
  EXPECT_TRUE(qeltest::PumpUntil([] { return GetModuleHandleA("wmcqel.dll") == nullptr; }, 6000));
  EXPECT_EQ(sdk_.Calls("QelApiClose").size(), 1u);
  EXPECT_TRUE(WaitSdkUnloaded());
  // The abandoned client library is the test process's from here on.
  if (HMODULE client = GetModuleHandleA("qelvxaux.dll")) FreeLibrary(client);
}

}  // namespace

// The host program's short-message commands, as the demo runs them, in another process.
namespace {

using namespace plugintest;

// Host blocks and message lengths the send cannot trust, against no-access pages in a host
// program: each is refused before the plug-in reads what lies past the host's bytes.
TEST_F(PluginTest, HostProgramSendRefusesBlocksAndLengthsBeforeReadingPastThem) {
  ScriptedHost host("smsguard");
  ASSERT_EQ(host.Missing(), "");
  DWORD code = 0;
  std::string out = host.Run(
      "startup smsstatus 3 0 smsguard 4 0 end smsguard 21 0 end smsguard 22 0x7FFFFFFF end "
      "smsguard 22 0xFFFFFFFF page smsguard 22 65794 page smsguard 22 0 end shutdown",
      &code);
  EXPECT_EQ(code, 0u) << out;
  const std::string own = std::to_string(SimSdkSmsHostMessage("2065550123", "Guarded").size());
  for (const std::string& line :
       {"WMC_SendMessage(block 4, length " + own + ", end): 300", "WMC_SendMessage(block 21, length " + own + ", end): 300",
        std::string("WMC_SendMessage(block 22, length 2147483647, end): 1"),
        std::string("WMC_SendMessage(block 22, length 4294967295, page): 1"),
        std::string("WMC_SendMessage(block 22, length 65794, page): 1"),
        "WMC_SendMessage(block 22, length " + own + ", end): 0"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_EQ(host.sdk->sms.sentCount, 1u);
}

TEST_F(PluginTest, HostProgramSendsReceivesReadsAndDeletes) {
  ScriptedHost host("smshost");
  ASSERT_EQ(host.Missing(), "");
  SimSdkControl& sdk = host.sdk;
  host.client->powerState = 1;
  DWORD code = 0;
  std::string out = host.Run(
                            "startup smsstatus 2 97 smssend 2065550123 \"Running late\" smsdeliver 41 4255550123 "
                            "\"Lunch at noon?\" wait 5 5000 smscount 0 smsread first smsread next smsdelete 41 "
                            "smscount 0 smsdeleteall 0 smssent shutdown",
                            &code);
  EXPECT_EQ(code, 0u) << out;
  for (const char* line :
       {"WMC_SendMessage(2065550123, \"Running late\"): 1097", "wait 5: received", "WMC_GetMessageCount(0): 1",
        "WMC_GetFirstMessage(0): 0 length 41 id 41 from 4255550123 text \"Lunch at noon?\"",
        "WMC_GetNextMessage: 104", "WMC_DeleteMessage(41): 0", "WMC_GetMessageCount(0): 0",
        "WMC_DeleteAllMessages(0): 104", "smssent: 1", "to 2065550123 text \"Running late\""})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_EQ(sdk->sms.count, 0u);
}

// The message that did not fit stays for the next read across an unload and a new load, and
// in the user's next process: the modem hands it out only once.
TEST_F(PluginTest, HostProgramKeepsAHeldMessageOverAnUnloadAndIntoTheNextProcess) {
  ScriptedHost host("smsheld");
  ASSERT_EQ(host.Missing(), "");
  host.client->powerState = 1;
  const std::string text = "A rather longer message than fits";
  const std::string got = "WMC_GetFirstMessage(0): 0 length ";
  const std::string whole = " id 7 from 2065550123 text \"" + text + "\"";
  DWORD code = 0;
  std::string out = host.Run("startup smsdeliver 7 2065550123 \"" + text +
                                 "\" wait 5 5000 smsread first 20 shutdown free reload startup smscount 0 "
                                 "smsread first shutdown free",
                             &code);
  EXPECT_EQ(code, 0u) << out;
  size_t held = out.find("WMC_GetFirstMessage(0): 300 length ");
  ASSERT_NE(held, std::string::npos) << out;
  EXPECT_NE(out.find("WMC_GetMessageCount(0): 1", held), std::string::npos) << out;
  size_t read = out.find(got, held);
  ASSERT_NE(read, std::string::npos) << "the held message was lost with the unload\n" << out;
  EXPECT_NE(out.find(whole, read), std::string::npos) << out;
  EXPECT_EQ(host.sdk.Calls("QelRetrieveSMSMessageEx").size(), 1u) << "the modem is asked once";
  // The next message held back by one process is read by the next.
  out = host.Run("startup smsdeliver 8 2065550123 \"" + text + "\" wait 5 5000 smsread first 20 shutdown", &code);
  ASSERT_NE(out.find("WMC_GetFirstMessage(0): 300 length "), std::string::npos) << out;
  out = host.Run("startup smscount 0 smsread first shutdown", &code);
  EXPECT_EQ(code, 0u) << out;
  read = out.find(got);
  ASSERT_NE(read, std::string::npos) << "the held message was lost with the process\n" << out;
  EXPECT_NE(out.find(" id 8 from 2065550123 text \"" + text + "\"", read), std::string::npos) << out;
}

}  // namespace
