// The COM class VXWMI: radio power through IVXWMI, power changes to the sink advised first.
#pragma once
#include "ConnectionPoint.h"
#include "CriticalSection.h"
#include "QelVxWmiIds.h"

class CVXWMI : public IVXWMI, public IConnectionPointContainer {
 public:
  // outer: the controlling unknown when aggregated, else null.
  static HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv);

  // IUnknown: delegates to the controlling unknown.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return m_outer->QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return m_outer->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_outer->Release(); }

  // IDispatch, served from the type library.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // IVXWMI
  STDMETHODIMP VXWMISetPower(BYTE PowerState) override;
  STDMETHODIMP VXWMIGetPower(BYTE* PowerState) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** out) override;

  HRESULT Fire_VXWMICallback(BYTE state);
  // The client is gone: frees the object's slot (to an object that found none), its sinks
  // and the client's references.
  void DropConnection();

 private:
  // The object's own identity; the controlling unknown unless aggregated.
  class Inner : public IUnknown {
   public:
    explicit Inner(CVXWMI* self) : self_(self) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    CVXWMI* self_;
  };

  explicit CVXWMI(IUnknown* outer);
  virtual ~CVXWMI();
  HRESULT LoadTypeInfo();

  Inner m_inner;
  IUnknown* m_outer;
  ULONG m_ref = 0;  // single-threaded apartment: plain count
  CConnectionPoint m_callbackPoint;
  ITypeInfo* m_typeInfo = nullptr;
  CriticalSection m_lock;
  bool m_dropped = false;  // its slot was freed by DropConnection
};

// The hardware interface's power-change function: fires VXWMICallback on every listed object
// from the apartment's message loop, after the call that made the change has returned.
HRESULT NotifyAllCnx(void* state);
// Drops a change not yet sent; on the apartment thread when its loop has ended.
void StopNotifications();
