#include "FunctionTrace.h"

#include "SafeString.h"
#include "devurezazeve.h"

FunctionTrace::FunctionTrace(const TCHAR* name, LONG* totalTime, LONG* totalCalls)
    : totalTime_(totalTime), totalCalls_(totalCalls) {
  SafeStrCopy(name_, name, MAX_PATH);
  TBDPrint(TBDCT_ALL_FUNCTIONS, TBDLT_FUNCTION, _T("+ %s"), name_);
  startTick_ = GetTickCount();  // after the entry line, which the duration leaves out
}

FunctionTrace::~FunctionTrace() {
  DWORD elapsed = GetTickCount() - startTick_;
  LONG calls = InterlockedIncrement(totalCalls_);
  LONG time = InterlockedExchangeAdd(totalTime_, static_cast<LONG>(elapsed)) + static_cast<LONG>(elapsed);
  TBDPrint(TBDCT_ALL_FUNCTIONS, TBDLT_FUNCTION, _T("- %s (Duration = %dms - Total time = %dms - Total calls = %d)"),
           name_, static_cast<int>(elapsed), static_cast<int>(time), static_cast<int>(calls));
}
