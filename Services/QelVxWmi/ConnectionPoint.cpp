#include "ConnectionPoint.h"

#include "SnapshotEnum.h"

using ConnectionsEnum = SnapshotEnum<IEnumConnections, CONNECTDATA, ConnectDataPolicy>;

CConnectionPoint::~CConnectionPoint() { ReleaseAll(); }

void CConnectionPoint::ReleaseAll() {
  std::vector<IUnknown*> sinks;
  sinks.swap(sinks_);
  for (IUnknown* s : sinks)
    if (s) s->Release();
}

STDMETHODIMP CConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  return container_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  IUnknown* typed = nullptr;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&typed))) || !typed)
    return CONNECT_E_CANNOTCONNECT;
  size_t slot = 0;
  while (slot < sinks_.size() && sinks_[slot]) ++slot;
  if (slot == sinks_.size()) sinks_.push_back(nullptr);
  sinks_[slot] = typed;
  *cookie = static_cast<DWORD>(slot + 1);
  return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD cookie) {
  if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1]) return CONNECT_E_NOCONNECTION;
  IUnknown* sink = sinks_[cookie - 1];
  sinks_[cookie - 1] = nullptr;
  sink->Release();  // may call back into us: the slot is already free
  return S_OK;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** out) {
  if (!out) return E_POINTER;
  std::vector<CONNECTDATA> items;
  for (size_t i = 0; i < sinks_.size(); ++i) {
    if (!sinks_[i]) continue;
    sinks_[i]->AddRef();
    items.push_back(CONNECTDATA{sinks_[i], static_cast<DWORD>(i + 1)});
  }
  return ConnectionsEnum::Create(std::move(items), 0, out);
}
