// The simulated modem's state, by area, kept in the shared block. A zeroed record is the
// default modem of its area.
#pragma once
#include <cstdint>

// Identity, versions and radio.
struct SimSdkInfoState {
  uint32_t reserved;
};

// Activation, provisioning and lock.
struct SimSdkActivationState {
  uint32_t reserved;
};

// Parameters, NDIS mode and upgrade.
struct SimSdkParametersState {
  uint32_t reserved;
};

// Field-test trace.
struct SimSdkFieldTestState {
  uint32_t reserved;
};

// Short-message store and sending.
struct SimSdkSmsState {
  uint32_t reserved;
};
