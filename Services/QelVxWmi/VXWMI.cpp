#include "VXWMI.h"

#include <algorithm>
#include <new>
#include <vector>

#include "CnxMgr.h"
#include "ComErrors.h"
#include "ComModule.h"
#include "ComPtr.h"
#include "FanOut.h"
#include "SnapshotEnum.h"
#include "FunctionTrace.h"
#include "HWIntf.h"
#include "Registration.h"
#include "devurezazeve.h"

namespace {
constexpr HRESULT kResultOk = 0;
constexpr HRESULT kResultInvalidState = 4;
constexpr HRESULT kResultNotAvailable = 600;

// While this apartment waits in an outgoing call (a firmware read, a sink's callback) COM
// lets other clients' calls in on the same thread. These record what such a nested call did.
uint32_t g_writes = 0;  // power writes made by VXWMISetPower
constexpr int kReadAttempts = 3;

void SendToAllCnx(BYTE state);
CFanOut g_fanOut(SendToAllCnx);

// Objects that found every slot taken, oldest first. A slot that a gone client held goes
// to the first of them: the client turned away because of it does not stay unheard.
std::vector<CVXWMI*> g_unlisted;
}  // namespace

HRESULT CVXWMI::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  auto* object = new (std::nothrow) CVXWMI(outer);
  if (!object) return E_OUTOFMEMORY;
  // Hold the object across the query, so a failed one frees it.
  object->m_inner.AddRef();
  HRESULT hr = object->m_inner.QueryInterface(riid, ppv);
  object->m_inner.Release();
  return hr;
}

CVXWMI::CVXWMI(IUnknown* outer)
    : m_inner(this), m_outer(outer ? outer : &m_inner), m_callbackPoint(m_outer, IID_IVXWMICB) {
  ComModuleLock();
  FUNCTION_TRACE("CVXWMI::CVXWMI");
  if (CCnxMgr* manager = CCnxMgr::GetInstance())
    if (manager->AddCnx(this) < 0) g_unlisted.push_back(this);
}

CVXWMI::~CVXWMI() {
  {
    FUNCTION_TRACE("CVXWMI::~CVXWMI");
    g_unlisted.erase(std::remove(g_unlisted.begin(), g_unlisted.end(), this), g_unlisted.end());
    if (!m_dropped)
      if (CCnxMgr* manager = CCnxMgr::GetInstance()) manager->DelCnx(this);
    if (m_typeInfo) m_typeInfo->Release();
  }
  ComModuleUnlock();
}

STDMETHODIMP CVXWMI::Inner::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown)
    *ppv = static_cast<IUnknown*>(this);
  else if (riid == IID_IVXWMI || riid == IID_IDispatch)
    *ppv = static_cast<IVXWMI*>(self_);
  else if (riid == IID_IConnectionPointContainer)
    *ppv = static_cast<IConnectionPointContainer*>(self_);
  else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CVXWMI::Inner::AddRef() { return ++self_->m_ref; }

STDMETHODIMP_(ULONG) CVXWMI::Inner::Release() {
  ULONG ref = --self_->m_ref;
  if (ref == 0) delete self_;
  return ref;
}

HRESULT CVXWMI::LoadTypeInfo() {
  if (m_typeInfo) return S_OK;
  // The type library is resource 1 of the program that serves the class.
  wchar_t path[MAX_PATH];
  if (!ProgramPath(path)) return E_FAIL;
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, library.put());
  if (SUCCEEDED(hr)) hr = library->GetTypeInfoOfGuid(IID_IVXWMI, &m_typeInfo);
  return hr;
}

STDMETHODIMP CVXWMI::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP CVXWMI::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  m_typeInfo->AddRef();
  *info = m_typeInfo;
  return S_OK;
}

STDMETHODIMP CVXWMI::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = LoadTypeInfo();
  return FAILED(hr) ? hr : DispGetIDsOfNames(m_typeInfo, names, count, ids);
}

STDMETHODIMP CVXWMI::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argError) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  HRESULT hr = LoadTypeInfo();
  if (FAILED(hr)) return hr;
  return DispInvoke(static_cast<IVXWMI*>(this), m_typeInfo, id, flags, params, result, exception, argError);
}

