#include "ServiceModule.h"

#include <sddl.h>

#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "CnxMgr.h"
#include "ComModule.h"
#include "ComPtr.h"
#include "FirmwareBinding.h"
#include "FunctionTrace.h"
#include "Handles.h"
#include "PCHWIntf.h"
#include "QelVxWmiIds.h"
#include "Registration.h"
#include "SafeString.h"
#include "VXWMI.h"
#include "devurezazeve.h"
#include "resource.h"

CServiceModule _Module;
CHWIntf* g_pHWIntf = nullptr;

LONG ComModuleLock() { return _Module.Lock(); }
LONG ComModuleUnlock() { return _Module.Unlock(); }
LONG ComModuleLockCount() { return _Module.LockCount(); }

#define INFO(...) TBDPrint(TBCT_INFO, TBDLT_INFO, __VA_ARGS__)
#define INFO_ERROR(...) TBDPrint(TBCT_INFO, TBDLT_ERROR, __VA_ARGS__)
#define ERROR_LINE(...) TBDPrint(TBDCT_LAST, TBDLT_ERROR, __VA_ARGS__)

namespace {

// Everyone may wait on the ready event; only the system and administrators may change it.
constexpr char kReadyEventSddl[] = "O:BAD:(A;;0x00100000;;;WD)(A;;0x001F0003;;;SY)(A;;0x001F0003;;;BA)";

// COM's security descriptor: owner and group from the thread's (or process's) token, no
// access list, so every caller is allowed.
class ComSecurity {
 public:
  HRESULT Build() {
    UniqueKernelHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put()) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()))
      return HRESULT_FROM_WIN32(GetLastError());
    if (!Query(token.get(), TokenUser, &user_) || !Query(token.get(), TokenPrimaryGroup, &group_))
      return HRESULT_FROM_WIN32(GetLastError());
    InitializeSecurityDescriptor(&sd_, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorOwner(&sd_, reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid, FALSE);
    SetSecurityDescriptorGroup(&sd_, reinterpret_cast<TOKEN_PRIMARY_GROUP*>(group_.data())->PrimaryGroup, FALSE);
    SetSecurityDescriptorDacl(&sd_, TRUE, nullptr, FALSE);
    return S_OK;
  }
  PSECURITY_DESCRIPTOR get() { return &sd_; }

 private:
  static bool Query(HANDLE token, TOKEN_INFORMATION_CLASS cls, std::vector<BYTE>* out) {
    DWORD size = 0;
    GetTokenInformation(token, cls, nullptr, 0, &size);
    if (size == 0) return false;
    out->resize(size);
    return GetTokenInformation(token, cls, out->data(), size, &size) != FALSE;
  }
  SECURITY_DESCRIPTOR sd_ = {};
  std::vector<BYTE> user_, group_;
};

}  // namespace

const char* FindOneOf(const char* text, const char* set) {
  for (const char* p = text; p && *p; p = CharNextA(p)) {
    for (const char* s = set; *s; ++s)
      if (*p == *s) return CharNextA(p);
  }
  return nullptr;
}

RegistrationSwitch FindRegistrationSwitch(const char* commandLine) {
  // A switch is the whole rest of the line after a "-" or "/".
  for (const char* token = FindOneOf(commandLine, "-/"); token; token = FindOneOf(token, "-/")) {
    if (lstrcmpiA(token, "UnregServer") == 0) return RegistrationSwitch::UnregServer;
    if (lstrcmpiA(token, "RegServer") == 0) return RegistrationSwitch::RegServer;
    if (lstrcmpiA(token, "Service") == 0) return RegistrationSwitch::Service;
  }
  return RegistrationSwitch::None;
}

CServiceModule::~CServiceModule() = default;

CServiceModule::WaitClock CServiceModule::SystemClock() {
  return {[]() -> DWORD { return GetTickCount(); }, [](DWORD ms) { Sleep(ms); }};
}

