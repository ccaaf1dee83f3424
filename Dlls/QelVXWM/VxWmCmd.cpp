#include "VxWmCmd.h"

#include "CardDetect.h"
#include "CmdSdk.h"
#include "CmdSdkGsm.h"
#include "CmdXml.h"
#include "CriticalSection.h"
#include "FunctionTrace.h"
#include "Handles.h"
#include "LibraryLoad.h"
#include "ModuleLog.h"
#include "QelVxAux.h"
#include "SafeString.h"
#include "devurezazeve.h"

std::wstring g_ModuleDir;

namespace {

// The command object's pointer and its cached text: held only to read or swap them, so a
// copy never waits for a query.
SRWLOCK g_commandLock = SRWLOCK_INIT;
CVxWmCmd* g_command = nullptr;

// One query at a time: the XML layer, the SDK object and the SDK's notification target are
// process-wide. A critical section, not an SRW lock: a query asked again on its own thread
// (a host's message dispatched while the query's COM calls wait) finds the section its own
// and is refused below, where an SRW lock would wait for itself for good.
CriticalSection g_queryLock;
bool g_queryRunning = false;  // under g_queryLock

// The turn of one query; a caller that gets 16 at once takes none.
class QueryTurn {
 public:
  explicit QueryTurn(bool take) : taken_(take) {
    if (!taken_) return;
    g_queryLock.Lock();
    nested_ = g_queryRunning;
    g_queryRunning = true;
  }
  ~QueryTurn() {
    if (!taken_) return;
    if (!nested_) g_queryRunning = false;
    g_queryLock.Unlock();
  }
  bool nested() const { return nested_; }
  QueryTurn(const QueryTurn&) = delete;
  QueryTurn& operator=(const QueryTurn&) = delete;

 private:
  bool taken_;
  bool nested_ = false;
};

// A thread already in the multithreaded apartment cannot join the document's apartment:
// found before the turn, so such a caller does not wait behind a query for its 16.
bool CallerInMultithreadedApartment() {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (hr == RPC_E_CHANGED_MODE) return true;
  if (SUCCEEDED(hr)) CoUninitialize();
  return false;
}

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
  SrwLockGuard hold(g_commandLock);
  if (!g_command) g_command = new CVxWmCmd();
  return g_command;
}

void CVxWmCmd::DeleteInstance() {
  CVxWmCmd* command = nullptr;
  {
    SrwLockGuard hold(g_commandLock);
    command = g_command;
    g_command = nullptr;
  }
  delete command;
}

void CVxWmCmd::SetCache(std::wstring text) {
  SrwLockGuard hold(g_commandLock);
  Cache.swap(text);
}

int CVxWmCmd::CmdGetInfo(const wchar_t* dir) {
  FUNCTION_TRACE("CVxWmCmd::CmdGetInfo");
  bool multithreaded = CallerInMultithreadedApartment();
  QueryTurn turn(!multithreaded);
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Clear cache");
  SetCache(L"");
  TBDPrint(TBCT_INFO, TBDLT_TRACE, L"Initialize CCmdXml");
  if (multithreaded) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"Builder failed to open");
    return 16;
  }
  if (turn.nested()) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, L"A query is already running on this thread");
    return 16;
  }
  std::wstring text;
  int result = RunQuery(dir, text);
  if (result == 0) SetCache(std::move(text));
  return result;
}

CVxWmCmd::CVxWmCmd() { FUNCTION_TRACE("CVxWmCmd::CVxWmCmd"); }

CVxWmCmd::~CVxWmCmd() { FUNCTION_TRACE("CVxWmCmd::~CVxWmCmd"); }

int CVxWmCmd::CmdCopyInfo(wchar_t* buffer, unsigned* length) {
  FUNCTION_TRACE("CVxWmCmd::CmdCopyInfo");
#ifdef QELVXWM_GSM_ONLY
  CCmdXml::Instance();
#endif
  if (!length) return 2;  // no length to read or report: nothing is written
  SrwLockGuard hold(g_commandLock, SrwLockGuard::kShared);
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

int CVxWmCmd::RunQuery(const wchar_t* dir, std::wstring& text) {
  // A folder whose libraries' paths cannot be formed is a failure, not a missing modem.
  std::wstring longest;
  if (JoinFolderPath(dir, kLongestLibraryName, longest) == kPathTooLong) return 5;
  DEV_SUMMARY summary;
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
  bool ok = xml->GetXmlDoc(text);
  Sdk.reset();
  CCmdXml::DeleteInstance();
  int result = ok ? 0 : 5;
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Returning: %i", result);
  return result;
}

void CVxWmCmd::GetSdkInfoCm(SDK_INFO_CM* out, const wchar_t* dir) {
  FUNCTION_TRACE("CCmdSdk::GetSdkInfoCm");
  // Versions come from the files: no component's start-up runs for them.
  std::wstring path;
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelVxAux");
  if (FolderFileLoads(dir, L"QelVxAux.dll", path)) SetRecordText(out->AuxVersion, GetFileVer(path.c_str()).c_str());
  // The module's own file, whatever it is called.
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelVXWM");
  SetRecordText(out->ModuleVersion, GetModVer(ThisModule()).c_str());
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"QelCardDetect");
  if (FolderFileLoads(dir, L"QelCardDetect.dll", path))
    SetRecordText(out->CardDetectVersion, GetFileVer(path.c_str()).c_str());
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
    TBDPrint(TBCT_INFO, TBDLT_INFO, L"%i device(s) found", static_cast<int>(devices));
    for (unsigned i = 0; i < devices; ++i) {
      // The size is in and out: each call is offered the whole buffer again.
      unsigned size = sizeof(buffer);
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

std::wstring CVxWmCmd::GetModVer(HMODULE module) { return GetFileVer(ModuleFileName(module).c_str()); }

std::wstring CVxWmCmd::GetFileVer(const wchar_t* file) {
  FUNCTION_TRACE("GetModVer");
  std::wstring text = ReadFileVersion(file, L"Failed to load Version.dll", L"Failed to get version function pointers");
  if (!text.empty()) TBDPrint(TBCT_INFO, TBDLT_INFO, L"Version: %s", text.c_str());
  return text;
}

#else  // the older GSM-only build

int CVxWmCmd::RunQuery(const wchar_t* dir, std::wstring& text) {
  std::wstring longest;
  if (JoinFolderPath(dir, kLongestLibraryName, longest) == kPathTooLong) return 5;
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
      result = xml->GetXmlDoc(text) ? 0 : 5;
    }
  }
  CCmdXml::DeleteInstance();
  CCmdSdkGsm::DeleteInstance();
  TBDPrint(TBCT_INFO, TBDLT_INFO, L"Returning: %i", result);
  return result;
}

#endif
