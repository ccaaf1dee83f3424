// Shared pieces of the service tests: the simulated firmware held for a test, and a sink
// that records the power changes it receives.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ComPtr.h"
#include "FirmwareSim.h"
#include "QelVxWmiIds.h"
#include "ServerProcess.h"

// Holds the simulated firmware's state for the test, reset to its defaults.
class FirmwareFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Open());
    sim_.Reset();
  }
  void SetStatus(BYTE b0, BYTE b1, BYTE b2, BYTE b3) {
    sim_.Update([=](FirmwareSimBlock& b) {
      b.status[0] = b0, b.status[1] = b1, b.status[2] = b2, b.status[3] = b3;
    });
  }
  void SetFlags(uint32_t flags) {
    sim_.Update([=](FirmwareSimBlock& b) { b.flags = flags; });
  }
  FirmwareSim sim_;
};

// An IVXWMICB sink; result is what its callback answers.
class RecordingSink : public IVXWMICB {
 public:
  explicit RecordingSink(HRESULT result = S_OK) : result_(result) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IVXWMICB) {
      *ppv = static_cast<IVXWMICB*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&ref_); }
  STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&ref_); }  // lives on the stack
  STDMETHODIMP VXWMICallback(BYTE state) override {
    states.push_back(state);
    if (onCall) onCall();
    return result_;
  }
  LONG refs() const { return ref_; }
  std::vector<BYTE> states;
  std::function<void()> onCall;

 private:
  LONG ref_ = 0;
  HRESULT result_;
};

using qeltest::PumpUntil;