void CServiceModule::Init(HINSTANCE instance) {
  FUNCTION_TRACE("CServiceModule::Init");
  m_instance = instance;
  m_serviceMode = true;
  if (LoadStringA(instance, IDS_SERVICENAME, m_serviceName, sizeof m_serviceName) == 0)
    SafeStrCopy(m_serviceName, "QELVXWMI", sizeof m_serviceName);
  m_statusHandle = nullptr;
  m_status = SERVICE_STATUS{SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
}

LONG CServiceModule::Lock() { return InterlockedIncrement(&m_lockCount); }

LONG CServiceModule::Unlock() {
  LONG count = InterlockedDecrement(&m_lockCount);
  if (count == 0 && !m_serviceMode) {
    DWORD thread = m_mainThreadId;
    if (thread) PostThreadMessageA(thread, WM_QUIT, 0, 0);
  }
  return count;
}

HRESULT CServiceModule::RegisterServer(bool registerTypeLib, bool service) {
  FUNCTION_TRACE("CServiceModule::RegisterServer");
  ComApartment apartment;
  if (!apartment.ok()) {
    INFO_ERROR("CoInitialize failed: 0x%04x", apartment.result());
    return apartment.result();
  }
  if (!Uninstall()) return kServiceNotRemoved;
  INFO("UpdateRegistryFromResource");
  RegisterAppIdKeys();

  INFO("Adjust AppID");
  UniqueRegKey appIds, appId;
  LONG error = RegOpenKeyExA(HKEY_CLASSES_ROOT, "AppID", 0, KEY_WRITE, appIds.put());
  if (error != ERROR_SUCCESS) {
    INFO_ERROR("Failed to open AppID: 0x%04x", error);
    return error;
  }
  error = RegOpenKeyExA(appIds.get(), kAppIdText, 0, KEY_WRITE, appId.put());
  if (error != ERROR_SUCCESS) {
    char bare[40];
    SafeStrCopy(bare, kAppIdText + 1, sizeof bare);
    bare[36] = 0;
    INFO_ERROR("Failed to open %s: 0x%04x", bare, error);
    return error;
  }
  RegDeleteValueA(appId.get(), "LocalService");
  bool installed = true;
  if (service) {
    INFO("Install service");
    RegSetValueExA(appId.get(), "LocalService", 0, REG_SZ, reinterpret_cast<const BYTE*>(m_serviceName),
                   static_cast<DWORD>(strlen(m_serviceName) + 1));
    static const char kParameters[] = "-Service";
    RegSetValueExA(appId.get(), "ServiceParameters", 0, REG_SZ, reinterpret_cast<const BYTE*>(kParameters),
                   sizeof kParameters);
    installed = Install();
  }
  WriteServiceAppIdValues(KEY_WOW64_32KEY, service ? kServiceNameW : nullptr);

  INFO("CComModule::RegisterServer");
  wchar_t path[MAX_PATH];
  HRESULT hr = ProgramPath(path) ? RegisterClassKeys(path) : E_FAIL;
  if (SUCCEEDED(hr) && registerTypeLib) hr = RegisterTypeLibrary(path);
  if (FAILED(hr)) INFO_ERROR("CComModule::RegisterServer failed: 0x%04x", hr);
  INFO("CoUninitialize");
  // A service registration that leaves no service is a failure.
  if (SUCCEEDED(hr) && !installed) hr = HRESULT_FROM_WIN32(ERROR_SERVICE_DOES_NOT_EXIST);
  return hr;
}

HRESULT CServiceModule::UnregisterServer() {
  FUNCTION_TRACE("CServiceModule::UnregisterServer");
  ComApartment apartment;
  if (!apartment.ok()) return apartment.result();
  UnregisterAppIdKeys();
  bool removed = Uninstall();
  UnregisterClassKeys();
  UnregisterTypeLibrary();
  return removed ? S_OK : kServiceNotRemoved;
}

bool CServiceModule::IsInstalled() {
  FUNCTION_TRACE("CServiceModule::IsInstalled");
  UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    INFO_ERROR("IsInstalled - Couldn't open service manager: 0x%04x", GetLastError());
    return false;
  }
  UniqueScHandle service(OpenServiceA(manager.get(), m_serviceName, SERVICE_QUERY_CONFIG));
  bool installed = static_cast<bool>(service);
  INFO("IsInstalled: %i", installed ? 1 : 0);
  return installed;
}

bool CServiceModule::Install() {
  FUNCTION_TRACE("CServiceModule::Install");
  if (IsInstalled()) return true;
  INFO("OpenSCManager");
  UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    INFO_ERROR("Couldn't open service manager: 0x%04x", GetLastError());
    return false;
  }
  // Quoted, so a path with blanks is one program name to the SCM.
  wchar_t path[MAX_PATH + 2] = L"\"";
  if (!ProgramPath(path + 1)) {
    INFO_ERROR("Couldn't create service: 0x%04x", ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  SafeWcsCat(path, L"\"", MAX_PATH + 2);
  wchar_t name[256] = {};
  MultiByteToWideChar(CP_ACP, 0, m_serviceName, -1, name, 255);
  // The wide call: the narrow one loses every dependency after the first under Wine.
  static const wchar_t kDependencies[] = L"RpcSs\0WinMgmt\0";  // and the literal's own terminator
  UniqueScHandle service(CreateServiceW(manager.get(), name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                        SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, path, nullptr, nullptr,
                                        kDependencies, nullptr, nullptr));
  if (!service) {
    INFO_ERROR("Couldn't create service: 0x%04x", GetLastError());
    return false;
  }
  char description[260] = {};
  LoadStringA(m_instance, IDS_DESCRIPTION, description, sizeof description);
  INFO("Adding service description");
  SERVICE_DESCRIPTIONA info{description};
  if (!ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &info))
    INFO_ERROR("Failed to set service description: %i", static_cast<int>(GetLastError()));
  return true;
}

