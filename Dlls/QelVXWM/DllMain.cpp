// Entry point: opens the log and finds the module's folder. Nothing here loads a library
// or calls COM (the loader lock is held).
#include <windows.h>

#include "LibraryLoad.h"
#include "ModuleLog.h"
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
      // Read whole, however long the folder: a cut name has no folder to give.
      std::wstring path = ModuleFileName(instance);
      size_t slash = path.rfind(L'\\');
      if (slash != std::wstring::npos) g_ModuleDir = path.substr(0, slash);
      TBDPrint(TBCT_INFO, TBDLT_INFO, L"Path: %s", g_ModuleDir.c_str());
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
