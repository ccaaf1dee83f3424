#include "VxWmCmd.h"

#include "CardDetect.h"
#include "CmdSdk.h"
#include "CmdSdkGsm.h"
#include "CmdXml.h"
#include "FunctionTrace.h"
#include "Handles.h"
#include "LibraryLoad.h"
#include "ModuleLog.h"
#include "QelVxAux.h"
#include "SafeString.h"
#include "devurezazeve.h"

wchar_t g_ModuleDir[520] = {};

namespace {

CVxWmCmd* g_command = nullptr;

#ifndef QELVXWM_GSM_ONLY
// No more devices than the maker's device list record holds: a count beyond it is a broken
// card-detect library, whose devices are read no further.
constexpr unsigned kMaxCardDevices = sizeof(QelDeviceList::ids) / sizeof(QelDeviceList::ids[0]);
#endif

#ifndef QELVXWM_GSM_ONLY
HMODULE ThisModule() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&g_ModuleDir), &self);
  return self;
}
#endif

}  // namespace

CVxWmCmd* CVxWmCmd::Instance() {
  if (!g_command) g_command = new CVxWmCmd();
  return g_command;
}

void CVxWmCmd::DeleteInstance() {
  delete g_command;
  g_command = nullptr;
}

CVxWmCmd::CVxWmCmd() { FUNCTION_TRACE("CVxWmCmd::CVxWmCmd"); }

CVxWmCmd::~CVxWmCmd() { FUNCTION_TRACE("CVxWmCmd::~CVxWmCmd"); }

int CVxWmCmd::CmdCopyInfo(wchar_t* buffer, unsigned* length) {
  FUNCTION_TRACE("CVxWmCmd::CmdCopyInfo");
#ifdef QELVXWM_GSM_ONLY
  CCmdXml::Instance();
#endif
  if (!length) return 2;  // no length to read or report: nothing is written
  if (Cache.empty()) {
    TBDPrint(TBCT_INFO, TBDLT_INFO, L"No data");
    return 17;
  }
  // A null buffer has no room, whatever the length says.
  unsigned room = buffer ? *length : 0;
  TBDPrint(TBDCT_ALL_MEMORY, TBDLT_INFO, L"%s", Cache.c_str());
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Resp Length: %i Avail Length: %i", static_cast<int>(Cache.size()),
           static_cast<int>(room));
  unsigned needed = static_cast<unsigned>(Cache.size()) + 1;
  if (room < needed) {
    *length = needed;
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Need bigger buffer: %i", static_cast<int>(needed));
    return 2;
  }
  wmemcpy(buffer, Cache.c_str(), needed);
  *length = needed;
  return 0;
}

#ifndef QELVXWM_GSM_ONLY

int CVxWmCmd::CmdGetInfo(const wchar_t* dir) {
  FUNCTION_TRACE("CVxWmCmd::CmdGetInfo");
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Clear cache");
  Cache.clear();
  DEV_SUMMARY summary;
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Initialize CCmdXml");
  CCmdXml* xml = CCmdXml::Instance();
  if (!xml->Initialize()) return 16;

  SDK_INFO_CM components;
  GetSdkInfoCm(&components, dir);
  xml->SetSdkInfoCm(components);

  bool powered = false;
  bool present = IsDevPresent(&powered, dir);
  summary.Present = present ? 1 : 0;
  summary.Powered = powered ? 1 : 0;
  if (present) {
    Sdk.reset();
    if (powered) {
      int tech = GetDevTech(dir);
      if (tech == 1) {
        Sdk.reset(new CCmdSdkGsm());
        SetRecordText(summary.TechType, L"HSDPA");
      } else if (tech == 2) {
        Sdk.reset(new CCmdSdkCdma());
        SetRecordText(summary.TechType, L"CDMA");
      } else {
        TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Can't determine technology type");
      }
    }
  }
  xml->SetDevSummary(summary);
  if (Sdk) {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Initialize QEL SDK");
    if (Sdk->Initialize(dir)) {
      TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Get modem information");
      Sdk->GetModemInfo();
      if (Sdk->SdkLibrary) {
        SDK_INFO info;
        SetRecordText(info.Version, GetModVer(Sdk->SdkLibrary).c_str());
        xml->SetSdkInfo(info);
      }
    }
  }
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Cache info");
  bool ok = xml->GetXmlDoc(Cache);
  Sdk.reset();
  CCmdXml::DeleteInstance();
  int result = ok ? 0 : 5;
  if (!ok) Cache.clear();
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Returning: %i", result);
  return result;
}

void CVxWmCmd::GetSdkInfoCm(SDK_INFO_CM* out, const wchar_t* dir) {
  FUNCTION_TRACE("CCmdSdk::GetSdkInfoCm");
  // Versions come from the files: no component's start-up runs for them.
  wchar_t path[MAX_PATH];
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelVxAux");
  if (FolderFileLoads(dir, L"QelVxAux.dll", path)) SetRecordText(out->AuxVersion, GetFileVer(path).c_str());
  // The module's own file, whatever it is called.
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelVXWM");
  SetRecordText(out->ModuleVersion, GetModVer(ThisModule()).c_str());
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelCardDetect");
  if (FolderFileLoads(dir, L"QelCardDetect.dll", path))
    SetRecordText(out->CardDetectVersion, GetFileVer(path).c_str());
}

