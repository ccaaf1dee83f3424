// The process-wide command object behind the two exports: one device query step by step,
// and the copy of its cached document text.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "DeviceRecords.h"

class CCmdSdk;

// The folder of the module's file, without the trailing backslash; empty when unknown.
extern std::wstring g_ModuleDir;

class CVxWmCmd {
 public:
  static CVxWmCmd* Instance();
  static void DeleteInstance();

  int CmdGetInfo(const wchar_t* dir);
  int CmdCopyInfo(wchar_t* buffer, unsigned* length);

#ifndef QELVXWM_GSM_ONLY
  void GetSdkInfoCm(SDK_INFO_CM* out, const wchar_t* dir);
  bool IsDevPresent(bool* powered, const wchar_t* dir);
  int GetDevTech(const wchar_t* dir);
  static int GetDevTypeCode(unsigned id);
  static std::wstring GetModVer(HMODULE module);
  static std::wstring GetFileVer(const wchar_t* file);  // the same, for a file not loaded
#endif

  CVxWmCmd(const CVxWmCmd&) = delete;
  CVxWmCmd& operator=(const CVxWmCmd&) = delete;

 private:
  CVxWmCmd();
  ~CVxWmCmd();

  // The query's steps after its turn was given: 0, 5 or 16, and the document's text.
  int RunQuery(const wchar_t* dir, std::wstring& text);
  void SetCache(std::wstring text);

  std::wstring Cache;  // read and written under the command object's lock only
#ifndef QELVXWM_GSM_ONLY
  std::unique_ptr<CCmdSdk> Sdk;
#endif
};
