#include "BIOSWireless.h"
#include "PCHWIntf.h"
#include "devurezazeve.h"

#define SINK_LOG(...) TBDPrint(TBCT_INFO, TBDLT_INFO, __VA_ARGS__)

namespace {

int32_t ReadI4(IWbemClassObject* object, const wchar_t* name) {
  VARIANT v;
  VariantInit(&v);
  int32_t value = 0;
  if (object && SUCCEEDED(object->Get(name, 0, &v, nullptr, nullptr)) &&
      SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4)))
    value = v.lVal;
  VariantClear(&v);
  return value;
}

}  // namespace

STDMETHODIMP CWirelessEventSink::QueryInterface(REFIID riid, void** ppv) {
  SINK_LOG("CWirelessEventSink: QueryInterface");
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IWbemObjectSink) {
    *ppv = static_cast<IWbemObjectSink*>(this);
    AddRef();
    SINK_LOG("CWirelessEventSink: QueryInterface Completed NOERROR");
    return S_OK;
  }
  *ppv = nullptr;
  SINK_LOG("CWirelessEventSink: QueryInterface Completed E_NOINTERFACE");
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CWirelessEventSink::AddRef() {
  LONG ref = InterlockedIncrement(&m_lRef);
  SINK_LOG("CWirelessEventSink: AddRef Called.  lRef = %ld", static_cast<long>(ref));
  return ref;
}

STDMETHODIMP_(ULONG) CWirelessEventSink::Release() {
  LONG ref = InterlockedDecrement(&m_lRef);
  SINK_LOG("CWirelessEventSink::Release() Called. lRef = %ld", static_cast<long>(ref));
  if (ref == 0) delete this;
  return ref;
}

STDMETHODIMP CWirelessEventSink::Indicate(LONG count, IWbemClassObject** objects) {
  SINK_LOG("CWirelessEventSink::Indicate: WMI Event Fired with %d object(s)", static_cast<int>(count));
  for (LONG i = 0; objects && i < count; ++i) {
    int32_t id = ReadI4(objects[i], L"EventID");
    int32_t data = ReadI4(objects[i], L"EventData");
    SINK_LOG("CWirelessEventSink::Indicate: Event info EventID:%d, EventData: %d", id, data);
    if (id == kRadioEventId) {
      SINK_LOG("CWirelessEventSink IndicateToConsumer: BIOSEventID == 0x%x", kRadioEventId);
      if (g_pPCHWIntf) g_pPCHWIntf->NotifyCallback();
    }
  }
  SINK_LOG("CWirelessEventSink::Indicate: WMI Event Processing Completed");
  return WBEM_S_NO_ERROR;
}

STDMETHODIMP CWirelessEventSink::SetStatus(LONG flags, HRESULT result, BSTR, IWbemClassObject*) {
  if (flags == WBEM_STATUS_COMPLETE)
    SINK_LOG("CWirelessEventSink::SetStatus Call complete. hResult = 0x%X", result);
  else if (flags == WBEM_STATUS_PROGRESS)
    SINK_LOG("CWirelessEventSink::SetStatus Call in progress");
  return WBEM_S_NO_ERROR;
}
