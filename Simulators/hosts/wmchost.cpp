// wmchost: a connection-manager host of the plug-in, for the tests and the demo. It loads
// "wmcqel.dll" from its own folder by name, binds the 47 exports by name, registers a
// function in each of the 16 callback slots, and runs the commands of its command line on
// its main thread, which pumps messages whenever it waits:
//   wmchost [--sdk-dir DIR] [--forward] [--bare-loads N] COMMAND...
//     startup | shutdown | setpower 0|1 | radiopower 0|1 | errorstring CODE
//     restart              WMC_Shutdown and WMC_Startup in one go, no message between
//     wait INDEX MS        pump messages until a callback with INDEX has arrived since the
//                          last inject, run or wait (or MS pass)
//     pump MS              pump messages for MS
//     inject ID [W8 [W12]] queue an SDK notification in the simulated SDK (its block named by
//                          QEL_SIMSDK_BLOCK, or this process's)
//     run PROGRAM ARG      run a program (ARG may be "-") and wait for its end
//     fieldtest MS         switch the field-test trace on, pump messages for MS, switch it
//                          off; prints the header and each line with its time since the header
//     fieldon | fieldoff   switch the trace on or off, nothing pumped
//     simmodem             give the simulated SDK (in this process) a sample provisioned modem:
//                          identity, versions, service, lock code "1234", and for the field-test
//                          trace numbers, signal, Mobile IP profile, temperature; before
//                          startup, so the open reports its model
//     networkinfo | deviceinfo | connectioninfo
//                          the query exports, with the block's main fields
//     setlock 0|1 CODE     WMC_SetLock
//     activate TYPE        WMC_Activate: 0 programs sample numbers by hand, else over the air
//     setparameters QCMIP PREF ACCOLC | factorydefaults | ndis MODE
//                          WMC_SetParameters, WMC_ResetFactoryDefaults, WMC_SetNDISMode
//   lifecycle:
//     free                 FreeLibrary of the plug-in without WMC_Shutdown; then only commands
//                          that call no export (pump, wait, inject, loaded, clientnotify)
//     loaded               whether wmcqel.dll is still mapped
//     thread COMMAND ...   run the next command on a new thread; the main thread pumps meanwhile
//     after MS COMMAND     a timer of the main thread runs the command (one without arguments)
//                          inside its handler MS later, while the host goes on; after a
//                          shutdown there it waits 300 ms and tells whether the SDK's library
//                          is still mapped (the engine still alive for an export in flight)
//     shutdownon INDEX | freeon INDEX
//                          the callback of notification INDEX (its handler on the main thread
//                          with --forward) calls WMC_Shutdown or FreeLibrary (once)
//     waitforward MS       wait, pumping nothing, until a notification's callback is blocked
//                          forwarding to the main thread (with --forward)
//     clientpower STATE    the simulated client library's power state (its block named by
//                          QEL_SIMCLIENT_BLOCK, or this process's)
//     clientnotify STATE   the simulated client library announces a power change
//     sdkopen MODE RESULT  the simulated SDK answers the open in MODE with RESULT
//   concurrency (the engine's life across host threads):
//     spawn MS "COMMAND ARGS"
//                          a new thread runs the command MS after this one starts it, while
//                          the host goes on; its output lines come as they are made
//     join                 pump messages until every spawned thread has ended
//     elapsed              milliseconds since the previous elapsed (or the host's start)
//     sendsleep MS HOLD    (with --forward) a new thread sends the main thread's window a
//                          message MS later whose handler sleeps HOLD ms
//     restarton INDEX      the callback of notification INDEX calls WMC_Shutdown and then
//                          WMC_Startup (once), and prints how long the start-up took (as
//                          an elapsed line)
//   client library's thread and reloads:
//     callon INDEX COMMAND [ARG]
//                          the callback of notification INDEX (its handler on the main thread
//                          with --forward) runs COMMAND (startup, shutdown or setpower ARG), once
//     reload               LoadLibrary of the plug-in again (after free), callbacks registered
//     timed COMMAND ...    runs the next command and prints how long it took
//     clientloaded MS      whether qelvxaux.dll is still mapped, waiting up to MS for its unload
//   short messages (the simulated SDK's store is used by the sms... commands):
//     smssend NUMBER TEXT  WMC_SendMessage of a text to a number
//     smscount BOX | smsdelete ID | smsdeleteall BOX
//     smsread first|next [ROOM]
//                          WMC_GetFirstMessage (box 0) or WMC_GetNextMessage, a buffer of
//                          ROOM bytes (240 at most and by default)
//     smsstatus S C        the simulated SDK answers each send with status S and cause C
//     smsdeliver ID NUMBER TEXT  the simulated SDK receives a text and announces it (id 17)
//     smssent              the texts the simulated SDK was given to send
//     smsguard SIZE LENGTH end|page
//                          WMC_SendMessage of a text with a block of SIZE bytes that ends at
//                          a no-access page, claiming LENGTH bytes (0: the text's own); the
//                          bytes end at such a page (end) or the pointer names it (page)
// --sdk-dir points the plug-in's by-name load of the SDK at a folder. --forward makes every
// callback that arrives on another thread forward to a window of the main thread with
// SendMessage, as a host with a user interface does. --bare-loads loads and frees the
// plug-in N times first, then the simulated SDK N times, and prints how many handles each
// left. Each callback prints
// "callback slot S: index I", each command "<command>: <result>". Access violations (also
// those that Wine's message dispatch swallows) are counted: "faults: N" ends the output and
// any makes the exit code 3.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ExportNames.h"
#include "Exports.h"
#include "GuardedBlock.h"
#include "SimClientControl.h"
#include "SimSdkControl.h"
#include "SimSdkSms.h"
#include "Sms/IS637Codec.h"

