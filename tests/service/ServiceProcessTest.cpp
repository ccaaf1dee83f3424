// The service as a program: registration, activation as a local server and as an SCM
// service, notifications across processes, and the product build without firmware.
#include <aclapi.h>
#include <sddl.h>

#include <map>
#include <string>

#include "HWIntf.h"
#include "Handles.h"
#include "PowerClientBlock.h"
#include "Registry.h"
#include "ServerProcess.h"
#include "ServiceTestSupport.h"
#include "devurezazeve.h"

namespace {

using qeltest::BinDir;
using qeltest::RunProgram;
using qeltest::WaitServersGone;

std::string SimServer() { return BinDir() + "sim\\QelVxWmi.exe"; }
std::string ProductServer() { return BinDir() + "QelVxWmi.exe"; }

bool KeyExists(const char* key) {
  UniqueRegKey h;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, h.put()) == ERROR_SUCCESS;
}

bool ReadAppIdValue(const char* name, std::string* out) {
  std::string key = std::string("AppID\\") + kAppIdText;
  // Opened, not created: the tests look for keys that must be absent.
  UniqueRegKey h;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, h.put()) != ERROR_SUCCESS) return false;
  char buffer[260] = {};
  DWORD size = sizeof buffer - 1, type = 0;
  if (RegQueryValueExA(h.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return false;
  *out = buffer;
  return true;
}

// A REG_SZ value in one registry view; false when the key or the value is missing.
bool ReadViewValue(REGSAM view, const std::string& key, const char* name, std::string* out) {
  char buffer[512] = {};
  DWORD size = sizeof buffer - 1;
  const DWORD flags = RRF_RT_REG_SZ | (view == KEY_WOW64_32KEY ? 0x00020000 /* RRF_SUBKEY_WOW6432KEY */
                                                                : 0x00010000 /* RRF_SUBKEY_WOW6464KEY */);
  if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), name, flags, nullptr, buffer, &size) != ERROR_SUCCESS) return false;
  *out = buffer;
  return true;
}

bool ViewKeyExists(REGSAM view, const std::string& key) {
  UniqueRegKey h;
  return RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, h.put()) == ERROR_SUCCESS;
}

