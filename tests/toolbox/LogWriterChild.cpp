// Child process of the shared-file test: log_writer <path> <tag> <count>
#include <cstdlib>

#include "devurezazeve.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  if (!TBDInit(argv[1], "Writer", 0, false)) return 3;
  int count = std::atoi(argv[3]);
  for (int i = 0; i < count; ++i)
    TBDPrint(TBDCT_LAST, TBDLT_INFO, "%s-%04d the quick brown fox jumps over the lazy dog", argv[2], i);
  TBDShutdown();
  return 0;
}