namespace {

std::mutex g_print;
std::atomic<int> g_seen[WMC_NOTIFY_SLOTS];
// Counts at the last inject, run or wait: a callback may arrive on the SDK's thread before the
// wait that expects it has begun.
int g_mark[WMC_NOTIFY_SLOTS];

void Mark() {
  for (int k = 0; k < WMC_NOTIFY_SLOTS; ++k) g_mark[k] = g_seen[k].load();
}

void Print(const char* format, ...) {
  std::lock_guard<std::mutex> hold(g_print);
  va_list args;
  va_start(args, format);
  std::vprintf(format, args);
  va_end(args);
  std::fflush(stdout);
}

// --forward: callbacks on other threads go to the main thread's window with SendMessage.
bool g_forward = false;
DWORD g_mainThread = 0;
HWND g_window = nullptr;
HANDLE g_forwarding = nullptr;  // set while a callback waits for the main thread
constexpr UINT kForwardMessage = WM_APP + 1;
std::atomic<int> g_shutdownOn{-1}, g_freeOn{-1};
// callon: the command a callback runs, and its argument.
std::atomic<int> g_callOn{-1};
char* g_callOnArgs[2] = {nullptr, nullptr};
int g_callOnCount = 0;
void OnCallback(int slot, int index);
constexpr UINT kSleepMessage = WM_APP + 2;
std::atomic<int> g_restartOn{-1};
uint64_t Milliseconds() {
  LARGE_INTEGER now, rate;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&rate);
  return static_cast<uint64_t>(now.QuadPart * 1000 / rate.QuadPart);
}

// Set by every callback, so a wait for one wakes when it arrives on another thread.
HANDLE g_callbackArrived = CreateEventA(nullptr, FALSE, FALSE, nullptr);

void Notified(int slot, int index) {
  Print("callback slot %d: index %d\n", slot, index);
  if (slot != 0 && index >= 0 && index < WMC_NOTIFY_SLOTS) ++g_seen[index];
  SetEvent(g_callbackArrived);
}

template <int Slot>
void __cdecl OnNotify(int index) {
  if (g_forward && g_window && GetCurrentThreadId() != g_mainThread) {
    SetEvent(g_forwarding);
    SendMessageA(g_window, kForwardMessage, Slot, index);
    return;
  }
  OnCallback(Slot, index);
}
template <int... Slots>
struct SlotTable {
  static constexpr WMC_NOTIFY_CALLBACK fns[sizeof...(Slots)] = {&OnNotify<Slots>...};
};
using Slots = SlotTable<0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15>;

struct Plugin {
  HMODULE library = nullptr;
  decltype(&::WMC_Startup) Startup = nullptr;
  decltype(&::WMC_Shutdown) Shutdown = nullptr;
  decltype(&::WMC_SetCallback) SetCallback = nullptr;
  decltype(&::WMC_SetPower) SetPower = nullptr;
  decltype(&::WMC_SetRadioPower) SetRadioPower = nullptr;
  decltype(&::WMC_GetNetworkErrorString) GetNetworkErrorString = nullptr;
  decltype(&::WMC_GetConnectionInfo) GetConnectionInfo = nullptr;
  decltype(&::WMC_GetNetworkInfo) GetNetworkInfo = nullptr;
  decltype(&::WMC_GetDeviceInfo) GetDeviceInfo = nullptr;
  decltype(&::WMC_SetLock) SetLock = nullptr;
  decltype(&::WMC_GetMessageCount) GetMessageCount = nullptr;
  decltype(&::WMC_SendMessage) SendMessage = nullptr;
  decltype(&::WMC_GetFirstMessage) GetFirstMessage = nullptr;
  decltype(&::WMC_GetNextMessage) GetNextMessage = nullptr;
  decltype(&::WMC_DeleteMessage) DeleteMessage = nullptr;
  decltype(&::WMC_DeleteAllMessages) DeleteAllMessages = nullptr;
  decltype(&::WMC_SetFieldTest) SetFieldTest = nullptr;
  decltype(&::WMC_Activate) Activate = nullptr;
  decltype(&::WMC_SetParameters) SetParameters = nullptr;
  decltype(&::WMC_ResetFactoryDefaults) ResetFactoryDefaults = nullptr;
  decltype(&::WMC_SetNDISMode) SetNDISMode = nullptr;
};
Plugin g_plugin;

DWORD g_fieldTestStart = 0;
void __cdecl OnFieldTest(const char* text, int length) {
  std::string line(text, length > 0 ? static_cast<size_t>(length) : 0);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.compare(0, 11, "Directory #") == 0) {
    g_fieldTestStart = GetTickCount();
    Print("field test header (%d bytes): %s\n", length, line.c_str());
  } else {
    Print("field test line at +%lu ms: %s\n", static_cast<unsigned long>(GetTickCount() - g_fieldTestStart),
          line.c_str());
  }
}


template <class F>
bool Bind(HMODULE library, F* f, const char* name) {
  *f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *f != nullptr;
}

