// Probe run in its own process, so that a crash or a hang shows as this process's end:
//   qelvxwm_probe threads <module path> <ms>   two query threads and a copy thread for <ms>;
//                                              prints "queries <n> copies <n> failed <n>"
//   qelvxwm_probe late <module path> <ms>      one query, the module freed, <ms> more alive;
//                                              prints "query <result> alive"
//   qelvxwm_probe heap <cycles> <dll>...       loads and frees each library <cycles> times;
//                                              prints "<dll> <busy heap bytes a cycle>"
//   qelvxwm_probe exit <dll>...                loads the libraries and exits while another
//                                              thread allocates; prints "exiting"
// Exit code 0, 1 for bad use (a crash gives the exception code).
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BusyHeap.h"
#include "QelVXWM.h"

namespace {

using qeltest::BusyHeapBytes;

struct Exports {
  HMODULE module = nullptr;
  PFN_QelVXWMHQueryDeviceInfo query = nullptr;
  PFN_QelVXWMHCopyDeviceInfo copy = nullptr;
  bool Load(const char* path) {
    module = LoadLibraryA(path);
    if (!module) return false;
    query = reinterpret_cast<PFN_QelVXWMHQueryDeviceInfo>(
        reinterpret_cast<void*>(GetProcAddress(module, "QelVXWMHQueryDeviceInfo")));
    copy = reinterpret_cast<PFN_QelVXWMHCopyDeviceInfo>(
        reinterpret_cast<void*>(GetProcAddress(module, "QelVXWMHCopyDeviceInfo")));
    return query && copy;
  }
};

// A copied document is whole: it begins with the declaration and ends with the root's end.
bool Whole(const std::wstring& text) {
  return text.find(L"<?xml") == 0 && text.find(L"</VXRWM>") != std::wstring::npos;
}

int Threads(const char* path, DWORD ms) {
  Exports e;
  if (!e.Load(path)) return 1;
  std::atomic<bool> stop{false};
  std::atomic<unsigned> queries{0}, copies{0}, failed{0};
  auto querying = [&] {
    while (!stop) {
      if (e.query() != 0) ++failed;
      ++queries;
    }
  };
  std::thread a(querying), b(querying);
  std::thread c([&] {
    while (!stop) {
      unsigned length = 0;
      int r = e.copy(nullptr, &length);
      if (r == 2) {
        std::wstring text(length, L'\0');
        r = e.copy(&text[0], &length);
        // Another query may have cached a longer text meanwhile: 2 again is an answer.
        if (r == 0 && !Whole(text.substr(0, length - 1))) ++failed;
        if (r != 0 && r != 2 && r != 17) ++failed;
      } else if (r != 17) {
        ++failed;
      }
      ++copies;
    }
  });
  Sleep(ms);
  stop = true;
  a.join();
  b.join();
  c.join();
  std::printf("queries %u copies %u failed %u\n", queries.load(), copies.load(), failed.load());
  std::fflush(stdout);
  FreeLibrary(e.module);
  return 0;
}

int Late(const char* path, DWORD ms) {
  Exports e;
  if (!e.Load(path)) return 1;
  int result = e.query();
  FreeLibrary(e.module);
  Sleep(ms);
  std::printf("query %d alive\n", result);
  std::fflush(stdout);
  return 0;
}

int Heap(int cycles, int count, char** dlls) {
  for (int i = 0; i < count; ++i) {
    // The first load and free settles what the system keeps for good (its name, its folder).
    HMODULE first = LoadLibraryA(dlls[i]);
    if (!first) return 1;
    FreeLibrary(first);
    size_t before = BusyHeapBytes();
    for (int n = 0; n < cycles; ++n) FreeLibrary(LoadLibraryA(dlls[i]));
    size_t after = BusyHeapBytes();
    double perCycle = after > before ? static_cast<double>(after - before) / cycles : 0.0;
    std::printf("%s %.0f\n", dlls[i], perCycle);
  }
  std::fflush(stdout);
  return 0;
}

int Exit(int count, char** dlls) {
  for (int i = 0; i < count; ++i)
    if (!LoadLibraryA(dlls[i])) return 1;
  // Allocates and frees large blocks until the exit ends it, so the exit may meet the heap
  // locked by this thread.
  for (int t = 0; t < 4; ++t)
    std::thread([t] {
      for (size_t n = 0;; ++n) {
        void* block = std::malloc(((n % 64) + 1) * (t + 1) * 1024);
        std::free(block);
      }
    }).detach();
  Sleep(20);
  std::printf("exiting\n");
  std::fflush(stdout);
  ExitProcess(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 1;
  std::string mode = argv[1];
  if (mode == "threads" && argc == 4) return Threads(argv[2], static_cast<DWORD>(std::atoi(argv[3])));
  if (mode == "late" && argc == 4) return Late(argv[2], static_cast<DWORD>(std::atoi(argv[3])));
  if (mode == "heap" && argc >= 4) return Heap(std::atoi(argv[2]), argc - 3, argv + 3);
  if (mode == "exit") return Exit(argc - 2, argv + 2);
  return 1;
}
