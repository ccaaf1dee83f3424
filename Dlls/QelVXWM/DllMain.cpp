// Entry point: opens the log and finds the module's folder. Nothing here loads a library
// or calls COM (the loader lock is held).
#include <windows.h>

#include "ModuleLog.h"
#include "SafeString.h"
#include "VxWmCmd.h"
#include "devurezazeve.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: {
      DisableThreadLibraryCalls(instance);
#ifndef QELVXWM_GSM_ONLY
      TBDSetup(L"QelVXWM.log", L"QelVXWM", true, nullptr);
#else
      TBDSetup(L"QelVXWM.log", L"QelVXWM", true);
#endif
      wchar_t path[520] = {};
      DWORD n = GetModuleFileNameW(instance, path, 520);
      wchar_t* slash = n > 0 && n < 520 ? wcsrchr(path, L'\\') : nullptr;
      if (slash) {
        *slash = 0;
        SafeWcsCopy(g_ModuleDir, path, 520);
      }
      TBDPrint(TBCT_INFO, TBDLT_INFO, L"Path: %s", g_ModuleDir);
      break;
    }
    case DLL_PROCESS_DETACH:
      CVxWmCmd::DeleteInstance();
      TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelVXWM.DLL Terminating!");
      TBDShutdown();
      break;
    default:
      break;
  }
  return TRUE;
}