bool Load(Plugin& p) {
  p.library = LoadLibraryA("wmcqel.dll");
  if (!p.library) {
    Print("wmcqel.dll not loaded: %lu\n", GetLastError());
    return false;
  }
  int bound = 0;
  for (const char* name : kWmcExportNames) {
    if (GetProcAddress(p.library, name)) ++bound;
    else Print("missing export %s\n", name);
  }
  Print("bound %d exports\n", bound);
  return Bind(p.library, &p.Startup, "WMC_Startup") && Bind(p.library, &p.Shutdown, "WMC_Shutdown") &&
         Bind(p.library, &p.SetCallback, "WMC_SetCallback") && Bind(p.library, &p.SetPower, "WMC_SetPower") &&
         Bind(p.library, &p.SetRadioPower, "WMC_SetRadioPower") &&
         Bind(p.library, &p.GetNetworkErrorString, "WMC_GetNetworkErrorString") &&
         Bind(p.library, &p.GetConnectionInfo, "WMC_GetConnectionInfo") &&
         Bind(p.library, &p.GetNetworkInfo, "WMC_GetNetworkInfo") &&
         Bind(p.library, &p.GetDeviceInfo, "WMC_GetDeviceInfo") && Bind(p.library, &p.SetLock, "WMC_SetLock") &&
         Bind(p.library, &p.GetMessageCount, "WMC_GetMessageCount") && Bind(p.library, &p.SendMessage, "WMC_SendMessage") &&
         Bind(p.library, &p.GetFirstMessage, "WMC_GetFirstMessage") &&
         Bind(p.library, &p.GetNextMessage, "WMC_GetNextMessage") && Bind(p.library, &p.DeleteMessage, "WMC_DeleteMessage") &&
         Bind(p.library, &p.DeleteAllMessages, "WMC_DeleteAllMessages") &&
         Bind(p.library, &p.SetFieldTest, "WMC_SetFieldTest") && Bind(p.library, &p.Activate, "WMC_Activate") &&
         Bind(p.library, &p.SetParameters, "WMC_SetParameters") &&
         Bind(p.library, &p.ResetFactoryDefaults, "WMC_ResetFactoryDefaults") &&
         Bind(p.library, &p.SetNDISMode, "WMC_SetNDISMode") && bound == 47;
}

void PumpFor(DWORD ms, int index = -1) {
  DWORD start = GetTickCount();
  int before = index >= 0 ? g_mark[index] : 0;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (index >= 0 && g_seen[index].load() > before) return;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return;
    MsgWaitForMultipleObjects(1, &g_callbackArrived, FALSE, ms - elapsed, QS_ALLINPUT);
  }
}

// A provisioned modem of the simulated SDK.
bool ScriptModem() {
  // Held to the end: the block lives only while someone maps it, and the SDK loads later.
  static SimSdkControl& sdk = *new SimSdkControl();
  if (!sdk.ok()) return false;
  auto hold = sdk.lock();
  SimSdkBlock& b = sdk.block();
  b.modelCode = 20;  // "LP2250"
  SimSdkInfoState& i = b.info;
  i.meidInUse = i.meidProvisioned = 1;
  i.meidHigh = 0xA10000;
  i.meidLow = 0x0ABCDEF1;
  i.pseudoEsn = 0x80ABCDEFu;
  lstrcpynA(i.firmware, "F1.2.30 2008-11-05 release", sizeof i.firmware);
  lstrcpynA(i.hardware, "HW 2.1", sizeof i.hardware);
  lstrcpynA(i.boot, "BOOT 1.07", sizeof i.boot);
  lstrcpynA(i.driver, "DRV 3.4.1", sizeof i.driver);
  i.prlVersion = 51234;
  i.eriVersion = 6;
  i.service = 1;
  i.hdrService = 2;
  i.cdmaRssi = 75;
  i.hdrRssi = 68;
  for (int k = 0; k < 7; ++k) i.systemTime[k] = static_cast<uint16_t>(k + 1);
  SimSdkActivationState& a = b.activation;
  a.activated = 1;
  lstrcpynA(a.committed.mdn, "5551234567", sizeof a.committed.mdn);
  lstrcpynA(a.committed.imsi, "310005551234567", sizeof a.committed.imsi);
  a.committed.homeSid = 4150;
  lstrcpynA(a.lockCode, "1234", sizeof a.lockCode);
  return true;
}

