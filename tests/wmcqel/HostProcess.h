// Runs the host program wmchost with a command line and collects its output.
#pragma once
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "Handles.h"
#include "ServerProcess.h"

namespace plugintest {

// A new simulated modem: no message is held for the user by the plug-in over an earlier one.
inline void ForgetHeldMessage() {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Veltra Vazudari\\wmcqel", L"HeldMessage");
}

// Runs hostDir\wmchost.exe with args; returns its output (stdout and stderr) and exit code.
inline std::string RunHost(const std::string& hostDir, const std::string& args, DWORD* exitCode) {
  // A file of its own each run: a helper that Wine starts for the host (the desktop process,
  // on its first window) inherits the host's output handle and may hold it past the host's end.
  static int runs = 0;
  std::string outPath = hostDir + "wmchost-out-" + std::to_string(++runs) + ".txt";
  SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
  UniqueFile out(CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
  std::string program = hostDir + "wmchost.exe";
  std::string line = "\"" + program + "\" " + args;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = out.get();
  PROCESS_INFORMATION pi = {};
  *exitCode = 0xFFFFFFFF;
  if (CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.get(), 90000) != WAIT_OBJECT_0) TerminateProcess(process.get(), 99);
    GetExitCodeProcess(process.get(), exitCode);
  }
  out.reset();
  std::ifstream in(outPath, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  in.close();
  DeleteFileA(outPath.c_str());  // fails while a helper still holds it; the next run has its own
  return s.str();
}

}  // namespace plugintest