bool CServiceModule::Uninstall() {
  FUNCTION_TRACE("CServiceModule::Uninstall");
  if (!IsInstalled()) return true;
  UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) {
    INFO_ERROR("Couldn't open the Service Control Manager");
    return false;
  }
  UniqueScHandle service(OpenServiceA(manager.get(), m_serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service) {
    INFO_ERROR("Couldn't open the service");
    return false;
  }
  SERVICE_STATUS status;
  ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  if (!DeleteService(service.get())) {
    INFO_ERROR("Service could not be deleted");
    return false;
  }
  // A service that still runs (or is still open) is only marked for deletion: its entry
  // goes when it has stopped and the last handle is closed. An install before that would
  // find it and leave nothing once it goes.
  service.reset();
  const DWORD start = m_uninstallClock.now();
  for (;;) {
    UniqueScHandle still(OpenServiceA(manager.get(), m_serviceName, SERVICE_QUERY_STATUS));
    if (!still && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;
    if (m_uninstallClock.now() - start >= m_uninstallWaitMs) break;
    m_uninstallClock.pause(50);
  }
  INFO_ERROR("Service could not be deleted: still there after %u ms", static_cast<unsigned>(m_uninstallWaitMs));
  return false;
}

void CServiceModule::Start() {
  FUNCTION_TRACE("CServiceModule::Start");
  if (m_serviceMode) {
    SERVICE_TABLE_ENTRYA table[] = {{m_serviceName, _ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) m_serviceMode = false;
  }
  if (!m_serviceMode) Run();
}

void WINAPI CServiceModule::_ServiceMain(DWORD argc, char** argv) { _Module.ServiceMain(argc, argv); }
void WINAPI CServiceModule::_Handler(DWORD control) { _Module.Handler(control); }

void CServiceModule::ServiceMain(DWORD argc, char** argv) {
  FUNCTION_TRACE("CServiceModule::ServiceMain");
  (void)argc;
  (void)argv;
  m_status.dwCurrentState = SERVICE_START_PENDING;
  m_statusHandle = RegisterServiceCtrlHandlerA(m_serviceName, _Handler);
  if (!m_statusHandle) {
    LogEvent("Handler not installed");
    return;
  }
  SetServiceStatus(SERVICE_START_PENDING);
  m_status.dwWin32ExitCode = 0;
  m_status.dwCheckPoint = 0;
  m_status.dwWaitHint = 0;
  Run();
  SetServiceStatus(SERVICE_STOPPED);
  LogEvent("Service stopped");
}

void CServiceModule::Handler(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP: {
      SetServiceStatus(SERVICE_STOP_PENDING);
      m_stopRequested = true;
      DWORD thread = m_mainThreadId;
      if (thread) PostThreadMessageA(thread, WM_QUIT, 0, 0);
      break;
    }
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_INTERROGATE:
    case SERVICE_CONTROL_SHUTDOWN:
      break;
    default:
      LogEvent("Bad service request");
  }
}

BOOL CServiceModule::SetServiceStatus(DWORD state) {
  INFO("CServiceModule::SetServiceStatus: %i", static_cast<int>(state));
  m_status.dwCurrentState = state;
  return m_statusHandle ? ::SetServiceStatus(m_statusHandle, &m_status) : FALSE;
}

void CServiceModule::Run() {
  FUNCTION_TRACE("CServiceModule::Run");
  PSECURITY_DESCRIPTOR eventSd = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorA(kReadyEventSddl, SDDL_REVISION_1, &eventSd, nullptr);
  LocalAllocPtr<void> eventSdOwner(eventSd);
  SECURITY_ATTRIBUTES eventSa{sizeof eventSa, eventSd, FALSE};
  UniqueKernelHandle readyEvent(CreateEventA(eventSd ? &eventSa : nullptr, TRUE, FALSE, kReadyEventName));

  // The queue must exist before anyone may post WM_QUIT to this thread.
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  m_mainThreadId = GetCurrentThreadId();
  if (m_stopRequested) PostQuitMessage(0);
  INFO("%s started as a %s, main thread ID: 0x%04x", m_serviceName, m_serviceMode ? "Service" : "Local Server",
       static_cast<unsigned>(m_mainThreadId));

  std::optional<ComApartment> apartment(std::in_place);
  if (!apartment->ok()) ERROR_LINE("CoInitialize failed: 0x%04x", apartment->result());

  ComSecurity security;
  HRESULT hr = security.Build();
  if (SUCCEEDED(hr))
    hr = CoInitializeSecurity(security.get(), -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(hr)) ERROR_LINE("CoInitializeSecurity failed: 0x%04x", hr);

  DWORD classCookie = 0;
  hr = CoRegisterClassObject(CLSID_VXWMI, &m_classFactory, CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                             REGCLS_MULTIPLEUSE, &classCookie);
  if (FAILED(hr)) ERROR_LINE("RegisterClassObjects failed: 0x%04x", hr);

  if (m_serviceMode) SetServiceStatus(SERVICE_RUNNING);
  LogEvent("Service started");

  hr = HWInitialize();
  if (FAILED(hr)) ERROR_LINE("HWInitialize FAILED (incompatible BIOS): 0x%04x", hr);
  if (readyEvent) SetEvent(readyEvent.get());

  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);

  // Objects that clients still hold go with the apartment, and leave the connection manager
  // as they go: it is released last.
  if (classCookie) CoRevokeClassObject(classCookie);
  HWUnInitialize();
  StopNotifications();
  apartment.reset();
  readyEvent.reset();
  m_mainThreadId = 0;
  m_stopRequested = false;
  CCnxMgr::ReleaseInstance();
}

