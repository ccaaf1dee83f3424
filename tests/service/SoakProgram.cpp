// soak [seconds]: the load check run on demand by scripts/soak.sh, never by the tests. Ten
// processes of the real client library read and switch the radio of the simulated-firmware
// service while the hardware switch flips; one is killed by its process id and a new one
// started. Prints the figures and ends non-zero when a call was held over 10 s, a live
// client missed the final state or the new client heard nothing. Every wait is bounded.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FirmwareSim.h"
#include "PowerClientBlock.h"
#include "ServerProcess.h"

namespace {

constexpr int kClients = 10;
constexpr int kNewClient = kClients;  // the slot of the client started after the kill
constexpr DWORD kHeldMs = 10000;
constexpr DWORD kFlipEveryMs = 500;
constexpr DWORD kTickMs = 100;

LONG64 Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

// Waits until done() or the time is up, checking every tick.
template <class Done>
bool WaitFor(Done done, DWORD ms) {
  for (DWORD waited = 0; !done(); waited += kTickMs) {
    if (waited >= ms) return false;
    Sleep(kTickMs);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = std::min(std::max(argc > 1 ? std::atoi(argv[1]) : 120, 10), 3600);
  const std::string server = qeltest::BinDir() + "sim\\QelVxWmi.exe";
  if (!qeltest::WaitServersGone() || qeltest::RunProgram(server, "-RegServer") != 0) {
    std::printf("soak: cannot register %s\n", server.c_str());
    return 1;
  }
  FirmwareSim sim;
  PowerClientMapping block;
  if (!sim.Open() || !block.Create()) {
    std::printf("soak: cannot open the simulated firmware or the clients' block\n");
    return 1;
  }
  sim.Reset();
  const int clientSeconds = seconds + 180;  // a client ends by itself after this
  auto& slots = block->slots;
  // One first: Wine starts a server for each of several activations that find none running.
  std::vector<UniqueKernelHandle> clients;
  clients.push_back(StartPowerClient(block, 0, clientSeconds));
  WaitFor([&] { return slots[0].ready || slots[0].ended; }, 60000);
  for (int i = 1; i < kClients; ++i) clients.push_back(StartPowerClient(block, i, clientSeconds));
  if (!WaitFor([&] { return std::all_of(slots, slots + kClients, [](const PowerClientSlot& s) { return s.ready; }); },
               120000)) {
    std::printf("soak: not every client started\n");
    block->quit = 1;
    return 1;
  }

  std::printf("soak: %d clients for %d s\n", kClients, seconds);
  std::fflush(stdout);
  const LONG64 frequency = block->frequency;
  LONG longestInFlightUs = 0;
  int flips = 0;
  bool killDone = false;
  block->calling = 1;
  const LONG64 start = Now();
  const DWORD runMs = static_cast<DWORD>(seconds) * 1000;
  for (DWORD elapsed = 0; elapsed < runMs; elapsed += kTickMs) {
    Sleep(kTickMs);
    if (elapsed % kFlipEveryMs == 0) {
      sim.FlipSwitch();
      ++flips;
    }
    if (!killDone && elapsed >= runMs / 3) {
      killDone = true;
      UniqueKernelHandle victim(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(slots[0].pid)));
      bool killed = victim && TerminateProcess(victim.get(), 9) && WaitForSingleObject(victim.get(), 10000) == WAIT_OBJECT_0;
      std::printf("soak: killed client 0 (process %ld): %s\n", slots[0].pid, killed ? "yes" : "no");
      std::fflush(stdout);
      clients.push_back(StartPowerClient(block, kNewClient, clientSeconds));
    }
    // A call still under way also counts, or a held one would not show until it returns.
    LONG64 now = Now();
    for (int i = 1; i <= kNewClient; ++i) {
      LONG64 began = slots[i].callStart;
      if (began && now > began)
        longestInFlightUs = std::max(longestInFlightUs, static_cast<LONG>((now - began) * 1000000 / frequency));
    }
  }
  block->calling = 0;
  const double callSeconds = static_cast<double>(Now() - start) / frequency;
  WaitFor([&] { return std::none_of(slots + 1, slots + kNewClient + 1, [](const PowerClientSlot& s) { return s.callStart != 0; }); },
          30000);

  // The state the firmware ended in; the soak only switches the radio bit.
  FirmwareSimBlock status = sim.Snapshot();
  const LONG finalState = (status.status[3] & 0x01) ? 1 : 2;
  auto liveSlots = [&] {
    std::vector<int> live;
    for (int i = 1; i <= kNewClient; ++i)
      if (slots[i].ready && !slots[i].ended) live.push_back(i);
    return live;
  };
  auto current = [&](int i) { return slots[i].lastNotified == finalState; };
  WaitFor([&] { auto live = liveSlots(); return std::all_of(live.begin(), live.end(), current); }, 20000);
  std::vector<int> live = liveSlots();
  int upToDate = static_cast<int>(std::count_if(live.begin(), live.end(), current));
  bool newNotified = slots[kNewClient].ready && slots[kNewClient].notifications > 0;

  block->quit = 1;
  for (auto& client : clients) {
    if (client && WaitForSingleObject(client.get(), 30000) != WAIT_OBJECT_0) TerminateProcess(client.get(), 9);
  }
  bool serverGone = qeltest::WaitServersGone(30000);

  LONG calls = 0, failures = 0, longestUs = longestInFlightUs;
  for (int i = 0; i <= kNewClient; ++i) {
    calls += slots[i].calls;
    failures += slots[i].failures;
    longestUs = std::max(longestUs, static_cast<LONG>(slots[i].longestUs));
  }
  std::printf("soak: calls/s %.0f (%ld calls in %.1f s, %d switch flips)\n", calls / callSeconds, calls, callSeconds,
              flips);
  std::printf("soak: longest single call %.1f ms\n", longestUs / 1000.0);
  std::printf("soak: failed calls %ld\n", failures);
  std::printf("soak: live clients with the final state (%ld): %d of %zu\n", finalState, upToDate, live.size());
  std::printf("soak: new client notified: %s (%ld notifications)\n", newNotified ? "yes" : "no",
              static_cast<LONG>(slots[kNewClient].notifications));
  std::printf("soak: service ended after the last client: %s\n", serverGone ? "yes" : "no");
  bool held = static_cast<DWORD>(longestUs / 1000) > kHeldMs;
  bool pass = !held && live.size() == static_cast<size_t>(kClients) && upToDate == kClients && newNotified;
  std::printf("soak: %s\n", pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}