bool CVxWmCmd::IsDevPresent(bool* powered, const wchar_t* dir) {
  FUNCTION_TRACE("CVxWmCmd::IsDevPresent");
  *powered = false;
  UniqueLibrary aux(LoadFromFolder(dir, L"QelVxAux.dll", true));
  if (!aux) TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Failed to load QelVxAux.dll");
  PFN_QelHWInitialize init = nullptr;
  PFN_QelHWUnInitialize uninit = nullptr;
  PFN_QelHWGetPower getPower = nullptr;
  if (!aux || !BindEntry(aux.get(), &init, "QelHWInitialize") | !BindEntry(aux.get(), &uninit, "QelHWUnInitialize") |
                  !BindEntry(aux.get(), &getPower, "QelHWGetPower")) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"QelVxAux GetProcAddress failed");
    return false;
  }
  HRESULT hr = init();
  if (FAILED(hr)) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"QelVxAux init failed: 0x%08x", static_cast<unsigned>(hr));
    uninit();  // a failed start has joined the caller's apartment all the same
    return false;
  }
  uint32_t state = 0;
  int32_t r = getPower(&state);
  bool present = false;
  if (r & 0xFFFF) {
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to get power state");
  } else {
    TBDPrint(TBCT_INFO, TBDLT_INFO, L"Power state: %i", static_cast<int>(state));
    switch (state) {
      case 1:
        TBDPrint(TBCT_INFO, TBDLT_INFO, L"Device powered on");
        *powered = present = true;
        break;
      case 2:
      case 3:
        TBDPrint(TBCT_INFO, TBDLT_INFO, L"Device powered off or disabled");
        present = true;
        break;
      case 4:
        TBDPrint(TBCT_INFO, TBDLT_INFO, L"Device not installed");
        break;
      default:
        TBDPrint(TBCT_INFO, TBDLT_INFO, L"Unknown");
        break;
    }
  }
  uninit();
  return present;
}

int CVxWmCmd::GetDevTech(const wchar_t* dir) {
  FUNCTION_TRACE("CVxWmCmd::GetDevTech");
  UniqueLibrary card(LoadFromFolder(dir, L"QelCardDetect.dll", true));
  if (!card) TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Failed to load QelCardDetect.dll: %i", static_cast<int>(GetLastError()));
  PFN_ICreateCardDetectClient create = nullptr;
  PFN_IDetectQELDevicesCount count = nullptr;
  PFN_IGetQelDeviceID deviceId = nullptr;
  PFN_IDeleteCardDetectClient destroy = nullptr;
  if (!card || !BindEntry(card.get(), &create, "ICreateCardDetectClient") |
                   !BindEntry(card.get(), &count, "IDetectQELDevicesCount") |
                   !BindEntry(card.get(), &deviceId, "IGetQelDeviceID") |
                   !BindEntry(card.get(), &destroy, "IDeleteCardDetectClient")) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"QelCardDetect GetProcAddress failed");
    return 0;
  }
  CardDetectClient client = create(kCardDetectRegistryPath);
  if (!client) {
    // Nothing is asked of a client that does not exist.
    TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Failed to create CardDetect object");
    return 0;
  }
  int tech = 0;
  unsigned devices = count(client);
  if (devices > kMaxCardDevices) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Implausible device count: %u, reading %u", devices, kMaxCardDevices);
    devices = kMaxCardDevices;
  }
  if (devices == 0) {
    TBDPrint(TBCT_INFO, TBDLT_INFO, L"No Veltra Vazudari Devices");
  } else {
    wchar_t buffer[200] = {};
    unsigned size = 400;
    TBDPrint(TBCT_INFO, TBDLT_INFO, L"%i device(s) found", static_cast<int>(devices));
    for (unsigned i = 0; i < devices; ++i) {
      int code = GetDevTypeCode(deviceId(client, i, buffer, &size));
      tech = code == 80 || code == 81 ? 2 : 1;
    }
  }
  destroy(client);
  return tech;
}

int CVxWmCmd::GetDevTypeCode(unsigned id) {
  static const struct {
    unsigned id;
    int code;
  } kCodes[] = {{450, 20},   {465, 21},   {470, 22},   {525, 23},   {530, 24},
                {540, 25},   {1310, 40},  {1420, 60},  {1430, 61},  {2240, 80},
                {2250, 81},  {4410, 100}, {4420, 101}, {4430, 102}, {80216, 195}};
  for (const auto& c : kCodes)
    if (c.id == id) return c.code;
  TBDPrint(TBCT_INFO, TBDLT_ERROR, L"Unknown device type: %i", static_cast<int>(id));
  return 0;
}

std::wstring CVxWmCmd::GetModVer(HMODULE module) {
  wchar_t file[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(module, file, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) file[0] = 0;
  return GetFileVer(file);
}

std::wstring CVxWmCmd::GetFileVer(const wchar_t* file) {
  FUNCTION_TRACE("GetModVer");
  std::wstring text = ReadFileVersion(file, L"Failed to load Version.dll", L"Failed to get version function pointers");
  if (!text.empty()) TBDPrint(TBCT_INFO, TBDLT_INFO, L"Version: %s", text.c_str());
  return text;
}

#else  // the older GSM-only build

int CVxWmCmd::CmdGetInfo(const wchar_t* dir) {
  FUNCTION_TRACE("CVxWmCmd::CmdGetInfo");
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Clear cache");
  Cache.clear();
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Initialize CCmdXml");
  CCmdXml* xml = CCmdXml::Instance();
  if (!xml->Initialize()) return 16;
  int result = 5;
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Initialize CCmdSdkGsm");
  CCmdSdkGsm* gsm = CCmdSdkGsm::Instance();
  if (!gsm->Initialize(dir)) {
    result = 16;
  } else {
    TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Get modem information");
    if (gsm->GetModemInfo()) {
      TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Cache info");
      result = xml->GetXmlDoc(Cache) ? 0 : 5;
      if (result) Cache.clear();
    }
  }
  CCmdXml::DeleteInstance();
  CCmdSdkGsm::DeleteInstance();
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Returning: %i", result);
  return result;
}

#endif
