// Helpers of the tests that start programs under Wine: the test's folder, a program run to
// its end, waiting for the radio power service, and a module's log file.
#pragma once
#include <windows.h>
#include <tlhelp32.h>

#include <fstream>
#include <sstream>
#include <string>

#include "ComPtr.h"
#include "Handles.h"
#include "devurezazeve.h"

namespace qeltest {

// The test program's folder, with a trailing backslash.
inline std::string BinDir() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of('\\') + 1);
}

// Runs program with args and returns its exit code (0x8000xxxx when it could not start,
// WAIT_TIMEOUT when it did not end).
inline DWORD RunProgram(const std::string& program, const std::string& args, DWORD timeoutMs = 60000) {
  std::string line = "\"" + program + "\"" + (args.empty() ? "" : " " + args);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return GetLastError() | 0x80000000u;
  UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), WAIT_TIMEOUT);
    return WAIT_TIMEOUT;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.get(), &code);
  return code;
}

// Waits until no QelVxWmi.exe runs, pumping messages; ends stragglers after the time-out.
inline bool WaitServersGone(DWORD timeoutMs = 30000) {
  DWORD start = GetTickCount();
  for (;;) {
    bool running = false;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32First(snapshot.get(), &entry); ok; ok = Process32Next(snapshot.get(), &entry)) {
      if (lstrcmpiA(entry.szExeFile, "QelVxWmi.exe") != 0) continue;
      running = true;
      if (GetTickCount() - start > timeoutMs) {
        UniqueKernelHandle p(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (p) TerminateProcess(p.get(), 1);
      }
    }
    if (!running) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(50);
  }
}

// Opens the service's ready event once it exists and is set; empty after 20 s.
inline UniqueKernelHandle WaitReady(const char* name, DWORD access = SYNCHRONIZE) {
  UniqueKernelHandle ready;
  DWORD start = GetTickCount();
  while (!ready && GetTickCount() - start < 20000) {
    ready.reset(OpenEventA(access, FALSE, name));
    if (!ready) Sleep(50);
  }
  if (ready && WaitForSingleObject(ready.get(), 20000) != WAIT_OBJECT_0) ready.reset();
  return ready;
}

// Pumps this thread's messages until done() or the time runs out.
template <class Done>
bool PumpUntil(Done done, DWORD timeoutMs = 10000) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return true;
}

// The service's own registration serves 32-bit clients: the class, its AppID and the type
// library's interfaces in the 32-bit registry view, and the library under "win32". Kept for
// callers that check it before running a 32-bit client; it writes nothing.
inline bool RegisterFor32BitClients(const wchar_t* tlbPath = nullptr) {
  (void)tlbPath;
  for (const char* key : {"CLSID\\{A32A0241-FF5B-48F5-9E63-4B5622237135}\\LocalServer32",
                          "AppID\\{E6250BA8-C0CF-47A4-825E-EEB593E27369}",
                          "TypeLib\\{AD4B0CD8-A4E0-414D-BE81-FEFFF115B875}\\1.0\\0\\win32"}) {
    UniqueRegKey h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ | KEY_WOW64_32KEY, h.put()) != ERROR_SUCCESS) return false;
  }
  return true;
}

// The contents of a log file in the log folder (open files are read too).
inline std::string ReadLog(const char* fileName) {
  char dir[MAX_PATH] = {};
  if (!TBDGetLogDirectory(dir)) return "";
  std::ifstream in(std::string(dir) + fileName, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace qeltest
