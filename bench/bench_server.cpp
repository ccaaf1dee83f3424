// bench_server: the bare server of the client benchmark. Its object has the service's
// interfaces and one connection point; its power read makes exactly the calls the service's
// contract asks of one read (the firmware's WMI method call on the firmware stand-in, and
// a poll of the log's alter event for each log call the service makes), and a firmware
// event goes the same way straight to the advised sink. Also calls the sink each time the
// fire event is set; ends when the stop event is set.
#include <windows.h>
#include <wbemcli.h>

#include "BenchServer.h"
#include "ComPtr.h"
#include "FakeService.h"
#include "Handles.h"
#include "SimWmi.h"

namespace {

// Log calls the service makes around one firmware read: the trace scopes and lines of the
// WMI method call (ExecMethod 4, WmiExecMethod 7, SetupDataIn 3, SetupDataOut 3).
constexpr int kReadLogCalls = 17;
// ... of VXWMIGetPower around it: its trace scope and its line.
constexpr int kGetLogCalls = 3;
// ... of a firmware event: the event sink's 4 lines, NotifyCallback's line, the fan-out's
// 3 lines and the firing's line.
constexpr int kEventLogCalls = 9;

HANDLE g_alterEvent = nullptr;
void PollLog(int calls) {
  for (int i = 0; i < calls; ++i) WaitForSingleObject(g_alterEvent, 0);
}

class BareFirmware {
 public:
  bool Connect() {
    DWORD cookie = 0;
    if (FAILED(RegisterSimWbemLocator(&cookie))) return false;
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_QelSimWbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                locator.put_void())))
      return false;
    UniqueBstr ns(L"\\\\.\\root\\wmi"), cls(L"vxrBIntM");
    if (FAILED(locator->ConnectServer(ns.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services_.put())) ||
        FAILED(services_->GetObject(cls.get(), 0, nullptr, class_.put(), nullptr)))
      return false;
    ComPtr<IEnumWbemClassObject> instances;
    ComPtr<IWbemClassObject> instance;
    ULONG returned = 0;
    if (FAILED(services_->CreateInstanceEnum(cls.get(), WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, nullptr,
                                             instances.put())) ||
        FAILED(instances->Next(1000, 1, instance.put(), &returned)) || !returned)
      return false;
    return SUCCEEDED(instance->Get(L"__PATH", 0, path_.get(), nullptr, nullptr));
  }
  bool Listen(IWbemObjectSink* sink) {
    UniqueBstr language(L"WQL"), query(L"SELECT * FROM vxrBEvnt");
    return services_->ExecNotificationQueryAsync(language.get(), query.get(), WBEM_FLAG_SEND_STATUS, nullptr, sink) ==
           S_OK;
  }
  // The status read: method vxrBIOSInt4, command 1, type 5, no input, four bytes out.
  bool ReadStatus(BYTE (&status)[4]) {
    PollLog(kReadLogCalls);
    UniqueVariant in, out;
    in->vt = out->vt = VT_ARRAY | VT_UI1;
    out->parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    ComPtr<IWbemClassObject> signature, input, dataInClass, dataIn, output;
    UniqueBstr dataInName(L"vxrBDataIn"), method(L"vxrBIOSInt4");
    if (FAILED(class_->GetMethod(L"vxrBIOSInt4", 0, signature.put(), nullptr)) ||
        FAILED(signature->SpawnInstance(0, input.put())) ||
        FAILED(services_->GetObject(dataInName.get(), 0, nullptr, dataInClass.put(), nullptr)) ||
        FAILED(dataInClass->SpawnInstance(0, dataIn.put())))
      return false;
    UniqueVariant sign;
    sign->vt = VT_ARRAY | VT_UI1;
    sign->parray = SafeArrayCreateVector(VT_UI1, 0, 4);
    const BYTE kSign[4] = {'S', 'E', 'C', 'U'};
    for (LONG i = 0; i < 4; ++i) SafeArrayPutElement(sign->parray, &i, const_cast<BYTE*>(&kSign[i]));
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    dataIn->Put(L"Sign", 0, sign.get(), 0);
    number.lVal = 1;
    dataIn->Put(L"Command", 0, &number, 0);
    number.lVal = 5;
    dataIn->Put(L"CommandType", 0, &number, 0);
    number.lVal = 0;
    dataIn->Put(L"Size", 0, &number, 0);
    dataIn->Put(L"vxrBData", 0, in.get(), 0);
    VARIANT unknown;
    VariantInit(&unknown);
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = dataIn.get();
    input->Put(L"InData", 0, &unknown, 0);
    if (FAILED(services_->ExecMethod(path_->bstrVal, method.get(), 0, nullptr, input.get(), output.put(), nullptr)))
      return false;
    UniqueVariant outData, code, bytes;
    ComPtr<IWbemClassObject> result;
    if (FAILED(output->Get(L"OutData", 0, outData.get(), nullptr, nullptr)) || outData->vt != VT_UNKNOWN ||
        FAILED(outData->punkVal->QueryInterface(IID_IWbemClassObject, result.put_void())) ||
        FAILED(result->Get(L"rwReturnCode", 0, code.get(), nullptr, nullptr)) ||
        FAILED(result->Get(L"Data", 0, bytes.get(), nullptr, nullptr)) || !(bytes->vt & VT_ARRAY))
      return false;
    for (LONG i = 0; i < 4; ++i) SafeArrayGetElement(bytes->parray, &i, &status[i]);
    return true;
  }

 private:
  ComPtr<IWbemServices> services_;
  ComPtr<IWbemClassObject> class_;
  UniqueVariant path_;
};

