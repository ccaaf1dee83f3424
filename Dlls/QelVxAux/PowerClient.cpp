#include "PowerClient.h"

#include <new>

#include "ComErrors.h"
#include "HWIntf.h"
#include "Handles.h"
#include "devurezazeve.h"

HRESULT CreateCallbackSink(const std::atomic<QelHWCallback>* callback, CVXWMICBSink** sink) {
  *sink = new (std::nothrow) CVXWMICBSink(callback);
  if (!*sink) return E_OUTOFMEMORY;
  (*sink)->AddRef();
  return S_OK;
}

CPowerClient& PowerClient() {
  // Never destroyed: its destructor would run inside DllMain, releasing proxies and undoing
  // an apartment there. What a caller leaves initialised at unloading stays behind.
  static CPowerClient* client = new CPowerClient();
  return *client;
}

void OpenClientLog() {
  LogSettings settings{};
  settings.TraceLevel = TBDOL_NONE;
  settings.EnableAllFunctions = 0;
  settings.EnableAllMemory = 0;
  settings.EnableInfo = 1;
  settings.EnableRead = 0;
  settings.MaxLogSize = 1000000;
  settings.RootKey = HKEY_CURRENT_USER;
  TBDSetup("QelVxAux.log", "QelVxAux", true, &settings);
}

HRESULT CPowerClient::Initialize() {
  CriticalSectionLock hold(lock_);
  if (vxwmi_) {
    // Already initialised, unless the service has died since: its proxy fails every call,
    // and a service started again is reached only through a new object.
    UINT count = 0;
    HRESULT alive = vxwmi_->GetTypeInfoCount(&count);
    if (!IsPeerGone(alive)) return S_OK;
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, "Error: the IVXWMI object is gone: 0x%04x", alive);
    Forget();
  }
  if (!apartment_) {
    apartment_.emplace(COINIT_APARTMENTTHREADED);
    apartmentThread_ = GetCurrentThreadId();
  }
  HRESULT hr = CoCreateInstance(CLSID_VXWMI, nullptr, CLSCTX_SERVER, IID_IVXWMI, vxwmi_.put_void());
  if (SUCCEEDED(hr) && !vxwmi_) hr = E_NOINTERFACE;
  if (FAILED(hr)) {
    vxwmi_.Reset();
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, "Error: Failed to create instance of IVXWMI: 0x%04x", hr);
    return hr;
  }
  cookie_ = 0;
  hr = Connect();
  TBDPrint(TBCT_INFO, TBDLT_INFO, "QelHwInitialize: 0x%04x", hr);
  return hr;
}

// The service object's IVXWMICB connection point; logs the step that failed.
HRESULT CPowerClient::FindCallbackPoint(ComPtr<IConnectionPoint>* point, bool* noContainer) {
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = vxwmi_.As(&container);
  *noContainer = FAILED(hr);
  if (FAILED(hr)) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, "Object doesn't support CPC: 0x%04x", hr);
    return hr;
  }
  hr = container->FindConnectionPoint(IID_IVXWMICB, point->put());
  if (SUCCEEDED(hr) && !*point) hr = E_POINTER;
  if (FAILED(hr)) TBDPrint(TBDCT_LAST, TBDLT_ERROR, "IVXWMICB not supported: 0x%04x", hr);
  return hr;
}

HRESULT CPowerClient::Connect() {
  ComPtr<IConnectionPoint> point;
  bool noContainer = false;
  HRESULT hr = FindCallbackPoint(&point, &noContainer);
  if (FAILED(hr)) {
    if (noContainer) vxwmi_.Reset();  // an object without connection points is no service object
    return hr;
  }
  hr = sinkFactory_(&callback_, sink_.put());
  if (SUCCEEDED(hr) && !sink_) hr = E_OUTOFMEMORY;
  if (FAILED(hr)) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, "CVXWMICBSink sink creation unsuccessful: 0x%04x", hr);
    return hr;
  }
  hr = point->Advise(sink_.get(), &cookie_);
  if (FAILED(hr)) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, "Error: CVXWMICBSink sink registration unsuccessful: 0x%04x", hr);
    sink_.Reset();
    cookie_ = 0;
  }
  return hr;
}

void CPowerClient::UnInitialize() {
  CriticalSectionLock hold(lock_);
  if (vxwmi_) Disconnect();
  vxwmi_.Reset();
  sink_.Reset();
  cookie_ = 0;
  callback_ = nullptr;
  // Only the thread whose CoInitialize succeeded may balance it.
  if (apartment_ && apartmentThread_ == GetCurrentThreadId()) apartment_.reset();
}

