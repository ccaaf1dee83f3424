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
