// Prints a marker that the test script looks for: proof that programs of this
// architecture really run under Wine.
#include <cstdio>

int main() {
  std::printf("QEL-PROBE-OK %d-bit\n", static_cast<int>(sizeof(void*) * 8));
  return 0;
}
