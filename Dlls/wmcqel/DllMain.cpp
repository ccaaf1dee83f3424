// The library's load and unload duties (no COM, no library load here).
#include <windows.h>

#include "Plugin.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    PluginLoad();
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    PluginUnload();  // a FreeLibrary; at process end the other threads are gone already
  }
  return TRUE;
}
