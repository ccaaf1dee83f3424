// A library with its own log that closes it on DLL_PROCESS_DETACH, as the deliverables do.
// StartPrinting leaves a thread inside a print, holding the log's locks, when it returns.
#include <windows.h>

#include "LogTestSeams.h"
#include "devurezazeve.h"

namespace {

HANDLE g_inside = nullptr;

void StayInside() {
  SetEvent(g_inside);
  Sleep(INFINITE);
}

DWORD WINAPI Printer(void*) {
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "held inside the print");
  return 0;
}

}  // namespace

extern "C" BOOL StartPrinting(const char* logPath) {
  if (!TBDInit(logPath, "ExitProbe", 0, true)) return FALSE;
  TBDPrint(TBDCT_LAST, TBDLT_INFO, "before the exit");
  g_inside = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  TBDTestSetLockedHook(&StayInside);
  HANDLE thread = CreateThread(nullptr, 0, Printer, nullptr, 0, nullptr);
  if (!thread) return FALSE;
  CloseHandle(thread);
  return WaitForSingleObject(g_inside, 10000) == WAIT_OBJECT_0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) TBDShutdown();
  return TRUE;
}
