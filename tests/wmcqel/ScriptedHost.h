// A host program in a folder of its own (wmchost, the plug-in, the simulated SDK and client
// library) and the script blocks of the simulated SDK and client library it follows, named
// through the environment the host inherits.
#pragma once
#include <windows.h>

#include <string>
#include <utility>

#include "HostProcess.h"
#include "PluginTestSupport.h"
#include "SimClientControl.h"

namespace plugintest {

class ScriptedHost {
 public:
  explicit ScriptedHost(const std::string& name)
      : dir_(qeltest::BinDir() + name + "\\"),
        sdkBlock_("Local\\QelSimModemSdk-" + name),
        clientBlock_("Local\\QelSimClient-" + name),
        sdk(sdkBlock_),
        client(clientBlock_) {
    CreateDirectoryA(dir_.c_str(), nullptr);
    // The simulated client library beside the host, so the real one is not found by name.
    for (auto f : {std::pair<std::string, std::string>{RootBin() + "wmchost.exe", "wmchost.exe"},
                   {RootBin() + "wmcqel.dll", "wmcqel.dll"},
                   {SdkDir("full") + "\\Qel_Evdomx.dll", "Qel_Evdomx.dll"},
                   {ClientDir("full") + "\\qelvxaux.dll", "qelvxaux.dll"}})
      if (!CopyFileA(f.first.c_str(), (dir_ + f.second).c_str(), FALSE)) failed_ = f.first;
    if (sdk.ok() && client.ok()) {
      sdk.Reset();
      client.Reset();
    }
    ForgetHeldMessage();
  }

  // Empty when the folder is complete and both blocks are mapped, else what is missing.
  std::string Missing() const {
    if (!failed_.empty()) return "not copied: " + failed_;
    return sdk.ok() && client.ok() ? std::string() : "script blocks not mapped";
  }

  // Runs the host with args; returns its output and exit code.
  std::string Run(const std::string& args, DWORD* exitCode) {
    SetEnvironmentVariableA("QEL_SIMSDK_BLOCK", sdkBlock_.c_str());
    SetEnvironmentVariableA("QEL_SIMCLIENT_BLOCK", clientBlock_.c_str());
    std::string out = RunHost(dir_, args, exitCode);
    SetEnvironmentVariableA("QEL_SIMSDK_BLOCK", nullptr);
    SetEnvironmentVariableA("QEL_SIMCLIENT_BLOCK", nullptr);
    return out;
  }

 private:
  std::string dir_, sdkBlock_, clientBlock_, failed_;

 public:
  SimSdkControl sdk;
  SimClientControl client;
};

}  // namespace plugintest