STDMETHODIMP CVXWMI::VXWMISetPower(BYTE PowerState) {
  FUNCTION_TRACE("CVXWMI::VXWMISetPower");
  FanOutCall call(g_fanOut);
  CriticalSectionLock lock(m_lock);
  if (!g_pHWIntf) return kResultNotAvailable;
  if (PowerState != QELHW_POWER_ON && PowerState != QELHW_POWER_OFF) return kResultInvalidState;
  uint32_t current = QELHW_POWER_UNKNOWN;
  // A set that ran while the read was waiting wrote after the status it answers: read again,
  // so the write follows the status it replaces.
  for (int attempt = 1;; ++attempt) {
    uint32_t writesBefore = g_writes;
    if (FAILED(g_pHWIntf->GetPower(&current))) return kResultNotAvailable;
    if (g_writes == writesBefore || attempt == kReadAttempts) break;
  }
  if (current == QELHW_POWER_DISABLED) return kResultOk;
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Setting power state: %i", static_cast<int>(PowerState));
  ++g_writes;
  // A failed firmware write is a failure to the client.
  return FAILED(g_pHWIntf->SetPower(PowerState)) ? kResultNotAvailable : kResultOk;
}

STDMETHODIMP CVXWMI::VXWMIGetPower(BYTE* PowerState) {
  FUNCTION_TRACE("CVXWMI::VXWMIGetPower");
  FanOutCall call(g_fanOut);
  CriticalSectionLock lock(m_lock);
  if (!PowerState) return E_POINTER;
  if (!g_pHWIntf) return kResultNotAvailable;
  uint32_t state = QELHW_POWER_UNKNOWN;
  // A failed read hands out no state.
  if (FAILED(g_pHWIntf->GetPower(&state))) return kResultNotAvailable;
  *PowerState = static_cast<BYTE>(state);
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Got power state: %i", static_cast<int>(*PowerState));
  return kResultOk;
}

STDMETHODIMP CVXWMI::EnumConnectionPoints(IEnumConnectionPoints** out) {
  using PointsEnum = SnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, InterfaceItemPolicy>;
  m_callbackPoint.AddRef();
  return PointsEnum::Create({&m_callbackPoint}, 0, out);
}

STDMETHODIMP CVXWMI::FindConnectionPoint(REFIID riid, IConnectionPoint** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (riid != IID_IVXWMICB) return CONNECT_E_NOCONNECTION;
  m_callbackPoint.AddRef();
  *out = &m_callbackPoint;
  return S_OK;
}

HRESULT CVXWMI::Fire_VXWMICallback(BYTE state) {
  HRESULT hr = E_FAIL;
  if (IUnknown* first = m_callbackPoint.FirstSink()) {
    ComPtr<IVXWMICB> sink(static_cast<IVXWMICB*>(first));
    TBDPrint(TBCT_INFO, TBDLT_INFO, "Fire_VXWMICallback: %i", static_cast<int>(state));
    hr = sink->VXWMICallback(state);
  }
  return hr;
}

void CVXWMI::DropConnection() {
  if (m_dropped) return;
  m_dropped = true;
  CCnxMgr* manager = CCnxMgr::GetInstance();
  if (manager && manager->DelCnx(this) >= 0 && !g_unlisted.empty()) {
    CVXWMI* waiting = g_unlisted.front();
    g_unlisted.erase(g_unlisted.begin());
    manager->AddCnx(waiting);
  }
  m_callbackPoint.ReleaseAll();
  // Lets go of the references the dead client's stubs hold, so the object goes now rather
  // than when COM notices that its client has ended.
  CoDisconnectObject(m_outer, 0);
}

namespace {
void SendToAllCnx(BYTE state) {
  CCnxMgr* manager = CCnxMgr::GetInstance();
  if (!manager) return;
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Total Connections: %i", manager->Count());
  TBDPrint(TBCT_INFO, TBDLT_INFO, "Sending Notification: %i", static_cast<int>(state));
  for (int i = 0; i < CCnxMgr::kSlots; ++i) {
    CVXWMI* object = manager->At(i);
    if (!object) continue;
    TBDPrint(TBCT_INFO, TBDLT_INFO, "Notifying 0x%04x - index %i", LogAddress(object), i);
    // The sink's call may release the object: keep it alive until the call returns.
    object->AddRef();
    HRESULT hr = object->Fire_VXWMICallback(state);
    if (FAILED(hr)) TBDPrint(TBCT_INFO, TBDLT_ERROR, "Failed to notify connection: %i - HR = 0x%04x", i, hr);
    // A client whose process is gone never answers again: its slot goes to the next one.
    if (IsPeerGone(hr)) object->DropConnection();
    object->Release();
  }
}
}  // namespace

HRESULT NotifyAllCnx(void* state) {
  g_fanOut.Post(*static_cast<const BYTE*>(state));
  return E_FAIL;
}

void StopNotifications() { g_fanOut.Stop(); }
