#include <windows.h>

#include "PowerClient.h"
#include "devurezazeve.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH: {
      char path[MAX_PATH + 1] = {};
      DWORD length = GetModuleFileNameA(instance, path, sizeof path);
      if (length == 0 || length >= sizeof path) return FALSE;
      OpenClientLog();
      DisableThreadLibraryCalls(instance);
      return TRUE;
    }
    case DLL_PROCESS_DETACH:
      TBDShutdown();
      return TRUE;
    default:
      return TRUE;
  }
}
