// power_client <block name> <slot> <seconds>: a process of the real client library, loaded
// by name from this program's folder. It registers a callback, initialises, reads once, and
// then reads and switches the radio while the block says so, pumping its messages between
// calls, until the block says quit or the seconds have run out.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "HWIntf.h"
#include "Handles.h"
#include "PowerClientBlock.h"
#include "QelVxAux.h"

namespace {

PowerClientSlot* g_slot = nullptr;

void __cdecl OnPower(QelHWNotifyRecord* record) {
  if (g_slot->holdInCallback) {
    // Keeps the service's call into our sink under way until this process is killed.
    g_slot->inCallback = 1;
    Sleep(120000);
  }
  if (record->Type != QELHW_NOTIFY_Power) return;
  g_slot->lastNotified = static_cast<LONG>(record->Value);
  InterlockedIncrement(&g_slot->notifications);
}

template <class F>
bool Bind(HMODULE library, const char* name, F* out) {
  *out = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *out != nullptr;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

LONG64 Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  PowerClientMapping block;
  int index = std::atoi(argv[2]);
  if (!block.Open(argv[1]) || index < 0 || index >= kPowerClientSlots) return 2;
  g_slot = &block->slots[index];
  g_slot->pid = static_cast<LONG>(GetCurrentProcessId());
  const DWORD limitMs = static_cast<DWORD>(std::atoi(argv[3])) * 1000;

  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.resize(folder.find_last_of('\\') + 1);
  UniqueLibrary library(LoadLibraryExA((folder + "QelVxAux.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  PFN_QelHWInitialize initialize;
  PFN_QelHWUnInitialize uninitialize;
  PFN_QelHWGetPower getPower;
  PFN_QelHWSetPower setPower;
  PFN_QelHWRegisterCallback registerCallback;
  if (!library || !Bind(library.get(), "QelHWInitialize", &initialize) ||
      !Bind(library.get(), "QelHWUnInitialize", &uninitialize) || !Bind(library.get(), "QelHWGetPower", &getPower) ||
      !Bind(library.get(), "QelHWSetPower", &setPower) ||
      !Bind(library.get(), "QelHWRegisterCallback", &registerCallback))
    return 3;

  registerCallback(OnPower);
  g_slot->initResult = initialize();
  uint32_t state = 0;
  if (FAILED(g_slot->initResult) || getPower(&state) != QELHW_OK) {
    uninitialize();
    g_slot->ended = 1;
    return 4;
  }
  g_slot->ready = 1;

  const LONG64 frequency = block->frequency;
  uint32_t random = static_cast<uint32_t>(GetCurrentProcessId()) * 2654435761u;
  const DWORD start = GetTickCount();
  while (!block->quit && GetTickCount() - start < limitMs) {
    Pump();
    if (!block->calling) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      continue;
    }
    random = random * 1103515245u + 12345u;
    LONG64 begin = Now();
    g_slot->callStart = begin;
    int32_t result = (random >> 16) & 1 ? getPower(&state)
                                        : setPower((random >> 17) & 1 ? QELHW_POWER_ON : QELHW_POWER_OFF);
    LONG64 ticks = Now() - begin;
    g_slot->callStart = 0;
    InterlockedIncrement(&g_slot->calls);
    if (result != QELHW_OK) InterlockedIncrement(&g_slot->failures);
    LONG us = frequency > 0 ? static_cast<LONG>(ticks * 1000000 / frequency) : 0;
    if (us > g_slot->longestUs) g_slot->longestUs = us;
  }
  // Whatever the service still sends before the end.
  Pump();
  uninitialize();
  g_slot->ended = 1;
  return 0;
}
