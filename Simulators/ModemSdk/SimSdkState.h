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
  uint32_t fillTextBuffers;  // 1: texts repeat to fill the caller's whole buffer, unterminated
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
  uint32_t spc;              // the code QelPstUnlock accepts (0: any code)
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
// no result) and the packet zone QelGetTechPacketZone reports (when the script has no out).
struct SimSdkFieldTestState {
  char nai[72];
  uint16_t haSpiEnable;
  uint16_t aaaSpiEnable;
  uint32_t haSpi;
  uint32_t aaaSpi;
  uint16_t reverseTunneling;
  uint16_t packetZone;
  uint32_t homeAddress, primaryHa, secondaryHa;  // IPv4, network order
};

// Short-message store and sending.
constexpr int kSimSdkSmsSlots = 8;
constexpr int kSimSdkSmsTextSize = 240;
struct SimSdkSmsMessage {
  uint8_t params[216];  // the record's parameter block (CNS_SMS_PARAMS)
  uint16_t id;
  uint16_t textLength;
  uint32_t handedOut;  // retrieved (flag 0) and not deleted yet
  uint8_t text[kSimSdkSmsTextSize];
};
// With storeOn 0 (the default) the SMS entry points follow their scripts like every other.
// With storeOn 1 they serve the store: QelGetSMSMessageStatus reports the messages not handed out yet as its first counter and
// those handed out as its second. QelRetrieveSMSMessageEx with flag 0 hands out the first
// message not handed out yet, with flag 1 removes the first message and hands it out; both
// answer 1 when there is none. QelSetMessageRetrieved removes the message with the id (1 when
// none has it). QelStoreSMSMessage keeps a copy of the record, QelSendSMS moves it to the sent
// messages (1 when nothing is stored) and, when sendStatus is not 0, queues notification 18
// with sendStatus and sendCause (bytes 12 and 16) for the delivering thread.
struct SimSdkSmsState {
  uint32_t storeOn;
  uint32_t count;  // messages in the store
  SimSdkSmsMessage store[kSimSdkSmsSlots];
  uint32_t stored;  // a record is stored for sending
  SimSdkSmsMessage storedMessage;
  uint32_t sentCount;  // may exceed kSimSdkSmsSlots; sent keeps the first messages
  SimSdkSmsMessage sent[kSimSdkSmsSlots];
  uint32_t sendStatus;
  uint32_t sendCause;
};
