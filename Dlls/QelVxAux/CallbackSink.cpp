#include "CallbackSink.h"

#include "devurezazeve.h"

STDMETHODIMP CVXWMICBSink::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IVXWMICB) {
    *ppv = static_cast<IVXWMICB*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CVXWMICBSink::AddRef() { return ++ref_; }

STDMETHODIMP_(ULONG) CVXWMICBSink::Release() {
  ULONG ref = --ref_;
  if (ref == 0) delete this;
  return ref;
}

namespace {
const char* StateName(BYTE state) {
  switch (state) {
    case 1: return "On";
    case 2: return "Off";
    case 3: return "Disable";
    default: return "Unknown";
  }
}
}  // namespace

STDMETHODIMP CVXWMICBSink::VXWMICallback(BYTE PowerState) {
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Power State: %i", PowerState);
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Power Notification: %s", StateName(PowerState));
  QelHWCallback callback = callback_->load();
  if (!callback || PowerState == 0) return S_OK;

  QelHWNotifyRecord record = {0, 0, PowerState};
  TBDPrint(TBCT_INFO, TBDLT_INFO, "calling user defined callback function");
  callback(&record);
  record.Type = QELHW_NOTIFY_Power;
  TBDPrint(TBCT_INFO, TBDLT_INFO, "calling user defined callback function again");
  callback(&record);
  return S_OK;
}
