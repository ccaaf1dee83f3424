// A scriptable stand-in for the service object: answers as told, records what it is asked,
// and calls the advised sink on request.
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <vector>

#include "QelVxWmiIds.h"

struct ServiceScript {
  HRESULT createHr = S_OK;     // the class object's CreateInstance
  bool hasContainer = true;    // answers IConnectionPointContainer
  HRESULT findHr = S_OK;       // FindConnectionPoint
  HRESULT adviseHr = S_OK;
  HRESULT getHr = S_OK;        // VXWMIGetPower
  HRESULT setHr = S_OK;        // VXWMISetPower
  BYTE state = 1;              // the state VXWMIGetPower delivers
  HRESULT typeInfoCountHr = E_NOTIMPL;  // GetTypeInfoCount
};

class FakeService : public IVXWMI, public IConnectionPointContainer, public IConnectionPoint {
 public:
  ServiceScript script;
  std::vector<BYTE> sets;  // states given to VXWMISetPower
  int gets = 0;
  int advises = 0;
  int unadvises = 0;
  DWORD lastUnadviseCookie = 0;

  // Calls the advised sink as the service would; false when none is advised.
  bool Fire(BYTE state) {
    if (!sink_) return false;
    sink_->VXWMICallback(state);
    return true;
  }
  bool HasSink() const { return sink_ != nullptr; }
  ULONG refs() const { return ref_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IVXWMI) {
      *ppv = static_cast<IVXWMI*>(this);
    } else if (riid == IID_IConnectionPointContainer && script.hasContainer) {
      *ppv = static_cast<IConnectionPointContainer*>(this);
    } else if (riid == IID_IConnectionPoint && script.hasContainer) {
      *ppv = static_cast<IConnectionPoint*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++ref_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG ref = --ref_;
    if (ref == 0) {
      if (sink_) sink_->Release();
      delete this;
    }
    return ref;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (SUCCEEDED(script.typeInfoCountHr)) *count = 1;
    return script.typeInfoCountHr;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  STDMETHODIMP VXWMISetPower(BYTE state) override {
    sets.push_back(state);
    return script.setHr;
  }
  STDMETHODIMP VXWMIGetPower(BYTE* state) override {
    ++gets;
    if (SUCCEEDED(script.getHr)) *state = script.state;
    return script.getHr;
  }

  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    *out = nullptr;
    if (FAILED(script.findHr)) return script.findHr;
    if (riid != IID_IVXWMICB) return CONNECT_E_NOCONNECTION;
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }

  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    *iid = IID_IVXWMICB;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override {
    *out = static_cast<IConnectionPointContainer*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    ++advises;
    *cookie = 0;
    if (FAILED(script.adviseHr)) return script.adviseHr;
    if (sink_) return CONNECT_E_ADVISELIMIT;
    HRESULT hr = sink->QueryInterface(IID_IVXWMICB, reinterpret_cast<void**>(&sink_));
    if (FAILED(hr)) return CONNECT_E_CANNOTCONNECT;
    *cookie = kCookie;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    ++unadvises;
    lastUnadviseCookie = cookie;
    if (cookie != kCookie || !sink_) return CONNECT_E_NOCONNECTION;
    sink_->Release();
    sink_ = nullptr;
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  static constexpr DWORD kCookie = 0x51;

 protected:
  virtual ~FakeService() = default;  // deleted by its last Release

 private:
  ULONG ref_ = 0;
  IVXWMICB* sink_ = nullptr;
};

// The class object the test registers for CLSID_VXWMI.
class FakeFactory : public IClassFactory {
 public:
  explicit FakeFactory(FakeService* service) : service_(service) {}
  // The object the next activations get, as a service started again would make.
  void SetService(FakeService* service) { service_ = service; }
  virtual ~FakeFactory() = default;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&ref_); }
  STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&ref_); }  // owned by the test
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (FAILED(service_->script.createHr)) return service_->script.createHr;
    return service_->QueryInterface(riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  LONG ref_ = 0;
  FakeService* service_;
};