std::string GuidString(const GUID& guid) {
  wchar_t wide[40] = {};
  StringFromGUID2(guid, wide, 40);
  char narrow[40] = {};
  WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// Advises sink on the object's callback point, which is kept for the Unadvise.
HRESULT AdviseSink(ComPtr<IVXWMI>& power, IUnknown* sink, ComPtr<IConnectionPoint>* point, DWORD* cookie) {
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = power.As(&container);
  if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(IID_IVXWMICB, point->put());
  if (SUCCEEDED(hr)) hr = (*point)->Advise(sink, cookie);
  return hr;
}

constexpr REGSAM kBothViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
const char* ViewName(REGSAM view) { return view == KEY_WOW64_32KEY ? "32-bit view" : "64-bit view"; }

UniqueScHandle OpenScmService(DWORD access) {
  UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  return UniqueScHandle(manager ? OpenServiceA(manager.get(), "QELVXWMI", access) : nullptr);
}

std::string ReadServiceLog() { return qeltest::ReadLog("QelVxWmi.log"); }

UniqueKernelHandle WaitReady(DWORD access = SYNCHRONIZE) { return qeltest::WaitReady(kReadyEventName, access); }

class ServiceProgram : public FirmwareFixture {
 protected:
  void SetUp() override {
    FirmwareFixture::SetUp();
    ASSERT_TRUE(apartment_.ok());
    ASSERT_TRUE(WaitServersGone());
    ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
  }
  void TearDown() override { EXPECT_TRUE(WaitServersGone()); }

  ComPtr<IVXWMI> Activate() {
    ComPtr<IVXWMI> power;
    EXPECT_EQ(CoCreateInstance(CLSID_VXWMI, nullptr, CLSCTX_LOCAL_SERVER, IID_IVXWMI, power.put_void()), S_OK);
    return power;
  }
  ComApartment apartment_;
};

TEST_F(ServiceProgram, LocalServerReadsSetsAndNotifiesThenExits) {
  auto* sink = new RecordingSink();  // the proxy may hold it past this scope
  sink->AddRef();
  {
    ComPtr<IVXWMI> power = Activate();
    ASSERT_TRUE(power);
    ASSERT_TRUE(WaitReady());
    BYTE state = 0;
    EXPECT_EQ(power->VXWMIGetPower(&state), 0);
    EXPECT_EQ(state, QELHW_POWER_ON);
    EXPECT_EQ(power->VXWMISetPower(QELHW_POWER_OFF), 0);
    EXPECT_EQ(sim_.Snapshot().status[3], 0x0C);
    EXPECT_EQ(power->VXWMIGetPower(&state), 0);
    EXPECT_EQ(state, QELHW_POWER_OFF);
    EXPECT_EQ(power->VXWMISetPower(7), 4);

    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_EQ(AdviseSink(power, sink, &point, &cookie), S_OK);

    sim_.FlipSwitch();  // the hardware radio switch
    EXPECT_TRUE(PumpUntil([&] { return !sink->states.empty(); }));
    EXPECT_EQ(sink->states, std::vector<BYTE>{BYTE(QELHW_POWER_ON)});
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
  }
  EXPECT_TRUE(WaitServersGone(10000));  // the last client let go
  sink->Release();
}

// Waits until done() or the time is up; for state that other processes write.
template <class Done>
bool Within(DWORD ms, Done done) {
  for (DWORD start = GetTickCount(); !done(); Sleep(20))
    if (GetTickCount() - start > ms) return false;
  return true;
}

// Starts count client processes on the block's first slots; true once all are ready. One
// first: Wine starts a server for each of several activations that find none running.
bool StartReadyClients(const PowerClientMapping& block, int count, std::vector<UniqueKernelHandle>* clients) {
  PowerClientSlot* slots = block->slots;
  clients->push_back(StartPowerClient(block, 0, 120));
  if (!Within(60000, [&] { return slots[0].ready != 0; })) return false;
  for (int i = 1; i < count; ++i) clients->push_back(StartPowerClient(block, i, 120));
  return Within(60000, [&] {
    for (int i = 0; i < count; ++i)
      if (!slots[i].ready) return false;
    return true;
  });
}

// Clients of the real client library killed by their process id: COM would keep their
// objects for minutes, so the fan-out frees their slots when their sinks answer that they
// are gone, and a client that comes later is notified.
TEST_F(ServiceProgram, KilledClientsGiveTheirSlotsToTheNextClient) {
  constexpr int kClients = 10;
  PowerClientMapping block;
  ASSERT_TRUE(block.Create());
  PowerClientSlot* slots = block->slots;
  std::vector<UniqueKernelHandle> clients;
  ASSERT_TRUE(StartReadyClients(block, kClients, &clients));
  // All but the last, which sees the changes go out.
  for (int i = 0; i < kClients - 1; ++i) {
    ASSERT_TRUE(TerminateProcess(clients[i].get(), 9));
    ASSERT_EQ(WaitForSingleObject(clients[i].get(), 10000), WAIT_OBJECT_0);
  }

  auto* sink = new RecordingSink();  // the proxy may hold it past this scope
  sink->AddRef();
  {
    ComPtr<IVXWMI> power = Activate();
    ASSERT_TRUE(power);
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_EQ(AdviseSink(power, sink, &point, &cookie), S_OK);
    // The killed clients still hold every slot, this one got none; the change finds them gone.
    sim_.FlipSwitch();
    ASSERT_TRUE(Within(10000, [&] { return slots[kClients - 1].notifications > 0; }));
    sim_.FlipSwitch();
    EXPECT_TRUE(PumpUntil([&] { return !sink->states.empty(); })) << "the new client heard nothing";
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
  }
  block->quit = 1;
  EXPECT_EQ(WaitForSingleObject(clients.back().get(), 30000), WAIT_OBJECT_0);
  // The killed clients' objects went with their slots: nothing keeps the server.
  EXPECT_TRUE(WaitServersGone(10000));
  sink->Release();
}

// A client killed by its process id while the service's call into its sink is under way:
// the call's answer says the client is gone, so its slot goes to a client that was turned
// away, which gets the next change.
TEST_F(ServiceProgram, ClientKilledInsideItsCallbackGivesItsSlotAway) {
  constexpr int kClients = 10;
  PowerClientMapping block;
  ASSERT_TRUE(block.Create());
  PowerClientSlot* slots = block->slots;
  slots[0].holdInCallback = 1;
  std::vector<UniqueKernelHandle> clients;
  ASSERT_TRUE(StartReadyClients(block, kClients, &clients));

  auto* sink = new RecordingSink();  // the proxy may hold it past this scope
  sink->AddRef();
  {
    ComPtr<IVXWMI> power = Activate();  // the eleventh: every slot is taken
    ASSERT_TRUE(power);
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_EQ(AdviseSink(power, sink, &point, &cookie), S_OK);
    sim_.FlipSwitch();
    ASSERT_TRUE(Within(10000, [&] { return slots[0].inCallback != 0; }));
    ASSERT_TRUE(TerminateProcess(clients[0].get(), 9));
    ASSERT_EQ(WaitForSingleObject(clients[0].get(), 10000), WAIT_OBJECT_0);
    // The pass goes on to the other clients once the call into the dead one has returned.
    ASSERT_TRUE(Within(30000, [&] {
      for (int i = 1; i < kClients; ++i)
        if (!slots[i].notifications) return false;
      return true;
    }));
    EXPECT_TRUE(sink->states.empty());
    sim_.FlipSwitch();
    EXPECT_TRUE(PumpUntil([&] { return !sink->states.empty(); })) << "the turned-away client heard nothing";
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
  }
  // What the call into the killed client answered.
  std::string log = ReadServiceLog();
  for (size_t at = log.find("Failed to notify"); at != std::string::npos; at = log.find("Failed to notify", at + 1))
    std::printf("%s\n", log.substr(at, log.find('\r', at) - at).c_str());
  block->quit = 1;
  for (int i = 1; i < kClients; ++i) EXPECT_EQ(WaitForSingleObject(clients[i].get(), 30000), WAIT_OBJECT_0);
  EXPECT_TRUE(WaitServersGone(10000));
  sink->Release();
}

TEST_F(ServiceProgram, ReadyEventLetsEveryoneWaitAndOnlyAdministratorsChangeIt) {
  ComPtr<IVXWMI> power = Activate();
  ASSERT_TRUE(power);
  UniqueKernelHandle ready = WaitReady(SYNCHRONIZE | READ_CONTROL);
  ASSERT_TRUE(ready);
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetSecurityInfo(ready.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &dacl, nullptr, &sd),
            ERROR_SUCCESS);
  LocalAllocPtr<void> sdOwner(sd);
  auto sidText = [](PSID sid) {
    char* text = nullptr;
    ConvertSidToStringSidA(sid, &text);
    std::string s = text ? text : "";
    LocalFree(text);
    return s;
  };
  EXPECT_EQ(sidText(owner), "S-1-5-32-544");
  ASSERT_NE(dacl, nullptr);
  std::map<std::string, ACCESS_MASK> grants;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, 0);
    grants[sidText(&ace->SidStart)] |= ace->Mask;
  }
  EXPECT_EQ(grants["S-1-1-0"], static_cast<ACCESS_MASK>(SYNCHRONIZE));
  EXPECT_EQ(grants["S-1-5-18"] & EVENT_MODIFY_STATE, static_cast<ACCESS_MASK>(EVENT_MODIFY_STATE));
  EXPECT_EQ(grants["S-1-5-32-544"] & EVENT_MODIFY_STATE, static_cast<ACCESS_MASK>(EVENT_MODIFY_STATE));
  EXPECT_EQ(grants.size(), 3u);
}