BareFirmware* g_firmware = nullptr;  // lives in main, inside the apartment

BYTE StateOf(const BYTE (&status)[4]) { return (status[3] & 0x01) ? 1 : 2; }

class BareService : public FakeService {
 public:
  STDMETHODIMP VXWMIGetPower(BYTE* state) override {
    PollLog(kGetLogCalls);
    BYTE status[4] = {};
    if (!g_firmware->ReadStatus(status)) return 600;
    *state = StateOf(status);
    return S_OK;
  }
};

// A firmware event: the status read, then the advised sink.
class BareEventSink : public IWbemObjectSink {
 public:
  explicit BareEventSink(FakeService* service) : service_(service) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
      *ppv = static_cast<IWbemObjectSink*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives for the whole run
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Indicate(LONG, IWbemClassObject**) override {
    PollLog(kEventLogCalls);
    BYTE status[4] = {};
    if (g_firmware->ReadStatus(status)) service_->Fire(StateOf(status));
    return S_OK;
  }
  STDMETHODIMP SetStatus(LONG, HRESULT, BSTR, IWbemClassObject*) override { return S_OK; }

 private:
  FakeService* service_;
};

}  // namespace

int main() {
  ComApartment apartment;
  if (!apartment.ok()) return 1;
  UniqueKernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, kBenchReadyEvent));
  UniqueKernelHandle fire(CreateEventA(nullptr, FALSE, FALSE, kBenchFireEvent));
  UniqueKernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, kBenchStopEvent));
  UniqueKernelHandle alter(CreateEventA(nullptr, FALSE, FALSE, "DevuRezAzeve_AlterEvent_BENCHSERVER"));
  g_alterEvent = alter.get();
  BareFirmware firmware;
  g_firmware = &firmware;
  auto* service = new BareService();
  service->AddRef();
  BareEventSink events(service);
  if (!firmware.Connect() || !firmware.Listen(&events)) return 3;
  FakeFactory factory(service);
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(CLSID_BenchVxwmi, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
    return 2;
  SetEvent(ready.get());
  HANDLE waits[] = {fire.get(), stop.get()};
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) {
      service->Fire(1);
    } else if (r == WAIT_OBJECT_0 + 1) {
      break;
    } else {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  }
  CoRevokeClassObject(cookie);
  service->Release();
  return 0;
}
