// Child of the truncation test.
//   log_race_child hold <path> <sought event> <go event>: appends to the log; its second
//     line stops after the seek to the end until the go event.
//   log_race_child open <path> <opening event>: opens the same log with truncation.
#include <windows.h>

#include <cstring>

#include "LogTestSeams.h"
#include "devurezazeve.h"

namespace {
HANDLE g_sought = nullptr, g_go = nullptr;

void HoldOnce() {
  static bool held = false;
  if (held) return;
  held = true;
  SetEvent(g_sought);
  WaitForSingleObject(g_go, 60000);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && !std::strcmp(argv[1], "hold")) {
    g_sought = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    g_go = OpenEventA(SYNCHRONIZE, FALSE, argv[4]);
    if (!g_sought || !g_go || !TBDInit(argv[2], "Holder", 0, false)) return 3;
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "before the other open");
    TBDTestSetLockedHook(HoldOnce);
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "held across the other open");
    TBDShutdown();
    return 0;
  }
  if (argc == 4 && !std::strcmp(argv[1], "open")) {
    HANDLE opening = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (!opening) return 3;
    SetEvent(opening);
    if (!TBDInit(argv[2], "Opener", 0, true)) return 4;
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "after the open");
    TBDShutdown();
    return 0;
  }
  return 2;
}
