// Compiled into every library of the build (cmake/QelDllRuntime.cmake), whose entry point
// it becomes. Each library carries its own static copy of the C++ runtime, whose emergency
// exception buffer (about 72 KB on x64) is allocated when the library loads and is
// otherwise never freed: every load and free of the library would leave one behind.
#include <windows.h>

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE instance, DWORD reason, void* reserved);  // the C runtime's entry

namespace __gnu_cxx {
void __freeres() throw();  // the runtime's own release of that buffer
}

extern "C" BOOL WINAPI QelDllEntry(HANDLE instance, DWORD reason, void* reserved) {
  BOOL result = DllMainCRTStartup(instance, reason, reserved);
  // Only when the library is freed (reserved null): at process exit nothing is gained, and
  // the heap may still be locked by a thread the exit ended. Released after the runtime's
  // own detach (DllMain, static destructors), as the library's very last code: the release
  // leaves the buffer's free list pointing into the freed block, so nothing of the library
  // may throw after it. Under the loader lock this only hands one block back to the heap.
  if (reason == DLL_PROCESS_DETACH && !reserved) __gnu_cxx::__freeres();
  return result;
}