TEST_F(ServiceProgram, RegistrationSwitchesLeaveTheirKeys) {
  std::string value;
  std::string clsidKey = "CLSID\\{A32A0241-FF5B-48F5-9E63-4B5622237135}";
  // -RegServer (SetUp): class, ProgIDs, AppID and type library; no service.
  EXPECT_TRUE(KeyExists((clsidKey + "\\LocalServer32").c_str()));
  EXPECT_TRUE(KeyExists("QELVXWMI.VXWMI\\CurVer"));
  EXPECT_TRUE(KeyExists("AppID\\QELVXWMI.EXE"));
  EXPECT_TRUE(KeyExists("TypeLib\\{AD4B0CD8-A4E0-414D-BE81-FEFFF115B875}"));
  EXPECT_TRUE(KeyExists("Interface\\{49F82EA8-A382-4BDF-8BBD-3FFC44CF7CBA}"));
  EXPECT_FALSE(ReadAppIdValue("LocalService", &value));
  EXPECT_FALSE(OpenScmService(SERVICE_QUERY_CONFIG));
  // Both registry views: a 32-bit client (radiocheck) finds what a 64-bit one does.
  const std::string appIdKey = std::string("AppID\\") + kAppIdText;
  const std::string typeLibKey = "TypeLib\\" + GuidString(LIBID_QELVXWMILib) + "\\1.0\\0\\";
  for (REGSAM view : kBothViews) {
    SCOPED_TRACE(ViewName(view));
    EXPECT_TRUE(ReadViewValue(view, clsidKey + "\\LocalServer32", nullptr, &value));
    EXPECT_EQ(value, "\"" + SimServer() + "\"");  // quoted: the path may hold blanks
    EXPECT_TRUE(ReadViewValue(view, clsidKey, "AppID", &value));
    EXPECT_EQ(value, kAppIdText);
    EXPECT_TRUE(ReadViewValue(view, appIdKey, nullptr, &value));
    EXPECT_EQ(value, "QELVXWMI");
    EXPECT_TRUE(ReadViewValue(view, "AppID\\QELVXWMI.EXE", "AppID", &value));
    EXPECT_EQ(value, kAppIdText);
    EXPECT_TRUE(ReadViewValue(view, "QELVXWMI.VXWMI\\CurVer", nullptr, &value));
    EXPECT_EQ(value, "QELVXWMI.VXWMI.1");
    for (const IID* iid : {&IID_IVXWMI, &IID_IVXWMICB}) {
      EXPECT_TRUE(ReadViewValue(view, "Interface\\" + GuidString(*iid) + "\\ProxyStubClsid32", nullptr, &value));
      EXPECT_EQ(value, "{00020424-0000-0000-C000-000000000046}");
    }
    EXPECT_FALSE(ReadViewValue(view, appIdKey, "LocalService", &value));
  }
  EXPECT_TRUE(ReadViewValue(KEY_WOW64_32KEY, typeLibKey + "win32", nullptr, &value));
  EXPECT_EQ(value, SimServer());
  EXPECT_TRUE(ViewKeyExists(KEY_WOW64_64KEY, typeLibKey + "win64"));

  // /service: the SCM service and both AppID values.
  ASSERT_EQ(RunProgram(SimServer(), "/service"), 0u);
  for (REGSAM view : kBothViews) {
    SCOPED_TRACE(ViewName(view));
    EXPECT_TRUE(ReadViewValue(view, appIdKey, "LocalService", &value));
    EXPECT_EQ(value, "QELVXWMI");
    EXPECT_TRUE(ReadViewValue(view, appIdKey, "ServiceParameters", &value));
    EXPECT_EQ(value, "-Service");
  }
  ASSERT_TRUE(ReadAppIdValue("LocalService", &value));
  EXPECT_EQ(value, "QELVXWMI");
  ASSERT_TRUE(ReadAppIdValue("ServiceParameters", &value));
  EXPECT_EQ(value, "-Service");
  {
    UniqueScHandle service = OpenScmService(SERVICE_QUERY_CONFIG);
    ASSERT_TRUE(service);
    BYTE buffer[8192];
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceConfigA(service.get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer), sizeof buffer,
                                    &needed));
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    EXPECT_EQ(std::string(config->lpBinaryPathName), "\"" + SimServer() + "\"");
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    // What the SCM keeps: the double-zero-terminated list.
    char depends[64] = {};
    DWORD size = sizeof depends;
    ASSERT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\QELVXWMI", "DependOnService",
                           RRF_RT_REG_MULTI_SZ, nullptr, depends, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(depends, size), std::string("RpcSs\0WinMgmt\0\0", 15));
    EXPECT_EQ(std::string(config->lpDisplayName), "QELVXWMI");
    ASSERT_TRUE(QueryServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, buffer, sizeof buffer, &needed));
    EXPECT_EQ(std::string(reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer)->lpDescription),
              "Veltra Vazudari VX WMI Service");
  }
  // A second -Service replaces the installed one.
  ASSERT_EQ(RunProgram(SimServer(), "-Service"), 0u);
  EXPECT_TRUE(OpenScmService(SERVICE_QUERY_CONFIG));

  // -RegServer again: local server only.
  ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
  EXPECT_FALSE(ReadAppIdValue("LocalService", &value));
  EXPECT_FALSE(OpenScmService(SERVICE_QUERY_CONFIG));
  for (REGSAM view : kBothViews) EXPECT_FALSE(ReadViewValue(view, appIdKey, "LocalService", &value)) << ViewName(view);

  // -UnregServer: everything it wrote is gone.
  ASSERT_EQ(RunProgram(SimServer(), "-UnregServer"), 0u);
  EXPECT_FALSE(KeyExists(clsidKey.c_str()));
  EXPECT_FALSE(KeyExists("QELVXWMI.VXWMI"));
  EXPECT_FALSE(KeyExists("QELVXWMI.VXWMI.1"));
  EXPECT_FALSE(KeyExists((std::string("AppID\\") + kAppIdText).c_str()));
  EXPECT_FALSE(KeyExists("AppID\\QELVXWMI.EXE"));
  EXPECT_FALSE(KeyExists("TypeLib\\{AD4B0CD8-A4E0-414D-BE81-FEFFF115B875}"));
  for (REGSAM view : kBothViews) {
    SCOPED_TRACE(ViewName(view));
    EXPECT_FALSE(ViewKeyExists(view, clsidKey));
    EXPECT_FALSE(ViewKeyExists(view, appIdKey));
    EXPECT_FALSE(ViewKeyExists(view, "AppID\\QELVXWMI.EXE"));
    EXPECT_FALSE(ViewKeyExists(view, "QELVXWMI.VXWMI"));
    EXPECT_FALSE(ViewKeyExists(view, "TypeLib\\" + GuidString(LIBID_QELVXWMILib)));
    EXPECT_FALSE(ViewKeyExists(view, "Interface\\" + GuidString(IID_IVXWMI)));
  }
}

