// Helpers of the plug-in's in-process tests: which simulated SDK (and client library) the
// plug-in finds by file name, and the SDK's script for this process.
#pragma once
#include <windows.h>

#include <string>

#include "ServerProcess.h"
#include "SimSdkControl.h"

namespace plugintest {

// The build's bin folder (the plug-in's tests run one folder below it, away from the real
// client library).
inline std::string RootBin() {
  std::string dir = qeltest::BinDir();
  if (GetFileAttributesA((dir + "sim").c_str()) == INVALID_FILE_ATTRIBUTES) dir += "..\\";
  return dir;
}

// The folder of a build variant of the simulated SDK ("full", "nochangepin", ...); "none"
// names a folder without one.
inline std::string SdkDir(const std::string& variant) { return RootBin() + "sim\\sdk\\" + variant; }
inline std::string ClientDir(const std::string& variant) { return RootBin() + "sim\\aux\\" + variant; }

inline bool ClientLoaded() { return GetModuleHandleA("qelvxaux.dll") != nullptr; }

// Puts one variant of the simulated SDK and of the simulated client library ("none" for
// neither) in the folder the plug-in's by-name loads search. Both must be unloaded.
inline bool UseScenario(const std::string& sdk, const std::string& client) {
  std::string run = qeltest::BinDir() + "run";
  CreateDirectoryA(run.c_str(), nullptr);
  std::string sdkFile = run + "\\Qel_Evdomx.dll", clientFile = run + "\\qelvxaux.dll";
  DeleteFileA(sdkFile.c_str());
  DeleteFileA(clientFile.c_str());
  if (sdk != "none" && !CopyFileA((SdkDir(sdk) + "\\Qel_Evdomx.dll").c_str(), sdkFile.c_str(), FALSE)) return false;
  if (client != "none" && !CopyFileA((ClientDir(client) + "\\qelvxaux.dll").c_str(), clientFile.c_str(), FALSE))
    return false;
  return SetDllDirectoryA(run.c_str()) != FALSE;
}

// Points the plug-in's by-name loads at one variant of the simulated SDK.
inline void UseSdk(const std::string& variant) { SetDllDirectoryA(SdkDir(variant).c_str()); }

inline bool SdkLoaded() { return GetModuleHandleA("Qel_Evdomx.dll") != nullptr; }

// The simulated SDK's delivering thread drops its reference on the library as it ends, just
// after a close: waits (bounded) until the library is gone.
inline bool WaitSdkUnloaded(DWORD timeoutMs = 5000) {
  DWORD start = GetTickCount();
  while (SdkLoaded()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(2);
  }
  return true;
}

}  // namespace plugintest
