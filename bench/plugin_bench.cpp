// The plug-in's notification path: latency from a notification injected into the simulated
// SDK to the host callback, beside a bare cross-thread callback (a thread woken by an event
// calls a function) in the same run; then the SMS round (a host message through
// WMC_SendMessage to the simulated SDK, which answers with its status at once) beside the
// codec alone on the same message. The last line is the notification ratio.
//   plugin_bench (runs from bin/plugin, loads bin/wmcqel.dll and the full simulated SDK)
#include <windows.h>

#include <algorithm>
#include <atomic>
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

// Median milliseconds from trigger() to the callback, over rounds rounds.
template <class Trigger>
double MedianLatency(Trigger trigger, int rounds) {
  std::vector<double> samples;
  for (int i = 0; i < rounds; ++i) {
    g_arrived = 0;
    double start = Seconds();
    trigger();
    DWORD begin = GetTickCount();
    while (g_arrived.load() == 0 && GetTickCount() - begin < 5000) Sleep(0);
    if (g_arrived.load() > 0) samples.push_back((g_arrived.load() - start) * 1000);
    Sleep(2);
  }
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

// The bare path: a thread that waits on an event while pumping, then calls the function.
struct BareThread {
  HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = nullptr;
  static DWORD WINAPI Run(void* p) {
    auto* self = static_cast<BareThread*>(p);
    HANDLE waits[2] = {self->stop, self->wake};
    for (;;) {
      DWORD w = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
      if (w == WAIT_OBJECT_0) return 0;
      if (w == WAIT_OBJECT_0 + 1) OnNetworkInfo(3);
    }
  }
  BareThread() { thread = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
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
  double plugin = MedianLatency([&] { sdk.Inject(5, {0, 1}); }, rounds);
  double bare;
  {
    BareThread t;
    bare = MedianLatency([&] { SetEvent(t.wake); }, rounds);
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
  // What one debugger-output line costs here: the plug-in writes two per notification.
  double start = Seconds();
  for (int i = 0; i < rounds; ++i) OutputDebugStringA("    00.000 QEL_NOTIFY_ServiceIndication - 1\n");
  double line = (Seconds() - start) * 1000 / rounds;
  std::printf("SMS round, host message to result: %.0f messages/s (%d of %d failed)\n", sent, sendFailures, messages);
  std::printf("SMS codec alone, message to record: %.0f messages/s (%d failed)\n", coded, codecFailures);
  std::printf("one OutputDebugStringA line:   %.3f ms\n", line);
  std::printf("notification to host callback: %.3f ms (median of %d)\n", plugin, rounds);
  std::printf("bare cross-thread callback:    %.3f ms (median of %d)\n", bare, rounds);
  std::printf("ratio %.2f (target <= 1.5)\n", bare > 0 ? plugin / bare : 0.0);
  return 0;
}
