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

// Parameters, NDIS mode and upgrade. The provisioning reads report these values and the
// writes store them (a scripted out still wins on a read, a scripted result on either).
struct SimSdkParametersState {
  uint16_t prefMode;        // QelPstGetPrefMode / QelPstSetPrefMode (4 automatic, 9, 10)
  uint16_t hybridPref;      // QelGetHdrHybrPref / QelSetHdrHybrPref
  uint16_t qcMip;           // QelPstGetDsQcMip / QelPstSetDsQcMip
  uint16_t accolc;          // QelPstGetAccolc / QelPstSetAccolc
  uint16_t systemPref;      // QelPstGetSystemPref
  uint16_t sci;             // QelPstGetSci
  uint32_t ndisOffered;     // byte 0 of QelGetNDISMode's record
  uint32_t ndisMode;        // its mode word; QelSetNDISPrefMode stores it
  uint32_t autoconnect;     // QelSetAutoconnect stores it
  int32_t ndisAnswer;       // both NDIS entry points answer it instead of 0 (911: no NDIS mode)
  uint32_t upgradeScripted; // 1: QelVerifyUpgradeRequired reports the two values below
  int32_t upgradeStatus;    // the SDK's upgrade status
  uint32_t upgradeLength;   // the length reported back; 0: the path's own length
  char upgradePath[300];    // copied to the caller's buffer, at most the length it passes
  char checkPath[264];      // the path the caller passed, as the SDK received it (cut to 263)
};

// Field-test trace: QelPstGetDsMipGenUser's Mobile IP profile (written when the script has
// no result).
struct SimSdkFieldTestState {
  char nai[72];
  uint16_t haSpiEnable;
  uint16_t aaaSpiEnable;
  uint32_t haSpi;
  uint32_t aaaSpi;
  uint16_t reverseTunneling;
  uint16_t reserved;
  uint32_t homeAddress, primaryHa, secondaryHa;  // IPv4, network order
};

// Short-message store and sending.
struct SimSdkSmsState {
  uint32_t reserved;
};
