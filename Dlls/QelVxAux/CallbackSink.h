// The sink advised on the service's connection point: passes each power change to the
// caller's registered function, twice.
#pragma once
#include <atomic>

#include "QelVxAux.h"
#include "QelVxWmiIds.h"

class CVXWMICBSink : public IVXWMICB {
 public:
  // The registered function is read from *callback at each notification, without a lock.
  explicit CVXWMICBSink(const std::atomic<QelHWCallback>* callback) : callback_(callback) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP VXWMICallback(BYTE PowerState) override;

 private:
  virtual ~CVXWMICBSink() = default;
  ULONG ref_ = 0;  // single-threaded apartment: plain count
  const std::atomic<QelHWCallback>* callback_;
};
