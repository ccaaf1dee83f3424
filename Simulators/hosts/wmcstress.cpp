// wmcstress: a concurrency stress host of the plug-in. Several host threads run random
// sequences of the exports against the simulated SDK and client library (both with random
// delays in their entry points), the slot callbacks forward with SendMessage to the pumping
// main thread, whose handlers sometimes call exports, and every round ends with an unload
// and a reload. After each round it checks what a host may rely on and prints one "FAIL"
// line per broken rule:
//   wmcstress [--seed N] [--seconds N] [--threads N] [--step-limit-ms N]
// The first line gives the seed; the same seed replays the same sequences of calls and
// delays (not the same interleaving). Exit codes: 0 every check held, 1 a check failed, 2 no
// set-up, 3 a step took longer than its limit (a hang), 4 a crash.
// Run from the build's bin folder, it copies itself, wmcqel.dll and the simulated SDK and
// client library into bin\stress\ and runs there, so that the plug-in's by-name loads find
// the stand-ins and not the real client library beside the build.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "Exports.h"
#include "SimClientControl.h"
#include "SimSdkControl.h"
#include "SimSdkSms.h"
#include "Sms/IS637Codec.h"

namespace {

// --- Options and output ---------------------------------------------------------------

struct Options {
  uint32_t seed = 0;
  DWORD seconds = 30;
  int threads = 4;
  DWORD stepLimitMs = 15000;  // longer than any bounded wait of the plug-in (SMS send: 12 s)
};
Options g_options;

std::mutex g_print;
void Print(const char* format, ...) {
  std::lock_guard<std::mutex> hold(g_print);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

std::mutex g_failureLock;
std::vector<std::string> g_failures;  // of the current round
std::atomic<int> g_round{0};
constexpr size_t kMaxFailuresShown = 40;

void Fail(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  std::lock_guard<std::mutex> hold(g_failureLock);
  bool again = std::find(g_failures.begin(), g_failures.end(), text) != g_failures.end();
  if (!again && g_failures.size() < kMaxFailuresShown) Print("FAIL round %d: %s\n", g_round.load(), text);
  g_failures.push_back(text);
}

size_t FailureCount() {
  std::lock_guard<std::mutex> hold(g_failureLock);
  return g_failures.size();
}

// --- What each thread does, for the watchdog ---------------------------------------------

constexpr int kMaxWorkers = 16;
struct Activity {
  char name[16] = "";
  std::atomic<const char*> step{nullptr};
  std::atomic<ULONGLONG> since{0};
  std::atomic<long> calls{0};
  std::atomic<HANDLE> thread{nullptr};  // a worker's, while the main thread holds it
  // What it does now, null when idle or its thread has ended.
  const char* Now() const {
    HANDLE h = thread.load();
    return h && WaitForSingleObject(h, 0) == WAIT_OBJECT_0 ? nullptr : step.load();
  }
};
Activity g_activity[kMaxWorkers + 1];  // 0: the main (user interface) thread
thread_local Activity* t_activity = nullptr;

// One step of a thread; nested steps (a handler's export inside an export's wait) restore
// the outer one when they end.
class Step {
 public:
  explicit Step(const char* what) : a_(t_activity) {
    if (!a_) return;
    outer_ = a_->step.load();
    outerSince_ = a_->since.load();
    a_->since = GetTickCount64();
    a_->step = what;
    ++a_->calls;
  }
  ~Step() {
    if (!a_) return;
    a_->step = outer_;
    a_->since = outerSince_;
  }
  Step(const Step&) = delete;
  Step& operator=(const Step&) = delete;

 private:
  Activity* a_;
  const char* outer_ = nullptr;
  ULONGLONG outerSince_ = 0;
};

void PrintActivities() {
  ULONGLONG now = GetTickCount64();
  for (const Activity& a : g_activity) {
    if (!a.name[0]) continue;
    ULONGLONG since = a.since.load();
    const char* step = a.Now();
    if (step)
      std::printf("  %s: %s for %llu ms\n", a.name, step, static_cast<unsigned long long>(now > since ? now - since : 0));
    else
      std::printf("  %s: idle\n", a.name);
  }
}

// Ends the process when a step takes longer than its limit; the loader lock may be held by
// the stuck thread, so the process is terminated, not exited.
std::atomic<bool> g_watchdogStop{false};
DWORD WINAPI Watchdog(void* started) {
  SetEvent(static_cast<HANDLE>(started));
  while (!g_watchdogStop.load()) {
    Sleep(100);
    ULONGLONG now = GetTickCount64();
    for (const Activity& a : g_activity) {
      // The step and its start are two stores: read the start on both sides of the step.
      ULONGLONG since = a.since.load();
      const char* step = a.Now();
      if (!step || a.since.load() != since || now < since || now - since <= g_options.stepLimitMs) continue;
      std::printf("FAIL round %d: hang: %s in %s for more than %lu ms; every thread:\n", g_round.load(), a.name,
                  step, static_cast<unsigned long>(g_options.stepLimitMs));
      PrintActivities();
      std::printf("wmcstress: FAIL (hang) seed %u\n", g_options.seed);
      std::fflush(stdout);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
  return 0;
}

// Access violations, counted also where Wine's message dispatch swallows them.
std::atomic<long> g_faults{0};
LONG CALLBACK CountFaults(EXCEPTION_POINTERS* e) {
  DWORD code = e->ExceptionRecord->ExceptionCode;
  if (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION || code == EXCEPTION_PRIV_INSTRUCTION)
    ++g_faults;
  return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI Crashed(EXCEPTION_POINTERS* e) {
  const Activity* a = t_activity;
  const char* step = a ? a->step.load() : nullptr;
  std::printf("FAIL round %d: crash: exception 0x%08lx at %p on %s during %s\n", g_round.load(),
              static_cast<unsigned long>(e->ExceptionRecord->ExceptionCode), e->ExceptionRecord->ExceptionAddress,
              a ? a->name : "a thread of the plug-in", step ? step : "no step");
  std::printf("wmcstress: FAIL (crash) seed %u\n", g_options.seed);
  std::fflush(stdout);
  TerminateProcess(GetCurrentProcess(), 4);
  return EXCEPTION_EXECUTE_HANDLER;
}

// --- The plug-in's exports ------------------------------------------------------------------

struct Plugin {
  HMODULE library = nullptr;
  decltype(&::WMC_Startup) Startup = nullptr;
  decltype(&::WMC_Shutdown) Shutdown = nullptr;
  decltype(&::WMC_SetCallback) SetCallback = nullptr;
  decltype(&::WMC_SetPower) SetPower = nullptr;
  decltype(&::WMC_GetConnectionInfo) GetConnectionInfo = nullptr;
  decltype(&::WMC_GetNetworkInfo) GetNetworkInfo = nullptr;
  decltype(&::WMC_GetDeviceInfo) GetDeviceInfo = nullptr;
  decltype(&::WMC_GetMessageCount) GetMessageCount = nullptr;
  decltype(&::WMC_GetFirstMessage) GetFirstMessage = nullptr;
  decltype(&::WMC_GetNextMessage) GetNextMessage = nullptr;
  decltype(&::WMC_DeleteMessage) DeleteMessage = nullptr;
  decltype(&::WMC_SetFieldTest) SetFieldTest = nullptr;
};
Plugin g_plugin;

template <class F>
bool Bind(HMODULE library, F* f, const char* name) {
  *f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *f != nullptr;
}

bool LoadPlugin(Plugin& p) {
  Step step("LoadLibrary(wmcqel.dll)");
  p.library = LoadLibraryA("wmcqel.dll");
  if (!p.library) return false;
  return Bind(p.library, &p.Startup, "WMC_Startup") && Bind(p.library, &p.Shutdown, "WMC_Shutdown") &&
         Bind(p.library, &p.SetCallback, "WMC_SetCallback") && Bind(p.library, &p.SetPower, "WMC_SetPower") &&
         Bind(p.library, &p.GetConnectionInfo, "WMC_GetConnectionInfo") &&
         Bind(p.library, &p.GetNetworkInfo, "WMC_GetNetworkInfo") &&
         Bind(p.library, &p.GetDeviceInfo, "WMC_GetDeviceInfo") &&
         Bind(p.library, &p.GetMessageCount, "WMC_GetMessageCount") &&
         Bind(p.library, &p.GetFirstMessage, "WMC_GetFirstMessage") &&
         Bind(p.library, &p.GetNextMessage, "WMC_GetNextMessage") &&
         Bind(p.library, &p.DeleteMessage, "WMC_DeleteMessage") && Bind(p.library, &p.SetFieldTest, "WMC_SetFieldTest");
}

bool PluginMapped() { return GetModuleHandleA("wmcqel.dll") != nullptr; }
// The plug-in's unload has its client-library thread uninitialise and free the library after
// the loader lock is let go: done once the library is unmapped.
bool ClientMapped() { return GetModuleHandleA("qelvxaux.dll") != nullptr; }

// The simulated stand-ins' blocks of this process, mapped for the whole run (a block lives
// only while someone maps it).
SimSdkControl* g_sdk = nullptr;
SimClientControl* g_client = nullptr;

// Power states of the client library: on and off.
constexpr uint32_t kPowerOn = 1, kPowerOff = 2;

// The modem's identity that every successful WMC_GetDeviceInfo must show.
constexpr char kMdn[] = "5550001234";
constexpr char kImsi[] = "310005550001234";
constexpr char kManufacturer[] = "Veltra Vazudari";

void ScriptStandIns(uint32_t seed) {
  g_sdk->Reset();
  g_client->Reset();
  {
    auto hold = g_sdk->lock();
    SimSdkBlock& b = g_sdk->block();
    b.modelCode = 20;
    b.info.meidInUse = b.info.meidProvisioned = 1;
    b.info.meidHigh = 0xA10000;
    b.info.meidLow = 0x0ABCDEF1;
    b.info.pseudoEsn = 0x80ABCDEFu;
    b.info.service = 1;
    b.info.hdrService = 2;
    b.info.cdmaRssi = 75;
    b.activation.activated = 1;
    lstrcpynA(b.activation.committed.mdn, kMdn, sizeof b.activation.committed.mdn);
    lstrcpynA(b.activation.committed.imsi, kImsi, sizeof b.activation.committed.imsi);
    b.sms.storeOn = 1;
    b.randomDelayMaxMs = 6;
    b.randomSeed = seed | 1u;
  }
  SimClientBlock& c = *g_client->operator->();
  c.powerState = kPowerOn;
  c.randomDelayMaxMs = 6;
  c.randomSeed = (seed * 2654435761u) | 1u;
}

// --- Calls with their checks ----------------------------------------------------------------

// Shutdowns begun and under way: a start-up's answer can be checked against the SDK only
// while no shutdown overlapped it.
std::atomic<long> g_shutdownsBegun{0}, g_shutdownsActive{0};

int CallShutdown(Plugin& p) {
  Step step("WMC_Shutdown");
  ++g_shutdownsBegun;
  ++g_shutdownsActive;
  int r = p.Shutdown();
  --g_shutdownsActive;
  return r;
}

int CallStartup(Plugin& p, const char* name = "WMC_Startup") {
  long begun = g_shutdownsBegun.load();
  bool quiet = g_shutdownsActive.load() == 0;
  int r;
  {
    Step step(name);
    r = p.Startup();
  }
  if (r == 0 && quiet) {
    uint32_t opened = (*g_sdk)->opened;
    if (!opened && g_shutdownsBegun.load() == begun && g_shutdownsActive.load() == 0)
      Fail("%s on %s answered 0 but no SDK session is open", name, t_activity ? t_activity->name : "?");
  }
  return r;
}

bool Terminated(const char* text, size_t size) { return strnlen(text, size) < size; }

void CheckConnectionInfo(Plugin& p) {
  WMC_CONNECTION_INFO c;
  std::memset(&c, 0xCD, sizeof c);
  c.size = sizeof c;
  int r;
  {
    Step step("WMC_GetConnectionInfo");
    r = p.GetConnectionInfo(&c);
  }
  if (r == 0 && (c.size != 32 || c.state > WMC_STATE_ACTIVATION_8 || c.lastEndCode < WMC_CALL_END_FIRST ||
                 c.lastEndCode > WMC_CALL_END_LAST))
    Fail("WMC_GetConnectionInfo answered 0 with an unfilled block: size %u state %u last end %u", c.size, c.state,
         c.lastEndCode);
}

void CheckNetworkInfo(Plugin& p) {
  WMC_NETWORK_INFO n;
  std::memset(&n, 0xCD, sizeof n);
  n.size = sizeof n;
  int r;
  {
    Step step("WMC_GetNetworkInfo");
    r = p.GetNetworkInfo(&n);
  }
  bool service = n.serviceType == 0 || n.serviceType == 6 || n.serviceType == 7;
  bool signal = n.signalLevel <= 31 || n.signalLevel == 99;
  if (r == 0 && (n.size != 80 || !service || !signal || n.roaming > 2))
    Fail("WMC_GetNetworkInfo answered 0 with an unfilled block: size %u service type %u signal %u roaming %u", n.size,
         n.serviceType, n.signalLevel, n.roaming);
}

void CheckDeviceInfo(Plugin& p) {
  WMC_DEVICE_INFO d;
  std::memset(&d, 0xCD, sizeof d);
  d.size = sizeof d;
  int r;
  {
    Step step("WMC_GetDeviceInfo");
    r = p.GetDeviceInfo(&d);
  }
  if (r != 0) return;
  bool texts = Terminated(d.mdn, sizeof d.mdn) && Terminated(d.esn, sizeof d.esn) &&
               Terminated(d.imsi, sizeof d.imsi) && Terminated(d.manufacturer, sizeof d.manufacturer);
  if (d.size != 548 || !texts || std::strcmp(d.mdn, kMdn) != 0 || std::strcmp(d.imsi, kImsi) != 0 ||
      std::strlen(d.esn) != 11 || std::strcmp(d.manufacturer, kManufacturer) != 0)
    Fail("WMC_GetDeviceInfo answered 0 with an unfilled block: size %u MDN \"%.22s\" IMSI \"%.22s\" ESN \"%.12s\"",
         d.size, texts ? d.mdn : "(unterminated)", texts ? d.imsi : "", texts ? d.esn : "");
}

// A read message: 0 must come with a transport message the codec reads; its id is deleted.
int ReadMessage(Plugin& p, bool first, uint32_t capacity) {
  uint8_t buffer[256];
  WMC_SMS_MESSAGE m = {sizeof m, 0, capacity, 0xCDCDCDCDu, 0};
  SetSmsMessageBytes(m, buffer);
  int r;
  {
    Step step(first ? "WMC_GetFirstMessage" : "WMC_GetNextMessage");
    r = first ? p.GetFirstMessage(0, &m) : p.GetNextMessage(&m);
  }
  if (r != 0) return r;
  SmsSendRecord record;
  if (m.length == 0 || m.length > capacity || ConvertIS637ToCNS(&m, record.get()) != 1) {
    Fail("%s answered 0 with no readable message: length %u of %u", first ? "WMC_GetFirstMessage" : "WMC_GetNextMessage",
         static_cast<unsigned>(m.length), static_cast<unsigned>(capacity));
    return r;
  }
  Step step("WMC_DeleteMessage");
  p.DeleteMessage(record->messageId);
  return r;
}

// --- Callbacks ---------------------------------------------------------------------------

DWORD g_mainThread = 0;
HWND g_window = nullptr;
constexpr UINT kForwardMessage = WM_APP + 1;
std::atomic<long> g_seen[WMC_NOTIFY_SLOTS];
std::atomic<bool> g_handlerExports{false};  // handlers may call exports (the plug-in is loaded)
std::atomic<long> g_fieldTestLines{0};
std::mt19937 g_mainRandom;  // used on the main thread only

void __cdecl OnFieldTest(const char*, int) { ++g_fieldTestLines; }

// A forwarded notification's handler on the main thread: sometimes an export, as a user
// interface that refreshes its view does.
void OnNotification(int slot, int index) {
  if (slot != index || !g_handlerExports.load()) return;
  Plugin& p = g_plugin;
  switch (g_mainRandom() % 12) {
    case 0:
      CallStartup(p, "WMC_Startup (in a handler)");
      break;
    case 1: {
      Step step("WMC_SetPower(1) (in a handler)");
      p.SetPower(1);
      break;
    }
    case 2:
      CheckConnectionInfo(p);
      break;
    case 3:
      CheckNetworkInfo(p);
      break;
    case 4:
      if (g_mainRandom() % 4 == 0) CallShutdown(p);
      break;
    default:
      break;
  }
}

template <int Slot>
void __cdecl OnNotify(int index) {
  if (Slot == index && index >= 0 && index < WMC_NOTIFY_SLOTS) ++g_seen[index];
  if (GetCurrentThreadId() != g_mainThread) {
    SendMessageA(g_window, kForwardMessage, Slot, index);
    return;
  }
  OnNotification(Slot, index);
}
template <int... Slots>
struct SlotTable {
  static constexpr WMC_NOTIFY_CALLBACK fns[sizeof...(Slots)] = {&OnNotify<Slots>...};
};
using Slots = SlotTable<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>;

LRESULT CALLBACK ForwardProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kForwardMessage) {
    OnNotification(static_cast<int>(wparam), static_cast<int>(lparam));
    return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

bool MakeForwardWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ForwardProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "wmcstress-forward";
  if (!RegisterClassA(&wc)) return false;
  g_window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  return g_window != nullptr;
}

void PumpMessages() {
  MSG msg;
  for (int k = 0; k < 1000 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++k) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Pumps for up to ms, or until done() holds.
template <class Done>
bool PumpUntil(DWORD ms, Done done) {
  ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    PumpMessages();
    if (done()) return true;
    ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 10)), QS_ALLINPUT);
  }
}

// The simulated client library announces a power state to the plug-in (on the thread that
// initialised it); 1 when the records were delivered.
int ClientNotify(uint32_t state) {
  HMODULE client = GetModuleHandleA("qelvxaux.dll");
  auto notify = client ? reinterpret_cast<int32_t(__cdecl*)(uint32_t)>(
                             reinterpret_cast<void*>(GetProcAddress(client, "SimClient_Notify")))
                       : nullptr;
  Step step("SimClient_Notify");
  return notify ? notify(state) : 0;
}

// --- Worker threads ------------------------------------------------------------------------

struct Worker {
  int index;
  uint32_t seed;
  ULONGLONG end;
};

constexpr int kMaxOpsPerRound = 3000;

void RunOne(Plugin& p, std::mt19937& random) {
  uint32_t pick = random() % 100;
  if (pick < 14) {
    CallStartup(p);
  } else if (pick < 20) {
    CallShutdown(p);
  } else if (pick < 30) {
    CheckConnectionInfo(p);
  } else if (pick < 38) {
    CheckNetworkInfo(p);
  } else if (pick < 44) {
    CheckDeviceInfo(p);
  } else if (pick < 48) {
    Step step("WMC_GetMessageCount");
    p.GetMessageCount(0);
  } else if (pick < 54) {
    // Some reads with a buffer too small: the message must come with the next read.
    uint32_t capacity = random() % 4 == 0 ? 8u : 240u;
    ReadMessage(p, random() % 2 == 0, capacity);
  } else if (pick < 60) {
    Step step("WMC_SetPower(1)");
    p.SetPower(1);
  } else if (pick < 62) {
    Step step("WMC_SetPower(0)");
    p.SetPower(0);
  } else if (pick < 65) {
    int slot = static_cast<int>(random() % WMC_NOTIFY_SLOTS);
    Step step("WMC_SetCallback");
    p.SetCallback(slot, Slots::fns[slot], 1);
    p.SetCallback(slot, Slots::fns[slot], 0);
  } else if (pick < 70) {
    bool on = random() % 2 == 0;
    Step step(on ? "WMC_SetFieldTest(1)" : "WMC_SetFieldTest(0)");
    p.SetFieldTest(on ? 1 : 0, OnFieldTest);
  } else if (pick < 77) {
    static const uint32_t ids[] = {5, 52, 54, 46, 19};
    uint32_t id = ids[random() % (sizeof ids / sizeof ids[0])];
    g_sdk->Inject(id, {0, static_cast<uint32_t>(random() % 3), static_cast<uint32_t>(60 + random() % 40)});
  } else if (pick < 79) {
    uint32_t count;
    {
      auto hold = g_sdk->lock();
      count = (*g_sdk)->sms.count;
    }
    if (count < 3) SimSdkSmsDeliver(*g_sdk, SimSdkSmsText(static_cast<uint16_t>(random() % 60000 + 1), "2065550100", "stress"));
  } else if (pick < 84) {
    // The hardware switch: the client library's state, then its announcement (mostly on).
    uint32_t state = random() % 3 == 0 ? kPowerOff : kPowerOn;
    (*g_client)->powerState = state;
    ClientNotify(state);
  } else if (pick < 92) {
    Step step("pumping messages");
    DWORD ms = random() % 30;
    PumpUntil(ms, [] { return false; });
  } else {
    Sleep(random() % 5);
  }
}

DWORD WINAPI WorkerThread(void* param) {
  const Worker& w = *static_cast<Worker*>(param);
  t_activity = &g_activity[w.index];
  std::mt19937 random(w.seed);
  for (int ops = 0; ops < kMaxOpsPerRound && GetTickCount64() < w.end; ++ops) {
    RunOne(g_plugin, random);
    Step step("pumping messages (field-test timers)");
    PumpMessages();
  }
  // Left set: the thread's end runs the libraries' thread detach, which may block too. The
  // main thread clears it once the thread has ended.
  t_activity->since = GetTickCount64();
  t_activity->step = "ending the thread";
  return 0;
}

// --- Rounds ---------------------------------------------------------------------------------

constexpr DWORD kUnmapWaitMs = 4000;  // the re-notify thread of a deletion lives 2 s
constexpr DWORD kNotifyWaitMs = 3000;

// A clean start after a load: the power notification path, the start-up, the message count.
void StartRound(Plugin& p) {
  for (int slot = 0; slot < WMC_NOTIFY_SLOTS; ++slot) p.SetCallback(slot, Slots::fns[slot], 0);
  (*g_client)->powerState = kPowerOn;
  long shutdowns = g_shutdownsBegun.load();
  int r = CallStartup(p);
  // A forwarded notification's handler may shut the plug-in down during the start-up: 107.
  bool shutDown = g_shutdownsBegun.load() != shutdowns;
  if (r != 0 && !(r == WMC_ERROR_NOT_STARTED && shutDown))
    Fail("WMC_Startup after the load answered %d, not 0%s", r, shutDown ? " or 107" : "");
  long before = g_seen[WMC_NOTIFY_RADIO_ON].load();
  int delivered = ClientNotify(kPowerOn);
  bool arrived = PumpUntil(kNotifyWaitMs, [&] { return g_seen[WMC_NOTIFY_RADIO_ON].load() > before; });
  if (!arrived)
    Fail("a power notification after the load did not reach slot 11 (the client library %s it)",
         delivered ? "delivered" : "did not deliver");
  // A message the count announces must come with a read (also one held back before the unload).
  for (int k = 0; k < 4; ++k) {
    int count;
    {
      Step step("WMC_GetMessageCount");
      count = p.GetMessageCount(0);
    }
    if (count != 1) break;
    int read = ReadMessage(p, true, 240);
    if (read == WMC_ERROR_SMS_NO_MESSAGES) break;
    if (read != 0) {
      Fail("WMC_GetMessageCount answered 1 but WMC_GetFirstMessage answered %d", read);
      break;
    }
  }
}

struct RoundBase {
  bool set = false;
  int32_t clientInitialized = 0;
};

// All threads have quiesced: shut down, free, and check what the unload must leave.
void EndRound(Plugin& p, RoundBase& base, uint32_t overlapsBefore) {
  g_handlerExports = false;
  int r = CallShutdown(p);
  if (r != 0 && r != WMC_ERROR_NOT_STARTED) Fail("the last WMC_Shutdown answered %d", r);
  {
    Step step("FreeLibrary(wmcqel.dll)");
    FreeLibrary(p.library);
    p.library = nullptr;
  }
  bool unmapped;
  {
    Step step("waiting for wmcqel.dll to unmap");
    unmapped = PumpUntil(kUnmapWaitMs, [] { return !PluginMapped() && !ClientMapped() && (*g_sdk)->opened == 0; });
  }
  if (ClientMapped())
    Fail("qelvxaux.dll still mapped %lu ms after the plug-in's unload (its teardown did not run)",
         static_cast<unsigned long>(kUnmapWaitMs));
  if (PluginMapped())
    Fail("wmcqel.dll still mapped %lu ms after WMC_Shutdown and the last FreeLibrary (a reference left)",
         static_cast<unsigned long>(kUnmapWaitMs));
  if ((*g_sdk)->opened)
    Fail("an SDK session still open after WMC_Shutdown and the last FreeLibrary (an engine left)");
  (void)unmapped;
  uint32_t overlaps = (*g_sdk)->overlappingOpens;
  if (overlaps != overlapsBefore)
    Fail("%u SDK opens while a session was open (two engines)", static_cast<unsigned>(overlaps - overlapsBefore));
  int32_t initialized = (*g_client)->initialized;
  if (!base.set) {
    base.set = true;
    base.clientInitialized = initialized;
  } else if (initialized > base.clientInitialized) {
    Fail("the client library's initialisations less uninitialisations grew to %d (%d after the first round)",
         static_cast<int>(initialized), static_cast<int>(base.clientInitialized));
  }
  if (long faults = g_faults.exchange(0)) Fail("%ld access violations", faults);
}

bool RunRounds() {
  Plugin& p = g_plugin;
  RoundBase base;
  ULONGLONG deadline = GetTickCount64() + g_options.seconds * 1000ull;
  long totalCalls = 0;
  int rounds = 0;
  for (int round = 1; round <= 100000 && GetTickCount64() < deadline; ++round) {
    g_round = round;
    uint32_t overlaps = (*g_sdk)->overlappingOpens;
    if (!LoadPlugin(p)) {
      Fail("wmcqel.dll not loaded or an export missing (%lu)", GetLastError());
      break;
    }
    g_handlerExports = true;
    g_mainRandom.seed(g_options.seed ^ (0x9E3779B9u * static_cast<uint32_t>(round)));
    StartRound(p);

    ULONGLONG end = std::min(deadline, GetTickCount64() + 300 + g_mainRandom() % 2200);
    std::vector<Worker> workers(g_options.threads);
    std::vector<HANDLE> threads;
    for (int k = 0; k < g_options.threads; ++k) {
      workers[k] = {k + 1, g_options.seed + 7919u * static_cast<uint32_t>(round) + 104729u * static_cast<uint32_t>(k),
                    end};
      HANDLE h = CreateThread(nullptr, 0, WorkerThread, &workers[k], 0, nullptr);
      if (!h) {
        Print("wmcstress: no thread started (%lu)\n", GetLastError());
        return false;
      }
      threads.push_back(h);
      g_activity[k + 1].thread = h;
    }
    {
      Step step("pumping while the workers run and end");
      for (;;) {
        // Waiting for all of them with MsgWaitForMultipleObjects would also wait for input.
        DWORD w = WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 0);
        if (w == WAIT_OBJECT_0 || w == WAIT_FAILED) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpMessages();
        // Until the round's end only a worker's own step may hang; from then on the wait
        // for the workers to end is bounded too.
        if (GetTickCount64() < end) g_activity[0].since = GetTickCount64();
      }
    }
    for (int k = 1; k <= g_options.threads; ++k) {
      g_activity[k].step = nullptr;
      g_activity[k].thread = nullptr;
    }
    for (HANDLE h : threads) CloseHandle(h);
    long calls = 0;
    for (int k = 1; k <= g_options.threads; ++k) calls += g_activity[k].calls.exchange(0);
    calls += g_activity[0].calls.exchange(0);
    totalCalls += calls;

    EndRound(p, base, overlaps);
    rounds = round;
    size_t failures = FailureCount();
    Print("round %d: %ld calls, %s\n", round, calls, failures ? "FAILED" : "every check held");
    if (failures) break;
  }
  size_t failures = FailureCount();
  if (failures)
    Print("wmcstress: FAIL: %u failed checks in round %d (%ld calls), seed %u\n", static_cast<unsigned>(failures),
          g_round.load(), totalCalls, g_options.seed);
  else
    Print("wmcstress: PASS: %d rounds, %ld calls, %ld field-test lines, every check held, seed %u\n", rounds,
          totalCalls, g_fieldTestLines.load(), g_options.seed);
  return failures == 0;
}

