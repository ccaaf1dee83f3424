// Helpers of the plug-in's in-process tests: which simulated SDK (and client library) the
// plug-in finds by file name, and the SDK's script for this process.
#pragma once
#include <windows.h>

#include <string>

#include "ServerProcess.h"
#include "SimSdkControl.h"

namespace plugintest {

// The folder of a build variant of the simulated SDK ("full", "nochangepin", ...); "none"
// names a folder without one.
inline std::string SdkDir(const std::string& variant) { return qeltest::BinDir() + "sim\\sdk\\" + variant; }

// Points the plug-in's by-name loads at one variant of the simulated SDK.
inline void UseSdk(const std::string& variant) { SetDllDirectoryA(SdkDir(variant).c_str()); }

inline bool SdkLoaded() { return GetModuleHandleA("Qel_Evdomx.dll") != nullptr; }

}  // namespace plugintest
