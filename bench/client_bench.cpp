// The client library end to end against the simulated-firmware service, beside the bare COM
// costs under it: calls/s of QelHWGetPower against an empty cross-process method, and the
// latency from a firmware event to the registered function against a bare COM callback;
// and beside the bare loops of exactly the calls the contract makes for one QelHWGetPower
// and for one notification (bench_server makes the service's part of them).
#include <windows.h>
#include <ocidl.h>

#include <cstdio>
#include <string>

#include "BenchClock.h"
#include "BenchServer.h"
#include "ComPtr.h"
#include "FirmwareSim.h"
#include "Handles.h"
#include "QelVxAux.h"
#include "QelVxWmiIds.h"
#include "ServerProcess.h"

namespace {

using qeltest::BinDir;

// Calls per second of call() over about a second and a half.
template <class Call>
double Rate(Call call) {
  for (int i = 0; i < 20; ++i) call();
  int calls = 0;
  double start = Seconds(), elapsed = 0;
  do {
    for (int i = 0; i < 50; ++i) call();
    calls += 50;
    elapsed = Seconds() - start;
  } while (elapsed < 1.5);
  return calls / elapsed;
}

// Mean milliseconds from trigger() to the moment *count grows, over rounds rounds.
template <class Trigger>
double Latency(Trigger trigger, volatile LONG* count, int rounds) {
  double total = 0;
  int measured = 0;
  for (int i = 0; i < rounds; ++i) {
    LONG before = *count;
    double start = Seconds();
    trigger();
    if (!qeltest::PumpUntil([&] { return *count != before; }, 5000)) continue;
    total += Seconds() - start;
    ++measured;
    Sleep(5);
    qeltest::PumpUntil([] { return false; }, 20);  // lets the second delivery and stragglers pass
  }
  return measured ? total * 1000 / measured : 0;
}

volatile LONG g_libraryCalls = 0;
void __cdecl CountCallback(QelHWNotifyRecord* record) {
  if (record->Type == 0) InterlockedIncrement(&g_libraryCalls);
}

// Log calls the client library makes: for QelHWGetPower its trace scope and two lines; for a
// notification the sink's three lines before the first call of the registered function.
constexpr int kGetLogCalls = 4;
constexpr int kNotifyLogCalls = 3;
HANDLE g_alterEvent = nullptr;
void PollLog(int calls) {
  for (int i = 0; i < calls; ++i) WaitForSingleObject(g_alterEvent, 0);
}

class CountingSink : public IVXWMICB {
 public:
  volatile LONG calls = 0;
  int logCalls = 0;  // alter-event polls before counting
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IVXWMICB) {
      *ppv = static_cast<IVXWMICB*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives for the whole run
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP VXWMICallback(BYTE) override {
    PollLog(logCalls);
    InterlockedIncrement(&calls);
    return S_OK;
  }
};

struct LibraryFigures {
  double callsPerSecond = 0, latencyMs = 0;
};

bool MeasureLibrary(LibraryFigures* out) {
  FirmwareSim sim;
  if (!sim.Open()) return false;
  sim.Reset();
  UniqueLibrary library(LoadLibraryA((BinDir() + "QelVxAux.dll").c_str()));
  if (!library) return false;
  auto bind = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(library.get(), name)); };
  auto initialize = reinterpret_cast<PFN_QelHWInitialize>(bind("QelHWInitialize"));
  auto uninitialize = reinterpret_cast<PFN_QelHWUnInitialize>(bind("QelHWUnInitialize"));
  auto getPower = reinterpret_cast<PFN_QelHWGetPower>(bind("QelHWGetPower"));
  auto registerCallback = reinterpret_cast<PFN_QelHWRegisterCallback>(bind("QelHWRegisterCallback"));
  if (!initialize || !uninitialize || !getPower || !registerCallback) return false;
  if (FAILED(initialize())) return false;
  uint32_t state = 0;
  bool ok = getPower(&state) == QELHW_OK;
  if (ok) {
    out->callsPerSecond = Rate([&] { getPower(&state); });
    registerCallback(CountCallback);
    out->latencyMs = Latency([&] { sim.FlipSwitch(); }, &g_libraryCalls, 40);
  }
  uninitialize();
  return ok && out->latencyMs > 0;
}