DWORD RunAndWait(const std::string& program, const std::string& arg) {
  std::string line = "\"" + program + "\"" + (arg == "-" ? "" : " " + arg);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::fflush(stdout);
  // The program writes to this host's output.
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
    return GetLastError() | 0x80000000u;
  // Pump while the program runs: notifications come through this thread's messages.
  for (;;) {
    DWORD w = MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 60000, QS_ALLINPUT);
    if (w != WAIT_OBJECT_0 + 1) break;
    PumpFor(0);
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

// A read message as the host sees it: its id, number and text.
void PrintMessage(const char* what, int r, const WMC_SMS_MESSAGE& m) {
  if (r != 0) {
    Print("%s: %d length %u\n", what, r, static_cast<unsigned>(m.length));
    return;
  }
  SmsSendRecord record;
  if (ConvertIS637ToCNS(&m, record.get()) != 1) {
    Print("%s: %d length %u (not a text the host reads)\n", what, r, static_cast<unsigned>(m.length));
    return;
  }
  const CNS_SMS_PARAMS& p = record->params;
  std::string from(reinterpret_cast<const char*>(p.address), p.addressCount);
  std::string text;
  if (SmsUserData(*record)) text.assign(reinterpret_cast<const char*>(SmsUserData(*record)), record->userDataCount);
  Print("%s: %d length %u id %u from %s text \"%s\"\n", what, r, static_cast<unsigned>(m.length),
        static_cast<unsigned>(record->messageId), from.c_str(), text.c_str());
}

// Access violations, counted also where Wine's message dispatch swallows them (a timer
// procedure in an unmapped library).
std::atomic<long> g_faults{0};
LONG CALLBACK CountFaults(EXCEPTION_POINTERS* e) {
  DWORD code = e->ExceptionRecord->ExceptionCode;
  if (code == EXCEPTION_ACCESS_VIOLATION || code == EXCEPTION_ILLEGAL_INSTRUCTION || code == EXCEPTION_PRIV_INSTRUCTION)
    ++g_faults;
  return EXCEPTION_CONTINUE_SEARCH;
}

bool PluginLoaded() { return GetModuleHandleA("wmcqel.dll") != nullptr; }

struct Plugin;
bool RunCommand(Plugin& p, int argc, char** argv, int& i, int& failures);

// A callback's work, on the thread it arrived on or, forwarded, on the main thread. An armed
// shutdown or unload runs first, so a wait for the callback ends only after it.
void OnCallback(int slot, int index) {
  int armed = index;
  if (slot == index && g_shutdownOn.compare_exchange_strong(armed, -1))  // once: its own slot
    Print("handler WMC_Shutdown: %d\n", g_plugin.Shutdown());
  armed = index;
  if (slot == index && g_freeOn.compare_exchange_strong(armed, -1)) {
    FreeLibrary(g_plugin.library);
    g_plugin.library = nullptr;
    Print("handler FreeLibrary: %s\n", PluginLoaded() ? "still loaded" : "unloaded");
  }
  armed = index;
  if (slot == index && g_restartOn.compare_exchange_strong(armed, -1)) {
    Print("handler WMC_Shutdown: %d\n", g_plugin.Shutdown());
    uint64_t start = Milliseconds();
    int up = g_plugin.Startup();
    Print("handler WMC_Startup: %d\nelapsed: %u ms\n", up, static_cast<unsigned>(Milliseconds() - start));
  }
  armed = index;
  if (slot == index && g_callOn.compare_exchange_strong(armed, -1)) {
    int k = 0, failures = 0;
    Print("handler runs %s\n", g_callOnArgs[0]);
    RunCommand(g_plugin, g_callOnCount, g_callOnArgs, k, failures);
  }
  Notified(slot, index);
}

LRESULT CALLBACK ForwardProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kForwardMessage) {
    OnCallback(static_cast<int>(wparam), static_cast<int>(lparam));
    return 0;
  }
  if (message == kSleepMessage) {
    Print("sent message: sleeping %u ms\n", static_cast<unsigned>(wparam));
    Sleep(static_cast<DWORD>(wparam));
    return 0;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

bool MakeForwardWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = ForwardProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "wmchost-forward";
  if (!RegisterClassA(&wc)) return false;
  g_window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  g_forwarding = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  return g_window && g_forwarding;
}

// The handles of this process (by probing the values a handle can have).
std::set<ULONG_PTR> Handles() {
  std::set<ULONG_PTR> out;
  DWORD flags;
  for (ULONG_PTR h = 4; h < 0x10000; h += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(h), &flags)) out.insert(h);
  return out;
}

// Handles left by n loads and frees of a library (after one of each, for the system
// libraries it needs).
size_t HandlesLeftByLoads(const char* name, int n, int* loaded) {
  HMODULE warm = LoadLibraryA(name);
  if (warm) FreeLibrary(warm);
  std::set<ULONG_PTR> before = Handles();
  *loaded = 0;
  for (int k = 0; k < n; ++k)
    if (HMODULE m = LoadLibraryA(name)) {
      ++*loaded;
      FreeLibrary(m);
    }
  size_t left = 0;
  for (ULONG_PTR h : Handles()) left += before.count(h) ? 0 : 1;
  return left;
}

// The plug-in beside the simulated SDK, a library of the same build and C++ runtime that does
// nothing at its load: what the runtime itself leaves shows in both.
void BareLoads(int n) {
  int loaded = 0, sdkLoaded = 0;
  size_t left = HandlesLeftByLoads("wmcqel.dll", n, &loaded);
  size_t sdkLeft = HandlesLeftByLoads("Qel_Evdomx.dll", n, &sdkLoaded);
  Print("bare loads: %d, handles left: %u (the simulated SDK's %d: %u)\n", loaded, static_cast<unsigned>(left),
        sdkLoaded, static_cast<unsigned>(sdkLeft));
}


struct ThreadRun {
  Plugin* p;
  int argc;
  char** argv;
  int i;
  int failures;
  bool known;
};
DWORD WINAPI CommandThread(void* param) {
  auto* t = static_cast<ThreadRun*>(param);
  t->known = RunCommand(*t->p, t->argc, t->argv, t->i, t->failures);
  return 0;
}

char* g_afterCommand = nullptr;
void CALLBACK AfterProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  Print("timer runs %s\n", g_afterCommand);
  char* args[] = {g_afterCommand};
  int k = 0, failures = 0;
  RunCommand(g_plugin, 1, args, k, failures);
  if (std::strcmp(g_afterCommand, "shutdown") == 0) {
    Sleep(300);  // time enough for a deletion that does not wait for the export
    Print("timer SDK library: %s\n", GetModuleHandleA("Qel_Evdomx.dll") ? "loaded" : "unloaded");
  }
}

