// client_cycles [cycles]: the client library's long run, on demand from scripts/soak.sh.
// Against the simulated-firmware service (kept running by one other client), each cycle on
// this thread is QelHWInitialize, QelHWRegisterCallback, QelHWGetPower, a hardware switch
// flip whose notification must reach the registered function, and QelHWUnInitialize.
// Prints the committed private memory and the process heap in use as it goes, the growth
// per cycle and the time per cycle; ends non-zero when a cycle failed or memory grew.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FirmwareSim.h"
#include "HWIntf.h"
#include "Handles.h"
#include "PowerClientBlock.h"
#include "QelVxAux.h"
#include "ServerProcess.h"

namespace {

constexpr int kWarmUp = 100;          // cycles before the first memory figure
constexpr double kGrowthLimitKb = 0.5;  // per cycle, over the run after the warm-up

volatile LONG g_notified = 0;
volatile LONG g_lastState = 0;
void __cdecl OnPower(QelHWNotifyRecord* record) {
  if (record->Type != QELHW_NOTIFY_Power) return;
  g_lastState = static_cast<LONG>(record->Value);
  InterlockedIncrement(&g_notified);
}

// Committed private memory (Wine reports PrivateUsage as 0, so the pages are counted).
size_t PrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const char* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

// Bytes in use in the process heap (where the C runtime and COM allocate).
size_t HeapInUse() {
  size_t total = 0;
  HANDLE heap = GetProcessHeap();
  if (!HeapLock(heap)) return 0;
  PROCESS_HEAP_ENTRY entry = {};
  while (HeapWalk(heap, &entry))
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
  HeapUnlock(heap);
  return total;
}

LONG64 Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

template <class F>
bool Bind(HMODULE library, const char* name, F* out) {
  *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *out != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = std::min(std::max(argc > 1 ? std::atoi(argv[1]) : 3000, kWarmUp + 1), 100000);
  setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string server = qeltest::BinDir() + "sim\\QelVxWmi.exe";
  if (!qeltest::WaitServersGone() || qeltest::RunProgram(server, "-RegServer") != 0) {
    std::printf("cycles: cannot register %s\n", server.c_str());
    return 1;
  }
  FirmwareSim sim;
  PowerClientMapping block;
  if (!sim.Open() || !block.Create()) {
    std::printf("cycles: cannot open the simulated firmware or the clients' block\n");
    return 1;
  }
  sim.Reset();
  // Keeps the service running between our cycles, as the other users on a notebook do.
  UniqueKernelHandle keeper = StartPowerClient(block, 0, 24 * 3600);
  for (DWORD waited = 0; !block->slots[0].ready && !block->slots[0].ended && waited < 120000; waited += 50) Sleep(50);
  if (!block->slots[0].ready) {
    std::printf("cycles: the client that keeps the service did not start (0x%08lx)\n", block->slots[0].initResult);
    return 1;
  }

  UniqueLibrary library(LoadLibraryA((qeltest::BinDir() + "QelVxAux.dll").c_str()));
  PFN_QelHWInitialize initialize;
  PFN_QelHWUnInitialize uninitialize;
  PFN_QelHWGetPower getPower;
  PFN_QelHWRegisterCallback registerCallback;
  if (!library || !Bind(library.get(), "QelHWInitialize", &initialize) ||
      !Bind(library.get(), "QelHWUnInitialize", &uninitialize) || !Bind(library.get(), "QelHWGetPower", &getPower) ||
      !Bind(library.get(), "QelHWRegisterCallback", &registerCallback)) {
    std::printf("cycles: cannot load the client library\n");
    return 1;
  }

  std::printf("cycles: %d cycles of initialise, register, read, notification, uninitialise\n", cycles);
  std::fflush(stdout);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  int failed = 0, missed = 0;
  size_t privateStart = 0, heapStart = 0;
  LONG64 start = 0;
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    if (cycle == kWarmUp + 1) {
      privateStart = PrivateBytes();
      heapStart = HeapInUse();
      start = Now();
    }
    uint32_t state = 0;
    if (FAILED(initialize()) || registerCallback(OnPower) != QELHW_OK || getPower(&state) != QELHW_OK) {
      ++failed;
    } else {
      const LONG expected = state == QELHW_POWER_ON ? QELHW_POWER_OFF : QELHW_POWER_ON;
      const LONG before = g_notified;
      sim.FlipSwitch();
      bool heard = false;
      for (DWORD begin = GetTickCount(); !heard && GetTickCount() - begin < 10000;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        heard = g_notified != before && g_lastState == expected;
      }
      if (!heard) ++missed;
    }
    uninitialize();
    if (cycle % 100 == 0 || cycle == cycles) {
      std::printf("cycles: %5d: private %zu KB, heap in use %zu KB, failed %d, missed notifications %d\n", cycle,
                  PrivateBytes() / 1024, HeapInUse() / 1024, failed, missed);
      std::fflush(stdout);
    }
  }
  const double seconds = static_cast<double>(Now() - start) / frequency.QuadPart;
  const int measured = cycles - kWarmUp;
  const double privateKb = (static_cast<double>(PrivateBytes()) - static_cast<double>(privateStart)) / 1024 / measured;
  const double heapKb = (static_cast<double>(HeapInUse()) - static_cast<double>(heapStart)) / 1024 / measured;
  std::printf("cycles: after the first %d: %.3f KB private and %.3f KB heap a cycle, %.1f ms a cycle\n", kWarmUp,
              privateKb, heapKb, seconds * 1000 / measured);

  block->quit = 1;
  if (WaitForSingleObject(keeper.get(), 30000) != WAIT_OBJECT_0) TerminateProcess(keeper.get(), 9);
  bool serverGone = qeltest::WaitServersGone(30000);
  bool pass = failed == 0 && missed == 0 && privateKb <= kGrowthLimitKb && heapKb <= kGrowthLimitKb;
  std::printf("cycles: service ended after the last client: %s\n", serverGone ? "yes" : "no");
  std::printf("cycles: %s\n", pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}
