// exitwith: a stand-in upgrade program that ends with a chosen exit code.
//   exitwith [CODE [MS]]
// Without arguments (as the plug-in's upgrade launch starts it) the code and the pause come
// from the environment variables QEL_EXITWITH_CODE and QEL_EXITWITH_MS (both 0 when unset).
#include <windows.h>

#include <cstdlib>

namespace {

unsigned long Value(int argc, char** argv, int index, const char* variable) {
  if (index < argc) return std::strtoul(argv[index], nullptr, 0);
  char text[32];
  DWORD n = GetEnvironmentVariableA(variable, text, sizeof text);
  return n > 0 && n < sizeof text ? std::strtoul(text, nullptr, 0) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long code = Value(argc, argv, 1, "QEL_EXITWITH_CODE");
  unsigned long ms = Value(argc, argv, 2, "QEL_EXITWITH_MS");
  if (ms) Sleep(ms);
  return static_cast<int>(code);
}
