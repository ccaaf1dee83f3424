// Child of the exit test: log_exit_child <probe library> <log path>. Ends the process while
// a thread of the library is inside a print.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HMODULE library = LoadLibraryA(argv[1]);
  if (!library) return 3;
  using Start = BOOL (*)(const char*);
  auto start = reinterpret_cast<Start>(reinterpret_cast<void*>(GetProcAddress(library, "StartPrinting")));
  if (!start || !start(argv[2])) return 4;
  ExitProcess(0);  // kills the printing thread, then runs the library's DLL_PROCESS_DETACH
}