// --- The folder it runs in -------------------------------------------------------------------

std::string ModuleFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string s(path, n < sizeof path ? n : 0);
  return s.substr(0, s.find_last_of('\\') + 1);
}

bool InStressFolder(const std::string& folder) {
  return folder.size() >= 8 && _stricmp(folder.c_str() + folder.size() - 8, "\\stress\\") == 0;
}

// Copies this program beside the plug-in and the stand-ins into bin\stress\ and runs it there
// with the same arguments; a child that outlives every bound of its own is ended.
int RunInStressFolder(const std::string& bin) {
  std::string dir = bin + "stress\\";
  CreateDirectoryA(dir.c_str(), nullptr);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  const std::pair<std::string, const char*> files[] = {{self, "wmcstress.exe"},
                                                       {bin + "wmcqel.dll", "wmcqel.dll"},
                                                       {bin + "sim\\sdk\\full\\Qel_Evdomx.dll", "Qel_Evdomx.dll"},
                                                       {bin + "sim\\aux\\full\\qelvxaux.dll", "qelvxaux.dll"}};
  for (const auto& f : files)
    if (!CopyFileA(f.first.c_str(), (dir + f.second).c_str(), FALSE)) {
      std::printf("wmcstress: %s not copied to %s (%lu)\n", f.first.c_str(), dir.c_str(), GetLastError());
      return 2;
    }
  std::string program = dir + "wmcstress.exe";
  std::string line = "\"" + program + "\"";
  const char* args = GetCommandLineA();
  // The arguments after the program's name, quoted or not.
  if (*args == '"') {
    args = std::strchr(args + 1, '"');
    args = args ? args + 1 : "";
  } else {
    while (*args && *args != ' ') ++args;
  }
  line += args;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::fflush(stdout);
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi)) {
    std::printf("wmcstress: %s not started (%lu)\n", program.c_str(), GetLastError());
    return 2;
  }
  DWORD bound = (g_options.seconds + 30) * 1000 + 3 * g_options.stepLimitMs;
  DWORD code = 2;
  if (WaitForSingleObject(pi.hProcess, bound) != WAIT_OBJECT_0) {
    std::printf("wmcstress: FAIL (hang): the stress process did not end within %lu ms\n",
                static_cast<unsigned long>(bound));
    TerminateProcess(pi.hProcess, 3);
    code = 3;
  } else {
    GetExitCodeProcess(pi.hProcess, &code);
  }
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return static_cast<int>(code);
}

