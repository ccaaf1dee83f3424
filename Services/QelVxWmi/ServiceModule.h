// The program's skeleton: command line, registration, the SCM service, the COM server's
// apartment and message loop, and the hardware interface's life.
#pragma once
#include <windows.h>

#include <atomic>

#include "ClassFactory.h"
#include "HWIntf.h"

// How long a registration waits for an installed service to stop and its entry to go.
constexpr DWORD kUninstallWaitMs = 30000;
// The registration's result when the installed service did not go within that time.
constexpr HRESULT kServiceNotRemoved = HRESULT_FROM_WIN32(ERROR_SERVICE_MARKED_FOR_DELETE);

class CServiceModule {
 public:
  virtual ~CServiceModule();

  void Init(HINSTANCE instance);
  HRESULT RegisterServer(bool registerTypeLib, bool service);
  HRESULT UnregisterServer();
  bool IsInstalled();
  bool Install();
  bool Uninstall();
  void Start();
  void ServiceMain(DWORD argc, char** argv);
  void Handler(DWORD control);
  void Run();
  BOOL SetServiceStatus(DWORD state);
  HRESULT HWInitialize();
  void HWUnInitialize();
  void LogEvent(const char* format, ...);
  LONG Lock();
  virtual LONG Unlock();

  LONG LockCount() const { return m_lockCount; }
  bool ServiceMode() const { return m_serviceMode; }
  void SetServiceMode(bool service) { m_serviceMode = service; }
  DWORD ExitCode() const { return m_status.dwWin32ExitCode; }
  const char* ServiceName() const { return m_serviceName; }
  // Test seams: how long, and by which clock, a registration waits for a service to go.
  struct WaitClock {
    DWORD (*now)();
    void (*pause)(DWORD ms);
  };
  static WaitClock SystemClock();
  void SetUninstallWait(DWORD ms) { m_uninstallWaitMs = ms; }
  void SetUninstallClock(WaitClock clock) { m_uninstallClock = clock; }

  static void WINAPI _ServiceMain(DWORD argc, char** argv);
  static void WINAPI _Handler(DWORD control);

 private:
  char m_serviceName[256] = {};
  SERVICE_STATUS_HANDLE m_statusHandle = nullptr;
  SERVICE_STATUS m_status = {};
  std::atomic<DWORD> m_mainThreadId{0};
  bool m_serviceMode = true;

  HINSTANCE m_instance = nullptr;
  DWORD m_uninstallWaitMs = kUninstallWaitMs;
  WaitClock m_uninstallClock = SystemClock();
  LONG m_lockCount = 0;
  // A stop that comes before the loop runs is kept here and honoured when it starts.
  std::atomic<bool> m_stopRequested{false};
  CVXWMIClassFactory m_classFactory;
};

extern CServiceModule _Module;

// Finds the first character of text that is in set; returns the position after it, or null.
const char* FindOneOf(const char* text, const char* set);
enum class RegistrationSwitch { None, UnregServer, RegServer, Service };
RegistrationSwitch FindRegistrationSwitch(const char* commandLine);
// Runs the program on a full command line (program name included); returns the exit code.
int ServiceProgramMain(HINSTANCE instance, const char* commandLine);