HRESULT CServiceModule::HWInitialize() {
  FUNCTION_TRACE("CServiceModule::HWInitialize");
  FirmwareBindingStart();
  auto* hw = new (std::nothrow) CPCHWIntf(FirmwareLocatorClsid());
  g_pHWIntf = hw;
  if (!hw) return E_FAIL;
  HRESULT hr = hw->Init();
  if (FAILED(hr)) return hr;
  return hw->RegisterCallback(NotifyAllCnx) ? 1 : 0;
}

void CServiceModule::HWUnInitialize() {
  FUNCTION_TRACE("CServiceModule::HWUnInitialize");
  if (auto* hw = static_cast<CPCHWIntf*>(g_pHWIntf)) {
    hw->StopListening();
    hw->Release();
    delete hw;
    g_pHWIntf = nullptr;
  }
  FirmwareBindingStop();
}

void CServiceModule::LogEvent(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  FormatCut(text, sizeof text, format, args);
  va_end(args);
  if (!m_serviceMode) {
    std::printf("%s\n", text);
    std::fflush(stdout);
    return;
  }
  HANDLE source = RegisterEventSourceA(nullptr, m_serviceName);
  if (!source) return;
  const char* strings[] = {text};
  ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

int ServiceProgramMain(HINSTANCE instance, const char* commandLine) {
  static const LogSettings kLogSettings = {TBDOL_NONE, 0, 0, 1, 0, 1000000, HKEY_LOCAL_MACHINE};
  TBDSetup("QelVxWmi.log", "QELVXWMI", true, &kLogSettings);
  FUNCTION_TRACE("WinMain");
  INFO("lpCmdLine: %s", commandLine);
  _Module.Init(instance);
  _Module.SetServiceMode(true);

  switch (FindRegistrationSwitch(commandLine)) {
    case RegistrationSwitch::UnregServer: return _Module.UnregisterServer();
    case RegistrationSwitch::RegServer: return _Module.RegisterServer(true, false);
    case RegistrationSwitch::Service: return _Module.RegisterServer(true, true);
    case RegistrationSwitch::None: break;
  }

  INFO("Not a registration operation... proceed");
  UniqueRegKey appIds, appId;
  LONG error = RegOpenKeyExA(HKEY_CLASSES_ROOT, "AppID", 0, KEY_READ, appIds.put());
  if (error == ERROR_SUCCESS) error = RegOpenKeyExA(appIds.get(), kAppIdText, 0, KEY_READ, appId.put());
  if (error != ERROR_SUCCESS) return error;
  char localService[260];
  DWORD size = sizeof localService, type = 0;
  _Module.SetServiceMode(RegQueryValueExA(appId.get(), "LocalService", nullptr, &type,
                                          reinterpret_cast<BYTE*>(localService), &size) == ERROR_SUCCESS &&
                         (type == REG_SZ || type == REG_EXPAND_SZ));
  _Module.Start();
  TBDShutdown();
  return static_cast<int>(_Module.ExitCode());
}