bool ParseOptions(int argc, char** argv) {
  bool seeded = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (i + 1 >= argc) return false;
    unsigned long v = std::strtoul(argv[++i], nullptr, 0);
    if (a == "--seed") {
      g_options.seed = static_cast<uint32_t>(v);
      seeded = true;
    } else if (a == "--seconds" && v > 0 && v <= 86400) {
      g_options.seconds = v;
    } else if (a == "--threads" && v >= 1 && v <= static_cast<unsigned long>(kMaxWorkers)) {
      g_options.threads = static_cast<int>(v);
    } else if (a == "--step-limit-ms" && v >= 100) {
      g_options.stepLimitMs = v;
    } else {
      return false;
    }
  }
  if (!seeded) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    g_options.seed = static_cast<uint32_t>(now.QuadPart ^ (now.QuadPart >> 32) ^ GetCurrentProcessId());
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!ParseOptions(argc, argv)) {
    std::printf("usage: wmcstress [--seed N] [--seconds N] [--threads 1-%d] [--step-limit-ms N]\n", kMaxWorkers);
    return 2;
  }
  std::string folder = ModuleFolder();
  if (!InStressFolder(folder)) return RunInStressFolder(folder);

  Print("wmcstress: seed %u (rerun with --seed %u), %lu s, %d threads\n", g_options.seed, g_options.seed,
        static_cast<unsigned long>(g_options.seconds), g_options.threads);
  AddVectoredExceptionHandler(1, CountFaults);
  SetUnhandledExceptionFilter(Crashed);
  g_mainThread = GetCurrentThreadId();
  std::snprintf(g_activity[0].name, sizeof g_activity[0].name, "main");
  for (int k = 1; k <= g_options.threads; ++k) std::snprintf(g_activity[k].name, sizeof g_activity[k].name, "worker %d", k);
  t_activity = &g_activity[0];

  SimSdkControl sdk;
  SimClientControl client;
  if (!sdk.ok() || !client.ok() || !MakeForwardWindow()) {
    Print("wmcstress: the stand-ins' blocks or the window not made\n");
    return 2;
  }
  g_sdk = &sdk;
  g_client = &client;
  ScriptStandIns(g_options.seed);
  // A message the plug-in holds for the user belongs to an earlier run's simulated modem.
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Veltra Vazudari\\wmcqel", L"HeldMessage");

  // Running before the first load: a thread started while another holds the loader lock
  // would not run before that lock is free.
  HANDLE started = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE watchdog = started ? CreateThread(nullptr, 0, Watchdog, started, 0, nullptr) : nullptr;
  if (!watchdog || WaitForSingleObject(started, 10000) != WAIT_OBJECT_0) return 2;
  CloseHandle(started);
  bool passed = RunRounds();
  g_watchdogStop = true;
  WaitForSingleObject(watchdog, 5000);
  CloseHandle(watchdog);
  std::fflush(stdout);
  // The plug-in may have left threads that block the process's exit; the verdict is printed.
  TerminateProcess(GetCurrentProcess(), passed ? 0 : 1);
  return passed ? 0 : 1;
}
