// The simulated modem's state, by area, kept in the shared block. A zeroed record is the
// default modem of its area.
#pragma once
#include <cstdint>

// Identity, versions and radio. Texts are reported when the entry's script has none;
// numbers are written unless the script has out bytes.
struct SimSdkInfoState {
  // QelGetMEIDESN's record fields, and QelGetESN's answer.
  uint16_t meidInUse, meidProvisioned;
  uint32_t meidHigh, meidLow, pseudoEsn;
  uint16_t esnPresent;
  uint32_t esn;
  char firmware[64], hardware[64], boot[64], driver[64];
  uint16_t prlVersion, eriVersion;
  // Radio: service indication, HDR service state, signal record, roaming, call state.
  uint32_t service;
  uint16_t hdrService;
  uint16_t cdmaRssi, cdmaEcio, hdrRssi, hdrEcio;
  uint16_t hdrRoaming;
  uint32_t roaming;
  uint32_t callState;
  uint16_t systemTime[7];  // QelGetSystemTime's seven outputs
};

// One NAM's numbers and secrets.
struct SimSdkNam {
  char mdn[32];
  char imsi[32];
  char sipUserId[64];
  char sipPassword[64];
  uint16_t homeSid, homeNid;
  uint16_t haLength, aaaLength;
  uint8_t ha[16], aaa[16];
  uint32_t prlLength;  // of the last PRL written (its first bytes in prl)
  uint8_t prl[64];
};

// Activation, provisioning and lock. Writes go to the pending NAM once QelPstUnlock has
// accepted the programming code (before that they are answered 0 and dropped); QelPstLock
// commits them (status 1, else 0) and locks again; a reset drops what is not committed and
// sets the activation status from the committed MDN (activated when it is not empty and does
// not begin with "00").
struct SimSdkActivationState {
  uint32_t spc;              // the code QelPstUnlock accepts
  uint32_t unlocked;         // 1 between an accepted QelPstUnlock and the next commit or reset
  uint16_t activated;        // what QelGetActivationStatus reports
  uint32_t resets;           // QelResetModem calls that took effect
  uint32_t commits;          // QelPstLock calls that committed
  SimSdkNam committed, pending;
  uint32_t prlFailures;      // QelSetPRL refuses this many calls first
  char dialled[32];          // the number of the last QelSetCallOriginateCmd
  uint16_t lockStatus;       // 0 unlocked, 1 locked
  char lockCode[16];         // QelLockModem and QelChangeLockPIN take it (any code while empty)
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