TEST_F(ServiceProgram, ServingRunWithoutAppIdEndsWithTheRegistryError) {
  ASSERT_EQ(RunProgram(SimServer(), "-UnregServer"), 0u);
  EXPECT_EQ(RunProgram(SimServer(), ""), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
}

// Stops the installed service and waits until the SCM reports it stopped.
bool StopService(SC_HANDLE service) {
  SERVICE_STATUS status = {};
  if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) return false;
  DWORD start = GetTickCount();
  while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
         GetTickCount() - start < 20000)
    Sleep(50);
  return status.dwCurrentState == SERVICE_STOPPED;
}

// Registers the simulated-firmware service with the SCM and starts it; empty on failure.
UniqueScHandle StartedService() {
  if (RunProgram(SimServer(), "-Service") != 0) return UniqueScHandle();
  UniqueScHandle service = OpenScmService(SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (!service || !StartServiceA(service.get(), 0, nullptr) || !WaitReady()) return UniqueScHandle();
  return service;
}

TEST_F(ServiceProgram, RunsUnderTheServiceControlManager) {
  {
    UniqueScHandle service = StartedService();
    ASSERT_TRUE(service);
    SERVICE_STATUS status = {};
    ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    {
      ComPtr<IVXWMI> power = Activate();
      ASSERT_TRUE(power);
      BYTE state = 0;
      EXPECT_EQ(power->VXWMIGetPower(&state), 0);
      EXPECT_EQ(state, QELHW_POWER_ON);
    }
    // Letting go of the last object does not end a service; the stop control does.
    Sleep(300);
    ASSERT_TRUE(QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(StopService(service.get()));
  }
  EXPECT_TRUE(WaitServersGone());
  ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);  // removes the service
  EXPECT_FALSE(OpenScmService(SERVICE_QUERY_CONFIG));
}

TEST_F(ServiceProgram, StopWithClientsAttachedLetsEveryObjectLeaveTheManager) {
  {
    UniqueScHandle service = StartedService();
    ASSERT_TRUE(service);
    ComPtr<IVXWMI> first = Activate(), second = Activate();
    ASSERT_TRUE(first && second);
    BYTE state = 0;
    EXPECT_EQ(first->VXWMIGetPower(&state), 0);
    EXPECT_TRUE(StopService(service.get()));
  }
  EXPECT_TRUE(WaitServersGone());
  std::string log = ReadServiceLog();
  EXPECT_NE(log.find("Log Ended"), std::string::npos) << log;  // the stopped service's whole log
  EXPECT_EQ(log.find("Could not find item"), std::string::npos) << log;
  ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
}

// A client in the multithreaded apartment whose sink takes its time: while the service's
// apartment waits in that call, it cannot stop.
struct SlowClient {
  UniqueKernelHandle entered{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  UniqueKernelHandle ready{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  UniqueKernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  RecordingSink sink;
  UniqueKernelHandle thread;

  static DWORD WINAPI Main(void* p) {
    auto* self = static_cast<SlowClient*>(p);
    ComApartment mta(COINIT_MULTITHREADED);
    {
      ComPtr<IVXWMI> power;
      ComPtr<IConnectionPoint> point;
      DWORD cookie = 0;
      if (SUCCEEDED(CoCreateInstance(CLSID_VXWMI, nullptr, CLSCTX_LOCAL_SERVER, IID_IVXWMI, power.put_void())) &&
          SUCCEEDED(AdviseSink(power, &self->sink, &point, &cookie)))
        SetEvent(self->ready.get());
      WaitForSingleObject(self->done.get(), 60000);
    }
    return 0;
  }
  bool Start() {
    sink.onCall = [this] {
      SetEvent(entered.get());
      Sleep(2000);
    };
    thread.reset(CreateThread(nullptr, 0, Main, this, 0, nullptr));
    return WaitForSingleObject(ready.get(), 20000) == WAIT_OBJECT_0;
  }
  ~SlowClient() {
    SetEvent(done.get());
    if (thread) WaitForSingleObject(thread.get(), 30000);
  }
};

TEST_F(ServiceProgram, SecondServiceRegistrationWaitsForTheRunningServiceToGo) {
  {
    ASSERT_TRUE(StartedService());  // and closed: an open handle would keep the entry
    SlowClient client;
    ASSERT_TRUE(client.Start());
    sim_.FlipSwitch();
    ASSERT_EQ(WaitForSingleObject(client.entered.get(), 10000), WAIT_OBJECT_0);
    // The old instance is inside the sink's call while the registration stops it.
    EXPECT_EQ(RunProgram(SimServer(), "-Service"), 0u);
  }
  EXPECT_TRUE(WaitServersGone());
  EXPECT_TRUE(OpenScmService(SERVICE_QUERY_CONFIG)) << "the registration left no service";
  ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
  EXPECT_FALSE(OpenScmService(SERVICE_QUERY_CONFIG));
}

TEST_F(ServiceProgram, ProductBuildWithoutFirmwareAnswers600) {
  ASSERT_EQ(RunProgram(ProductServer(), "-RegServer"), 0u);
  {
    ComPtr<IVXWMI> power = Activate();
    ASSERT_TRUE(power);
    ASSERT_TRUE(WaitReady());  // set also after the failed hardware initialisation
    BYTE state = 0x77;
    EXPECT_EQ(power->VXWMIGetPower(&state), 600);  // the byte is the proxy's, not the server's
    EXPECT_EQ(power->VXWMISetPower(QELHW_POWER_ON), 600);
  }
  EXPECT_TRUE(WaitServersGone());
  std::string log = ReadServiceLog();
  EXPECT_NE(log.find("HWInitialize FAILED (incompatible BIOS)"), std::string::npos);
  ASSERT_EQ(RunProgram(SimServer(), "-RegServer"), 0u);
}

}  // namespace
