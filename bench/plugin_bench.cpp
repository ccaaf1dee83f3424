// The plug-in's notification path: latency from a notification injected into the simulated
// SDK to the host callback, beside a bare cross-thread callback (a thread woken by an event
// calls a function) and the same bare callback after the debugger-output lines the plug-in
// writes for that notification, in the same run; then the SMS round (a host message through
// WMC_SendMessage to the simulated SDK, which answers with its status at once) beside the
// codec alone on the same message. The last line is the ratio of the notification to the
// bare callback with its lines: the plug-in's own cost apart from the lines it must write.
//   plugin_bench (runs from bin/plugin, loads bin/wmcqel.dll and the full simulated SDK)
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "Exports.h"
#include "ServerProcess.h"
#include "SimSdkControl.h"
#include "SimSdkSms.h"
#include "Sms/IS637Codec.h"

namespace {

std::atomic<double> g_arrived{0};
void __cdecl OnNetworkInfo(int) { g_arrived = Seconds(); }

// Milliseconds from trigger() to the callback (0 when it never came).
template <class Trigger>
double Latency(Trigger trigger) {
  g_arrived = 0;
  double start = Seconds();
  trigger();
  DWORD begin = GetTickCount();
  while (g_arrived.load() == 0 && GetTickCount() - begin < 5000) Sleep(0);
  double at = g_arrived.load();
  Sleep(2);
  return at > 0 ? (at - start) * 1000 : 0;
}

struct Samples {
  std::vector<double> ms;
  void Add(double v) {
    if (v > 0) ms.push_back(v);
  }
  double Median() {
    if (ms.empty()) return 0;
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
  }
};

// One debugger-output line as the plug-in writes it: under a lock, four blanks and the
// "ss.mmm " stamp of the tick count, then the text.
CRITICAL_SECTION g_lineLock;
void MandatedLine(const char* format, ...) {
  EnterCriticalSection(&g_lineLock);
  char line[4096];
  DWORD t = GetTickCount();
  int n = std::snprintf(line, 16, "    %02u.%03u ", static_cast<unsigned>(t / 1000 % 100), static_cast<unsigned>(t % 1000));
  va_list args;
  va_start(args, format);
  wvsprintfA(line + n, format, args);
  va_end(args);
  OutputDebugStringA(line);
  LeaveCriticalSection(&g_lineLock);
}

// The lines the plug-in writes for an SDK service indication before the host's callback.
void ServiceIndicationLines(int value) {
  MandatedLine("QEL_NOTIFY_ServiceIndication - %d\n", value);
  MandatedLine("CSEVDOEngine::SendNotification\n");
}

// The bare path: a thread that waits on an event while pumping, then calls the function
// (after the plug-in's lines for the notification, when asked to).
struct BareThread {
  explicit BareThread(bool withLines) : lines(withLines) { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = nullptr;
  bool lines;
  static DWORD WINAPI Run(void* p) {
    auto* self = static_cast<BareThread*>(p);
    HANDLE waits[2] = {self->stop, self->wake};
    for (;;) {
      DWORD w = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
      if (w == WAIT_OBJECT_0) return 0;
      if (w != WAIT_OBJECT_0 + 1) continue;
      if (self->lines) ServiceIndicationLines(1);
      OnNetworkInfo(3);
    }
  }
  ~BareThread() {
    SetEvent(stop);
    WaitForSingleObject(thread, 5000);
    for (HANDLE h : {wake, stop, thread}) CloseHandle(h);
  }
};

// Messages per second of send(message), over count calls; failures counts non-zero results.
template <class Send>
double MessagesPerSecond(Send send, int count, int* failures) {
  double start = Seconds();
  for (int i = 0; i < count; ++i)
    if (send() != 0) ++*failures;
  double elapsed = Seconds() - start;
  return elapsed > 0 ? count / elapsed : 0;
}

}  // namespace

int main() {
  std::string bin = qeltest::BinDir() + "..\\";
  SetDllDirectoryA((bin + "sim\\sdk\\full").c_str());
  HMODULE library = LoadLibraryA((bin + "wmcqel.dll").c_str());
  if (!library) {
    std::printf("wmcqel.dll not loaded\n");
    return 1;
  }
  auto startup = reinterpret_cast<decltype(&WMC_Startup)>(reinterpret_cast<void*>(GetProcAddress(library, "WMC_Startup")));
  auto shutdown = reinterpret_cast<decltype(&WMC_Shutdown)>(reinterpret_cast<void*>(GetProcAddress(library, "WMC_Shutdown")));
  auto setCallback =
      reinterpret_cast<decltype(&WMC_SetCallback)>(reinterpret_cast<void*>(GetProcAddress(library, "WMC_SetCallback")));
  SimSdkControl sdk;
  setCallback(WMC_NOTIFY_NETWORK_INFO, OnNetworkInfo, 0);
  int r = startup();
  if (r != 0) {
    std::printf("WMC_Startup: %d\n", r);
    return 1;
  }
  const int rounds = 300;
  InitializeCriticalSection(&g_lineLock);
  double plugin, bare, bareWithLines;
  {
    // Interleaved, so that the machine's load weighs on the three alike.
    BareThread plain(false), withLines(true);
    Samples p, b, l;
    for (int i = 0; i < rounds; ++i) {
      p.Add(Latency([&] { sdk.Inject(5, {0, 1}); }));
      b.Add(Latency([&] { SetEvent(plain.wake); }));
      l.Add(Latency([&] { SetEvent(withLines.wake); }));
    }
    plugin = p.Median();
    bare = b.Median();
    bareWithLines = l.Median();
  }
  // The SMS round, and the codec alone on the same host message.
  auto sendMessage =
      reinterpret_cast<decltype(&WMC_SendMessage)>(reinterpret_cast<void*>(GetProcAddress(library, "WMC_SendMessage")));
  {
    auto guard = sdk.lock();
    sdk->sms.storeOn = 1;
    sdk->sms.sendStatus = 3;  // at once, no cause
  }
  std::vector<uint8_t> bytes = SimSdkSmsHostMessage("2065550123", "Running late, the train is stuck outside the station");
  WMC_SMS_MESSAGE message = {sizeof message, 0, static_cast<uint32_t>(bytes.size()), 0, 0};
  SetSmsMessageBytes(message, bytes.data());
  const int messages = 1000;
  int sendFailures = 0, codecFailures = 0;
  double sent = MessagesPerSecond([&] { return sendMessage(&message); }, messages, &sendFailures);
  double coded = MessagesPerSecond(
      [&] {
        SmsSendRecord record;
        return ConvertIS637ToCNS(&message, record.get()) == 1 ? 0 : 1;
      },
      messages * 50, &codecFailures);
  shutdown();
  FreeLibrary(library);
  // What the plug-in's lines for one notification cost here, on this thread.
  double start = Seconds();
  for (int i = 0; i < rounds; ++i) ServiceIndicationLines(1);
  double lines = (Seconds() - start) * 1000 / rounds;
  std::printf("SMS round, host message to result: %.0f messages/s (%d of %d failed)\n", sent, sendFailures, messages);
  std::printf("SMS codec alone, message to record: %.0f messages/s (%d failed)\n", coded, codecFailures);
  std::printf("the notification's 2 debugger lines: %.3f ms\n", lines);
  std::printf("notification to host callback:       %.3f ms (median of %d)\n", plugin, rounds);
  std::printf("bare cross-thread callback:          %.3f ms (median of %d)\n", bare, rounds);
  std::printf("bare callback after the 2 lines:     %.3f ms (median of %d)\n", bareWithLines, rounds);
  std::printf("ratio to the bare callback %.2f\n", bare > 0 ? plugin / bare : 0.0);
  std::printf("ratio to the bare callback with its lines %.2f (target <= 1.5)\n",
              bareWithLines > 0 ? plugin / bareWithLines : 0.0);
  return 0;
}