struct BareFigures {
  double callsPerSecond = 0, latencyMs = 0;
  // The contract's calls: the ready event opened, waited on and closed, the log polls and
  // the call whose server reads the firmware; the firmware event read and sent to the sink.
  double contractCallsPerSecond = 0, contractLatencyMs = 0;
};

bool MeasureBare(BareFigures* out) {
  FirmwareSim sim;
  if (!sim.Open()) return false;
  sim.Reset();
  UniqueKernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, kBenchReadyEvent));
  UniqueKernelHandle fire(CreateEventA(nullptr, FALSE, FALSE, kBenchFireEvent));
  UniqueKernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, kBenchStopEvent));
  std::string server = BinDir() + "bench_server.exe";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string line = "\"" + server + "\"";
  if (!CreateProcessA(server.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  bool ok = WaitForSingleObject(ready.get(), 20000) == WAIT_OBJECT_0;
  CountingSink sink;
  if (ok) {
    ComPtr<IVXWMI> power;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ok = SUCCEEDED(CoCreateInstance(CLSID_BenchVxwmi, nullptr, CLSCTX_LOCAL_SERVER, IID_IVXWMI, power.put_void())) &&
         SUCCEEDED(power.As(&container)) && SUCCEEDED(container->FindConnectionPoint(IID_IVXWMICB, point.put())) &&
         SUCCEEDED(point->Advise(&sink, &cookie));
    if (ok) {
      BYTE state = 0;
      // VXWMIGetPower of the bare server reads the firmware; the empty call is GetTypeInfoCount.
      UINT count = 0;
      out->callsPerSecond = Rate([&] { power->GetTypeInfoCount(&count); });
      out->latencyMs = Latency([&] { SetEvent(fire.get()); }, &sink.calls, 40);
      out->contractCallsPerSecond = Rate([&] {
        PollLog(kGetLogCalls);
        UniqueKernelHandle event(OpenEventA(SYNCHRONIZE, FALSE, kBenchReadyEvent));
        if (event && WaitForSingleObject(event.get(), 60000) == WAIT_OBJECT_0) power->VXWMIGetPower(&state);
      });
      sink.logCalls = kNotifyLogCalls;
      out->contractLatencyMs = Latency([&] { sim.FlipSwitch(); }, &sink.calls, 40);
      point->Unadvise(cookie);
    }
  }
  SetEvent(stop.get());
  WaitForSingleObject(process.get(), 10000);
  return ok && out->latencyMs > 0;
}

}  // namespace

int main() {
  ComApartment apartment;
  if (!apartment.ok()) return 1;
  UniqueKernelHandle alter(CreateEventA(nullptr, FALSE, FALSE, "DevuRezAzeve_AlterEvent_BENCHCLIENT"));
  g_alterEvent = alter.get();
  if (!qeltest::WaitServersGone() || qeltest::RunProgram(BinDir() + "sim\\QelVxWmi.exe", "-RegServer") != 0) {
    std::printf("client_bench: cannot register the simulated-firmware service\n");
    return 1;
  }
  LibraryFigures library;
  BareFigures bare;
  if (!MeasureLibrary(&library)) {
    std::printf("client_bench: the client library did not run against the service\n");
    return 1;
  }
  qeltest::WaitServersGone();
  if (!MeasureBare(&bare)) {
    std::printf("client_bench: the bare local server did not answer\n");
    return 1;
  }
  std::printf("QelHWGetPower end to end: %.0f calls/s; bare cross-process call to an empty method: %.0f calls/s\n",
              library.callsPerSecond, bare.callsPerSecond);
  std::printf("firmware event to registered function: %.2f ms; bare COM callback: %.2f ms\n", library.latencyMs,
              bare.latencyMs);
  std::printf("bare QelHWGetPower (ready event, log polls, firmware read in the server): %.0f calls/s\n",
              bare.contractCallsPerSecond);
  std::printf("bare notification (firmware event, firmware read, log polls, COM callback): %.2f ms\n",
              bare.contractLatencyMs);
  std::printf("ratios: calls/s library/bare %.3f, latency library/bare %.2f\n",
              library.callsPerSecond / bare.callsPerSecond, library.latencyMs / bare.latencyMs);
  // Time of the library's call and notification over those of their bare loops (target 1.2).
  std::printf("ratios to the contract's bare loops: QelHWGetPower %.3f, notification %.3f\n",
              bare.contractCallsPerSecond / library.callsPerSecond, library.latencyMs / bare.contractLatencyMs);
  return 0;
}
