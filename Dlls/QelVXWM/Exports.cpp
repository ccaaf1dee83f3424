// The two exports: one device query, and the copy of its document text. Both may be
// called from any number of threads at once (see CVxWmCmd).
#include "FunctionTrace.h"
#include "ModuleLog.h"
#include "QelVXWM.h"
#include "VxWmCmd.h"
#include "devurezazeve.h"

extern "C" int __cdecl QelVXWMHQueryDeviceInfo(void) {
  TBDWriteSetupVersionLine();
  FUNCTION_TRACE("QelVXWMHQueryDeviceInfo");
  return CVxWmCmd::Instance()->CmdGetInfo(g_ModuleDir.c_str());
}

extern "C" int __cdecl QelVXWMHCopyDeviceInfo(wchar_t* buffer, unsigned* length) {
  TBDWriteSetupVersionLine();
  FUNCTION_TRACE("QelVXWMHCopyDeviceInfo");
  int result = CVxWmCmd::Instance()->CmdCopyInfo(buffer, length);
  // The buffer holds text only when the copy wrote it.
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"rCode: %i - Len: %i - %s", result, length ? static_cast<int>(*length) : 0,
           result == 0 ? buffer : L"");
  return result;
}
