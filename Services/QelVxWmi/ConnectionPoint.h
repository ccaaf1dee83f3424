// The connection point of one object: a list of advised sinks, a cookie per sink. A freed
// position is reused by the next Advise, lowest first.
#pragma once
#include <ocidl.h>
#include <olectl.h>

#include <vector>

class CConnectionPoint : public IConnectionPoint {
 public:
  // container: the owning object's controlling unknown; this point lives inside it.
  CConnectionPoint(IUnknown* container, const IID& iid) : container_(container), iid_(iid) {}
  virtual ~CConnectionPoint();
  CConnectionPoint(const CConnectionPoint&) = delete;
  CConnectionPoint& operator=(const CConnectionPoint&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return container_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return container_->Release(); }
  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** out) override;

  // The sink in the first position, or null (also when that position was unadvised).
  IUnknown* FirstSink() const { return sinks_.empty() ? nullptr : sinks_[0]; }
  const IID& Iid() const { return iid_; }
  void ReleaseAll();

 private:
  IUnknown* container_;
  IID iid_;
  std::vector<IUnknown*> sinks_;  // null: free; cookie = position + 1
};