// The concurrency commands: threads of the host that run commands while it goes on.
struct Spawned {
  DWORD delayMs;
  std::vector<std::string> words;
};
std::vector<HANDLE> g_spawned;
DWORD WINAPI SpawnedThread(void* param) {
  auto* s = static_cast<Spawned*>(param);
  Sleep(s->delayMs);
  std::vector<char*> args;
  for (std::string& w : s->words) args.push_back(&w[0]);
  int failures = 0;
  for (int k = 0; k < static_cast<int>(args.size()); ++k)
    if (!RunCommand(g_plugin, static_cast<int>(args.size()), args.data(), k, failures)) break;
  delete s;
  return 0;
}
struct SendSleep {
  DWORD delayMs, holdMs;
};
DWORD WINAPI SendSleepThread(void* param) {
  SendSleep s = *static_cast<SendSleep*>(param);
  delete static_cast<SendSleep*>(param);
  Sleep(s.delayMs);
  SendMessageA(g_window, kSleepMessage, s.holdMs, 0);
  return 0;
}
uint64_t g_lastElapsed = Milliseconds();

bool RunConcurrencyCommand(int argc, char** argv, int& i) {
  auto number = [&](int k) { return k < argc ? std::atoi(argv[k]) : 0; };
  std::string cmd = argv[i];
  if (cmd == "spawn" && i + 2 < argc) {
    auto* s = new Spawned{static_cast<DWORD>(number(++i)), {}};
    std::string line = argv[++i];
    for (size_t at = 0; at < line.size();) {
      size_t end = line.find(' ', at);
      if (end == std::string::npos) end = line.size();
      if (end > at) s->words.push_back(line.substr(at, end - at));
      at = end + 1;
    }
    if (HANDLE t = CreateThread(nullptr, 0, SpawnedThread, s, 0, nullptr)) g_spawned.push_back(t);
    else delete s;
  } else if (cmd == "join") {
    for (HANDLE t : g_spawned) {
      while (MsgWaitForMultipleObjects(1, &t, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) PumpFor(0);
      CloseHandle(t);
    }
    g_spawned.clear();
    Print("join: done\n");
  } else if (cmd == "elapsed") {
    uint64_t now = Milliseconds();
    Print("elapsed: %u ms\n", static_cast<unsigned>(now - g_lastElapsed));
    g_lastElapsed = now;
  } else if (cmd == "sendsleep" && i + 2 < argc) {
    auto* s = new SendSleep{static_cast<DWORD>(number(i + 1)), static_cast<DWORD>(number(i + 2))};
    i += 2;
    if (HANDLE t = CreateThread(nullptr, 0, SendSleepThread, s, 0, nullptr)) g_spawned.push_back(t);
    else delete s;
  } else if (cmd == "restarton") {
    g_restartOn = number(++i);
  } else {
    return false;
  }
  return true;
}

// Runs the command at argv[i] (i moves to its last argument); false for an unknown one.
bool RunCommand(Plugin& p, int argc, char** argv, int& i, int& failures) {
  if (RunConcurrencyCommand(argc, argv, i)) return true;
  auto number = [&](int k) { return k < argc ? std::atoi(argv[k]) : 0; };
  std::string cmd = argv[i];
  if (cmd == "startup") {
    Print("WMC_Startup: %d\n", p.Startup());
  } else if (cmd == "shutdown") {
    Print("WMC_Shutdown: %d\n", p.Shutdown());
  } else if (cmd == "setpower") {
    int on = number(++i);
    Print("WMC_SetPower(%d): %d\n", on, p.SetPower(on));
  } else if (cmd == "radiopower") {
    int on = number(++i);
    Print("WMC_SetRadioPower(%d): %d\n", on, p.SetRadioPower(on));
  } else if (cmd == "errorstring") {
    int code = number(++i);
    char text[128];
    int r = p.GetNetworkErrorString(code, text, sizeof text);
    Print("WMC_GetNetworkErrorString(%d): %d \"%s\"\n", code, r, r == 0 ? text : "");
  } else if (cmd == "connectioninfo") {
    WMC_CONNECTION_INFO c = {};
    c.size = sizeof c;
    int r = p.GetConnectionInfo(&c);
    Print("WMC_GetConnectionInfo: %d state %u connected %u ms active %u ms last end %u activation %u\n", r,
          c.state, c.connectedMs, c.activeMs, c.lastEndCode, c.activationStatus);
  } else if (cmd == "networkinfo") {
    WMC_NETWORK_INFO n = {};
    n.size = sizeof n;
    int r = p.GetNetworkInfo(&n);
    Print("WMC_GetNetworkInfo: %d service type %u signal %u RSSI %u (HDR %u) roaming %u\n", r, n.serviceType,
          n.signalLevel, n.cdmaRssi, n.hdrRssi, n.roaming);
  } else if (cmd == "deviceinfo") {
    WMC_DEVICE_INFO d = {};
    d.size = sizeof d;
    int r = p.GetDeviceInfo(&d);
    // Fields are printed within their sizes: a host may not rely on terminators.
    auto f = [](const char* field, size_t size) { return std::string(field, strnlen(field, size)); };
    Print("WMC_GetDeviceInfo: %d MEID %s ESN %s model %s OEM \"%s\" activated %u lock status %u\n", r,
          f(d.meid, sizeof d.meid).c_str(), f(d.esn, sizeof d.esn).c_str(), f(d.model, sizeof d.model).c_str(),
          f(d.oemCode, sizeof d.oemCode).c_str(), d.activated, d.lockStatus);
    Print("  MDN %s manufacturer %s firmware %s hardware %s boot %s driver %s PRL %u ERI %u\n",
          f(d.mdn, sizeof d.mdn).c_str(), f(d.manufacturer, sizeof d.manufacturer).c_str(),
          f(d.firmwareVersion, sizeof d.firmwareVersion).c_str(),
          f(d.hardwareVersion, sizeof d.hardwareVersion).c_str(), f(d.bootVersion, sizeof d.bootVersion).c_str(),
          f(d.driverVersion, sizeof d.driverVersion).c_str(), d.prlVersion, d.eriVersion);
  } else if (cmd == "setlock" && i + 2 < argc) {
    int lock = number(++i);
    const char* code = argv[++i];
    Print("WMC_SetLock(%d, \"%s\"): %d\n", lock, code, p.SetLock(lock, code));
  } else if (cmd == "wait") {
    int index = number(++i);
    int ms = number(++i);
    if (index < 0 || index >= WMC_NOTIFY_SLOTS) index = 0;
    PumpFor(static_cast<DWORD>(ms), index);
    bool ok = g_seen[index].load() > g_mark[index];
    Mark();
    Print("wait %d: %s\n", index, ok ? "received" : "timeout");
    failures += ok ? 0 : 1;
  } else if (cmd == "fieldtest") {
    int ms = number(++i);
    Print("WMC_SetFieldTest(1): %d\n", p.SetFieldTest(1, OnFieldTest));
    PumpFor(static_cast<DWORD>(ms));
    Print("WMC_SetFieldTest(0): %d\n", p.SetFieldTest(0, OnFieldTest));
  } else if (cmd == "simmodem") {
    static SimSdkControl sdk;  // held, so the script outlives this command until the SDK loads
    bool ok = ScriptModem() && sdk.ok();
    if (ok) {
      sdk->parameters.accolc = 7;
      sdk->parameters.prefMode = 4;
      sdk->parameters.systemPref = 4;
      sdk->parameters.sci = 2;
      SimSdkFieldTestState& f = sdk->fieldTest;
      std::snprintf(f.nai, sizeof f.nai, "%s", "user@example.net");
      f.haSpiEnable = f.aaaSpiEnable = 1;
      f.haSpi = 1234;
      f.aaaSpi = 2345;
      f.homeAddress = 0x0A00000Au;  // 10.0.0.10 in network order
      f.primaryHa = 0x0100A8C0u;    // 192.168.0.1
      f.secondaryHa = 0x0200A8C0u;  // 192.168.0.2
      uint16_t signal[6] = {0, 0, 78, 6, 92, 9};
      sdk.SetOut("QelGetRssiEcio", signal);
      sdk.SetOut("QelGetTemperature", int32_t{38});
      sdk.SetOut("QelGetPRLVersion", uint16_t{51024});
      sdk.SetOut("QelGetERIVer", uint16_t{3});
      sdk.SetOut("QelGetTechPacketZone", uint16_t{17});
      uint16_t sidNid[2] = {4145, 13};
      sdk.SetOut("QelPstGetHomeSidNid", sidNid);
      sdk.SetText("QelGetMobileDirNum", "5551230042");
      sdk.SetText("QelGetFirmwareVersion", "Q1.2.07 2026-11-30");
      sdk.SetText("QelGetHardwareVersion", "REV B");
    }
    Print("simmodem: %s\n", ok ? "scripted" : "failed");
  } else if (cmd == "pump") {
    PumpFor(static_cast<DWORD>(number(++i)));
  } else if (cmd == "inject") {
    SDK_NOTIF record = {};
    record.id = static_cast<uint32_t>(number(++i));
    for (int w = 1; w <= 2 && i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0])); ++w)
      record.data[w] = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
    SimSdkControl sdk;
    Mark();
    Print("inject %u: %s\n", record.id, sdk.ok() && sdk.Inject(record) ? "queued" : "failed");
  } else if (cmd == "smssend" && i + 2 < argc) {
    std::string to = argv[++i], text = argv[++i];
    std::vector<uint8_t> bytes = SimSdkSmsHostMessage(to.c_str(), text.c_str());
    WMC_SMS_MESSAGE m = {sizeof m, 0, static_cast<uint32_t>(bytes.size()), 0, 0};
    SetSmsMessageBytes(m, bytes.data());
    Print("WMC_SendMessage(%s, \"%s\"): %d\n", to.c_str(), text.c_str(), p.SendMessage(&m));
  } else if (cmd == "smscount") {
    int box = number(++i);
    Print("WMC_GetMessageCount(%d): %d\n", box, p.GetMessageCount(box));
  } else if (cmd == "smsread" && i + 1 < argc) {
    bool first = std::strcmp(argv[++i], "first") == 0;
    uint8_t buffer[240];
    uint32_t room = sizeof buffer;
    if (i + 1 < argc && std::isdigit(static_cast<unsigned char>(argv[i + 1][0])))
      room = std::min<uint32_t>(room, static_cast<uint32_t>(number(++i)));
    WMC_SMS_MESSAGE m = {sizeof m, 0, room, 0, 0};
    SetSmsMessageBytes(m, buffer);
    int r = first ? p.GetFirstMessage(0, &m) : p.GetNextMessage(&m);
    PrintMessage(first ? "WMC_GetFirstMessage(0)" : "WMC_GetNextMessage", r, m);
  } else if (cmd == "smsdelete") {
    int id = number(++i);
    Print("WMC_DeleteMessage(%d): %d\n", id, p.DeleteMessage(id));
  } else if (cmd == "smsdeleteall") {
    int box = number(++i);
    Print("WMC_DeleteAllMessages(%d): %d\n", box, p.DeleteAllMessages(box));
  } else if (cmd == "smsstatus" && i + 2 < argc) {
    uint32_t status = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
    uint32_t cause = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
    SimSdkControl sdk;
    if (sdk.ok()) {
      auto guard = sdk.lock();
      sdk->sms.storeOn = 1;
      sdk->sms.sendStatus = status;
      sdk->sms.sendCause = cause;
    }
    Print("smsstatus: each send answered with status %u cause %u\n", status, cause);
  } else if (cmd == "smsdeliver" && i + 3 < argc) {
    int id = number(++i);
    std::string from = argv[++i], text = argv[++i];
    SimSdkControl sdk;
    Mark();
    bool ok = sdk.ok() && SimSdkSmsDeliver(sdk, SimSdkSmsText(static_cast<uint16_t>(id), from.c_str(), text.c_str()));
    Print("smsdeliver %d from %s: %s\n", id, from.c_str(), ok ? "queued" : "failed");
  } else if (cmd == "smssent") {
    SimSdkControl sdk;
    std::vector<SimSdkSmsMessage> sent;
    if (sdk.ok()) {
      auto guard = sdk.lock();
      for (uint32_t k = 0; k < sdk->sms.sentCount && k < static_cast<uint32_t>(kSimSdkSmsSlots); ++k)
        sent.push_back(sdk->sms.sent[k]);
    }
    Print("smssent: %u\n", static_cast<unsigned>(sent.size()));
    for (const SimSdkSmsMessage& m : sent) {
      CNS_SMS_PARAMS params = SimSdkSmsParams(m);
      Print("  to %s text \"%s\"\n", std::string(reinterpret_cast<const char*>(params.address), params.addressCount).c_str(),
            SimSdkSmsTextOf(m).c_str());
    }
  } else if (cmd == "smsguard" && i + 3 < argc) {
    uint32_t size = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
    uint32_t length = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
    bool atPage = std::strcmp(argv[++i], "page") == 0;
    std::vector<uint8_t> bytes = SimSdkSmsHostMessage("2065550123", "Guarded");
    plugintest::PageEnd text(atPage ? 0 : static_cast<uint32_t>(bytes.size()));
    if (!atPage) std::memcpy(text.get(), bytes.data(), bytes.size());
    WMC_SMS_MESSAGE m = {size, 0, length ? length : static_cast<uint32_t>(bytes.size()), 0, 0};
    SetSmsMessageBytes(m, text.get());
    plugintest::PageEnd block(size);
    std::memcpy(block.get(), &m, std::min<size_t>(size, sizeof m));
    Print("WMC_SendMessage(block %u, length %u, %s): %d\n", static_cast<unsigned>(size),
          static_cast<unsigned>(m.length), atPage ? "page" : "end",
          p.SendMessage(reinterpret_cast<WMC_SMS_MESSAGE*>(block.get())));
  } else if (cmd == "run" && i + 2 < argc) {
    std::string program = argv[++i], arg = argv[++i];
    Mark();
    Print("run %s %s: %lu\n", program.c_str(), arg.c_str(), RunAndWait(program, arg));
  } else if (cmd == "restart") {
    int down = p.Shutdown();
    int up = p.Startup();  // no message dispatched between
    Print("WMC_Shutdown: %d\nWMC_Startup: %d\n", down, up);
  } else if (cmd == "fieldon") {
    Print("WMC_SetFieldTest(1): %d\n", p.SetFieldTest(1, OnFieldTest));
  } else if (cmd == "fieldoff") {
    Print("WMC_SetFieldTest(0): %d\n", p.SetFieldTest(0, OnFieldTest));
  } else if (cmd == "activate") {
    int type = number(++i);
    WMC_ACTIVATION_INFO a = {};
    a.size = sizeof a;
    a.type = static_cast<uint32_t>(type);
    lstrcpynA(a.mdn, "5551234567", sizeof a.mdn);
    lstrcpynA(a.min, "3105551234", sizeof a.min);
    std::memcpy(a.spc, "123456", 6);
    Print("WMC_Activate(%d): %d\n", type, p.Activate(&a));
  } else if (cmd == "setparameters" && i + 3 < argc) {
    WMC_PARAMETERS w = {};
    w.size = sizeof w;
    w.qcMipMode = static_cast<uint32_t>(number(++i));
    w.preferredMode = static_cast<uint32_t>(number(++i));
    w.accolc = static_cast<uint16_t>(number(++i));
    Print("WMC_SetParameters: %d\n", p.SetParameters(&w));
  } else if (cmd == "factorydefaults") {
    Print("WMC_ResetFactoryDefaults: %d\n", p.ResetFactoryDefaults(nullptr));
  } else if (cmd == "ndis") {
    WMC_NDIS_MODE m = {sizeof m, static_cast<uint32_t>(number(++i))};
    Print("WMC_SetNDISMode(%u): %d\n", m.mode, p.SetNDISMode(&m));
  } else if (cmd == "free") {
    FreeLibrary(p.library);
    p.library = nullptr;
    Print("FreeLibrary: %s\n", PluginLoaded() ? "still loaded" : "unloaded");
  } else if (cmd == "loaded") {
    Print("loaded: %s\n", PluginLoaded() ? "yes" : "no");
  } else if (cmd == "thread" && i + 1 < argc) {
    ThreadRun t = {&p, argc, argv, i + 1, 0, true};
    HANDLE thread = CreateThread(nullptr, 0, CommandThread, &t, 0, nullptr);
    if (!thread) return false;
    // The main thread pumps meanwhile: callbacks forwarded to it are served.
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) PumpFor(0);
    CloseHandle(thread);
    i = t.i;
    failures += t.failures;
    return t.known;
  } else if (cmd == "after" && i + 2 < argc) {
    int ms = number(++i);
    g_afterCommand = argv[++i];
    SetTimer(nullptr, 0, static_cast<UINT>(ms), AfterProc);
  } else if (cmd == "shutdownon") {
    g_shutdownOn = number(++i);
  } else if (cmd == "freeon") {
    g_freeOn = number(++i);
  } else if (cmd == "waitforward") {
    int ms = number(++i);
    bool blocked = g_forwarding && WaitForSingleObject(g_forwarding, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
    Print("waitforward: %s\n", blocked ? "blocked" : "timeout");
    failures += blocked ? 0 : 1;
  } else if (cmd == "clientpower") {
    uint32_t state = static_cast<uint32_t>(number(++i));
    static SimClientControl client;  // held: the block lives only while someone maps it
    if (client.ok()) client->powerState = state;
    Print("clientpower %u: %s\n", state, client.ok() ? "set" : "failed");
  } else if (cmd == "clientnotify") {
    uint32_t state = static_cast<uint32_t>(number(++i));
    HMODULE client = GetModuleHandleA("qelvxaux.dll");
    auto notify = client ? reinterpret_cast<int32_t(__cdecl*)(uint32_t)>(
                               reinterpret_cast<void*>(GetProcAddress(client, "SimClient_Notify")))
                         : nullptr;
    Mark();
    Print("clientnotify %u: %s\n", state, notify && notify(state) ? "delivered" : "not delivered");
  } else if (cmd == "sdkopen" && i + 2 < argc) {
    int mode = number(++i);
    int32_t result = number(++i);
    static SimSdkControl sdk;  // held, so the script outlives this command until the SDK loads
    bool ok = sdk.ok() && mode >= 0 && mode < kSimSdkOpenModes;
    if (ok) sdk->openResult[mode] = result;
    Print("sdkopen %d: %d\n", mode, result);
  // --- client library's thread and reloads ---
  } else if (cmd == "callon" && i + 2 < argc) {
    int index = number(++i);
    g_callOnArgs[0] = argv[++i];
    g_callOnCount = 1;
    if (std::strcmp(g_callOnArgs[0], "setpower") == 0 && i + 1 < argc) {
      g_callOnArgs[1] = argv[++i];
      g_callOnCount = 2;
    }
    g_callOn = index;
  } else if (cmd == "reload") {
    bool ok = !p.library && Load(p);
    if (ok)
      for (int slot = 0; slot < WMC_NOTIFY_SLOTS; ++slot) p.SetCallback(slot, Slots::fns[slot], 0);
    Print("reload: %s\n", ok ? "loaded" : "failed");
  } else if (cmd == "timed" && i + 1 < argc) {
    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&a);
    ++i;
    bool known = RunCommand(p, argc, argv, i, failures);
    QueryPerformanceCounter(&b);
    Print("timed: %lld ms\n", static_cast<long long>((b.QuadPart - a.QuadPart) * 1000 / f.QuadPart));
    if (!known) return false;
  } else if (cmd == "clientloaded") {
    DWORD ms = static_cast<DWORD>(number(++i));
    DWORD start = GetTickCount();
    while (GetModuleHandleA("qelvxaux.dll") && GetTickCount() - start < ms) PumpFor(20);
    Print("clientloaded: %s\n", GetModuleHandleA("qelvxaux.dll") ? "yes" : "no");
  } else {
    Print("unknown command %s\n", cmd.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  AddVectoredExceptionHandler(1, CountFaults);
  g_mainThread = GetCurrentThreadId();
  int i = 1;
  int bareLoads = 0;
  for (; i < argc; ++i) {
    if (i + 1 < argc && std::strcmp(argv[i], "--sdk-dir") == 0) {
      SetDllDirectoryA(argv[++i]);
    } else if (std::strcmp(argv[i], "--forward") == 0) {
      g_forward = true;
    } else if (i + 1 < argc && std::strcmp(argv[i], "--bare-loads") == 0) {
      bareLoads = std::atoi(argv[++i]);
    } else {
      break;
    }
  }
  if (g_forward && !MakeForwardWindow()) return 2;
  if (bareLoads) BareLoads(bareLoads);
  Plugin& p = g_plugin;
  if (!Load(p)) return 2;
  for (int slot = 0; slot < WMC_NOTIFY_SLOTS; ++slot) p.SetCallback(slot, Slots::fns[slot], 0);
  int failures = 0;
  for (; i < argc; ++i) {
    if (!RunCommand(p, argc, argv, i, failures)) {
      if (p.library) FreeLibrary(p.library);
      return 2;
    }
  }
  if (p.library) FreeLibrary(p.library);
  Print("faults: %ld\n", g_faults.load());
  if (g_faults.load()) return 3;
  return failures ? 1 : 0;
}
