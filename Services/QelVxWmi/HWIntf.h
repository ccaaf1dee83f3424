// The radio power state and the hardware interface the COM class calls through.
#pragma once
#include <windows.h>

#include <cstdint>

enum QelHWPowerState : uint32_t {
  QELHW_POWER_UNKNOWN = 0,
  QELHW_POWER_ON = 1,
  QELHW_POWER_OFF = 2,
  QELHW_POWER_DISABLED = 3,
  QELHW_POWER_NOT_INSTALLED = 4,
};

// Power-change function: receives a pointer to the new state (the callee reads its first
// byte); its result is ignored.
using HWNotifyCallback = HRESULT (*)(void* state);

class CHWIntf {
 public:
  virtual HRESULT SetPower(uint32_t state) = 0;
  virtual HRESULT GetPower(uint32_t* state) = 0;
  virtual ~CHWIntf() = default;
};

// Set and cleared by the service module; the COM class calls through it.
extern CHWIntf* g_pHWIntf;
