#include "ClassFactory.h"

#include "ComModule.h"
#include "VXWMI.h"

STDMETHODIMP CVXWMIClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CVXWMIClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  return CVXWMI::CreateInstance(outer, riid, ppv);
}

STDMETHODIMP CVXWMIClassFactory::LockServer(BOOL lock) {
  if (lock)
    ComModuleLock();
  else
    ComModuleUnlock();
  return S_OK;
}