void CPowerClient::Forget() {
  // The dead service's references on the sink went with it: drop them here.
  if (sink_) CoDisconnectObject(static_cast<IVXWMICB*>(sink_.get()), 0);
  vxwmi_.Reset();
  sink_.Reset();
  cookie_ = 0;
}

void CPowerClient::Disconnect() {
  ComPtr<IConnectionPoint> point;
  bool noContainer = false;
  if (FAILED(FindCallbackPoint(&point, &noContainer))) return;
  TBDPrint(TBCT_INFO, TBDLT_INFO, "CP->Unadvise");
  HRESULT hr = point->Unadvise(cookie_);
  if (FAILED(hr)) TBDPrint(TBDCT_LAST, TBDLT_ERROR, "Error: CVXWMICBSink sink unregistration unsuccessful: 0x%04x", hr);
}

CPowerClient::Ready CPowerClient::WaitForService(UniqueKernelHandle* event) const {
  event->reset(OpenEventA(SYNCHRONIZE, FALSE, kReadyEventName));
  if (!*event) return Ready::kNotRunning;
  return WaitForSingleObject(event->get(), readyWaitMs_) == WAIT_OBJECT_0 ? Ready::kReady : Ready::kTimedOut;
}

int32_t CPowerClient::GetPower(uint32_t* state) {
  CriticalSectionLock hold(lock_);
  int32_t result = ReadPower(state);
  TBDPrint(TBCT_INFO, TBDLT_INFO, "QelHWGetPower: 0x%04x", result);
  return result;
}

int32_t CPowerClient::ReadPower(uint32_t* state) {
  if (!vxwmi_) return QELHW_ERR_NOT_AVAILABLE;
  UniqueKernelHandle ready;
  HRESULT hr = E_FAIL;
  BYTE byte = 0;
  switch (WaitForService(&ready)) {
    case Ready::kNotRunning:
      TBDPrint(TBDCT_LAST, TBDLT_ERROR, "QelHWGetPower failed: QelVxWmi was not running");
      break;
    case Ready::kTimedOut:
      TBDPrint(TBDCT_LAST, TBDLT_ERROR, "QelHWGetPower failed: QelVxWmi not initialized (timeout)");
      break;
    case Ready::kReady:
      hr = vxwmi_->VXWMIGetPower(&byte);
      break;
  }
  ready.reset();
  // The service answers its own failures (4, 600) as success codes: only S_OK carries a state.
  if (hr != S_OK) {
    TBDPrint(TBDCT_LAST, TBDLT_ERROR, "QelHWGetPower failed: 0x%04x", hr);
    return QELHW_ERR_FAILED;
  }
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Power state: %i", byte);
  *state = byte;
  return QELHW_OK;
}

int32_t CPowerClient::SetPower(uint32_t state) {
  CriticalSectionLock hold(lock_);
  int32_t result = WritePower(state);
  TBDPrint(TBCT_INFO, TBDLT_INFO, "QelHWSetPower: 0x%04x", result);
  return result;
}

int32_t CPowerClient::WritePower(uint32_t state) {
  if (!vxwmi_) return QELHW_ERR_NOT_AVAILABLE;
  if (state != QELHW_POWER_ON && state != QELHW_POWER_OFF) return QELHW_ERR_INVALID_STATE;
  UniqueKernelHandle ready;
  switch (WaitForService(&ready)) {
    case Ready::kNotRunning:
      TBDPrint(TBDCT_LAST, TBDLT_ERROR, "QelHWSetPower failed: QelVxWmi was not running");
      return QELHW_ERR_NOT_AVAILABLE;
    case Ready::kTimedOut:
      TBDPrint(TBDCT_LAST, TBDLT_ERROR, "QelHWSetPower failed: QelVxWmi not initialized (timeout)");
      return QELHW_ERR_NOT_AVAILABLE;
    case Ready::kReady:
      break;
  }
  BYTE current = 0;
  HRESULT hr = vxwmi_->VXWMIGetPower(&current);
  ready.reset();
  if (hr != S_OK) return QELHW_ERR_NOT_AVAILABLE;
  if (current == QELHW_POWER_DISABLED) return QELHW_OK;
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Setting: %i", state);
  hr = vxwmi_->VXWMISetPower(static_cast<BYTE>(state));
  if (hr == S_OK) return QELHW_OK;
  TBDPrint(TBDCT_LAST, TBDLT_ERROR, "QelHWSetPower failed: 0x%04x", hr);
  return hr == QELHW_ERR_INVALID_STATE ? QELHW_ERR_INVALID_STATE : QELHW_ERR_NOT_AVAILABLE;
}

int32_t CPowerClient::RegisterCallback(QelHWCallback callback) {
  CriticalSectionLock hold(lock_);
  callback_ = callback;
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Callback: 0x%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(callback)));
  return QELHW_OK;
}
