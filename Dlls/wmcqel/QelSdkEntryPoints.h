// The SDK entry points the plug-in binds, in binding order, with their signature type and
// how a missing one is treated. X(name, type, kind):
//   base list, kind REQUIRED or OPTIONAL (a library lacking a required name is refused);
//   EV-DO list, kind SDK5 (5 when closed, 5 when unbound), SDK1 (5 when closed, 1 when
//   unbound), ANY1 (no open check, 1 when unbound) or NONE (bound, never called).
// The simulated SDK's export lists are generated from this file.
#pragma once
#include "QelSdk.h"

#define QEL_SDK_BASE_ENTRY_POINTS(X)                           \
  X(QelApiOpenEx, PFN_QelApiOpenEx, REQUIRED)                  \
  X(QelApiClose, PFN_QelApiClose, REQUIRED)                    \
  X(QelNotify, PFN_QelNotify, REQUIRED)                        \
  X(QelStopNotify, PFN_QelStopNotify, REQUIRED)                \
  X(QelRegisterCallback, PFN_QelRegisterCallback, REQUIRED)    \
  X(QelGetServiceIndication, PFN_QelGetRecord, REQUIRED)       \
  X(QelIsModemReady, PFN_QelTimeout, REQUIRED)                 \
  X(QelGetESN, PFN_QelGetRecord, REQUIRED)                     \
  X(QelGetMEIDESN, PFN_QelGetRecord, REQUIRED)                 \
  X(QelGetFirmwareVersion, PFN_QelGetText, REQUIRED)           \
  X(QelGetHardwareVersion, PFN_QelGetText, REQUIRED)           \
  X(QelGetBootVersion, PFN_QelGetText, REQUIRED)               \
  X(QelGetDriverVersion, PFN_QelGetText, REQUIRED)             \
  X(QelGetPRLVersion, PFN_QelGetRecord, REQUIRED)              \
  X(QelGetTemperature, PFN_QelGetRecord, REQUIRED)             \
  X(QelGetActivationStatus, PFN_QelGetRecord, REQUIRED)        \
  X(QelGetPhoneNumber, PFN_QelUnwrapped, REQUIRED)             \
  X(QelPriGetVoiceDataMask, PFN_QelUnwrapped, REQUIRED)        \
  X(QelGetRssi, PFN_QelUnwrapped, REQUIRED)                    \
  X(QelGetChannelNumber, PFN_QelUnwrapped, REQUIRED)           \
  X(QelGetCurrentBaseStation, PFN_QelUnwrapped, REQUIRED)      \
  X(QelGetRoamingStatus, PFN_QelGetRecord, REQUIRED)           \
  X(QelGetSystemTime, PFN_QelGetSystemTime, REQUIRED)          \
  X(QelGetSMSMessageStatus, PFN_QelGetRecord, REQUIRED)        \
  X(QelRetrieveSMSMessageEx, PFN_QelRetrieveSMSMessageEx, REQUIRED) \
  X(QelStoreSMSMessage, PFN_QelSetRecord, REQUIRED)            \
  X(QelSendSMS, PFN_QelTimeout, REQUIRED)                      \
  X(QelClearVoicemail, PFN_QelUnwrapped, REQUIRED)             \
  X(QelSetMessageRetrieved, PFN_QelSetU16, OPTIONAL)           \
  X(QelGetHeadsetState, PFN_QelUnwrapped, REQUIRED)            \
  X(QelGetSpeakerVolume, PFN_QelUnwrapped, REQUIRED)           \
  X(QelSetSpeakerVolume, PFN_QelUnwrapped, REQUIRED)           \
  X(QelGetSpeakerMuteStatus, PFN_QelUnwrapped, REQUIRED)       \
  X(QelSetSpeakerMuteStatus, PFN_QelUnwrapped, REQUIRED)       \
  X(QelGetToneLevel, PFN_QelUnwrapped, REQUIRED)               \
  X(QelSetToneLevel, PFN_QelUnwrapped, REQUIRED)               \
  X(QelGetDTMFMuteStatus, PFN_QelUnwrapped, REQUIRED)          \
  X(QelSetDTMFMuteStatus, PFN_QelUnwrapped, REQUIRED)          \
  X(QelGetMICMuteStatus, PFN_QelUnwrapped, REQUIRED)           \
  X(QelSetMICMuteStatus, PFN_QelUnwrapped, REQUIRED)           \
  X(QelSetDTMFKey, PFN_QelUnwrapped, REQUIRED)                 \
  X(QelGetDTMFDuration, PFN_QelUnwrapped, REQUIRED)            \
  X(QelSetDTMFDuration, PFN_QelUnwrapped, REQUIRED)            \
  X(QelSetKeyPressed, PFN_QelUnwrapped, REQUIRED)              \
  X(QelSetKeyReleased, PFN_QelUnwrapped, REQUIRED)             \
  X(QelPstGetMinuteCallBeep, PFN_QelUnwrapped, REQUIRED)       \
  X(QelPstSetMinuteCallBeep, PFN_QelUnwrapped, REQUIRED)       \
  X(QelPstGetServiceAreaAlert, PFN_QelUnwrapped, REQUIRED)     \
  X(QelPstSetServiceAreaAlert, PFN_QelUnwrapped, REQUIRED)     \
  X(QelGetCallConnectionState, PFN_QelGetRecord, REQUIRED)     \
  X(QelGetAnswerState, PFN_QelUnwrapped, REQUIRED)             \
  X(QelSetAnswerState, PFN_QelUnwrapped, REQUIRED)             \
  X(QelGetCallerID, PFN_QelUnwrapped, REQUIRED)                \
  X(QelSetCallAnswerCmd, PFN_QelUnwrapped, REQUIRED)           \
  X(QelSetCallFlashCmd, PFN_QelUnwrapped, REQUIRED)            \
  X(QelSetCallOriginateCmd, PFN_QelSetCallOriginateCmd, REQUIRED) \
  X(QelSetCallDisconnectCmd, PFN_QelNoArgs, REQUIRED)          \
  X(QelGetNamInfo, PFN_QelGetNamInfo, REQUIRED)                \
  X(QelGetMobileDirNum, PFN_QelGetNamText, REQUIRED)           \
  X(QelGetIMSI, PFN_QelGetNamText, REQUIRED)                   \
  X(QelPstGetHomeSidNid, PFN_QelGetNamRecord, REQUIRED)        \
  X(QelPstGetSipUserId, PFN_QelGetText, REQUIRED)              \
  X(QelPstGetSipPassword, PFN_QelGetText, REQUIRED)            \
  X(QelPstGetSip2UserId, PFN_QelUnwrapped, REQUIRED)           \
  X(QelPstGetSip2Password, PFN_QelUnwrapped, REQUIRED)         \
  X(QelPstSetDsMipGenUser, PFN_QelUnwrapped, REQUIRED)         \
  X(QelPstGetDsMipGenUser, PFN_QelPstGetDsMipGenUser, REQUIRED) \
  X(QelPstSetCurrentNam, PFN_QelSetU16, REQUIRED)              \
  X(QelPstUnlock, PFN_QelSetU32, REQUIRED)                     \
  X(QelSetMobileDirNum, PFN_QelSetNamRecord, REQUIRED)         \
  X(QelSetIMSI, PFN_QelSetNamRecord, REQUIRED)                 \
  X(QelPstSetHomeSidNid, PFN_QelPstSetHomeSidNid, REQUIRED)    \
  X(QelPstSetSipUserId, PFN_QelSetRecord, REQUIRED)            \
  X(QelPstSetSip2UserId, PFN_QelUnwrapped, REQUIRED)           \
  X(QelPstSetSipPassword, PFN_QelSetRecord, REQUIRED)          \
  X(QelPstSetSip2Password, PFN_QelUnwrapped, REQUIRED)         \
  X(QelPstLock, PFN_QelPstLock, REQUIRED)                      \
  X(QelResetModem, PFN_QelNoArgs, REQUIRED)                    \
  X(QelLockModem, PFN_QelLockModem, REQUIRED)                  \
  X(QelGetLockStatus, PFN_QelGetRecord, REQUIRED)              \
  X(QelChangeLockPIN, PFN_QelChangeLockPIN, OPTIONAL)          \
  X(QelGetTechBSInfo, PFN_QelUnwrapped, REQUIRED)              \
  X(QelPstGetSystemPref, PFN_QelGetNamRecord, OPTIONAL)

#define QEL_SDK_EVDO_ENTRY_POINTS(X)                                 \
  X(QelGetRssiEcio, PFN_QelGetRecord, SDK5)                          \
  X(QelGetHdrSrvState, PFN_QelGetRecord, SDK5)                       \
  X(QelGetHdrRoamStatus, PFN_QelGetRecord, SDK5)                     \
  X(QelSetHdrHybrPref, PFN_QelSetU16, SDK5)                          \
  X(QelGetHdrHybrPref, PFN_QelGetRecord, SDK5)                       \
  X(QelPstGetDsQcMip, PFN_QelGetRecord, SDK5)                        \
  X(QelPstSetDsQcMip, PFN_QelSetU16, SDK5)                           \
  X(QelPstGetAccolc, PFN_QelGetNamRecord, SDK5)                      \
  X(QelPstSetAccolc, PFN_QelSetNamU16, SDK5)                         \
  X(QelPstGetPrefMode, PFN_QelGetNamRecord, SDK5)                    \
  X(QelPstSetPrefMode, PFN_QelSetNamU16, SDK5)                       \
  X(QelPstGetSci, PFN_QelGetRecord, SDK5)                            \
  X(QelGetTechPacketZone, PFN_QelGetRecord, SDK5)                    \
  X(QelGetERIVer, PFN_QelGetERIVer, SDK5)                            \
  X(QelSetPower, PFN_QelSetMode, SDK1)                               \
  X(QelGetPower, PFN_QelGetMode, SDK1)                               \
  X(QelGetNDISMode, PFN_QelGetMode, SDK1)                            \
  X(QelSetNDISPrefMode, PFN_QelSetMode, SDK1)                        \
  X(QelPstSetDsMipSsUserProf, PFN_QelPstSetDsMipSsUserProf, SDK1)    \
  X(QelPstGetDsMipSsUserProf, PFN_QelPstGetDsMipSsUserProf, SDK1)    \
  X(QelSetPRL, PFN_QelSetPRL, SDK1)                                  \
  X(QelVerifyUpgradeRequired, PFN_QelVerifyUpgradeRequired, ANY1)    \
  X(QelGetAutoconnect, PFN_QelUnwrapped, NONE)                       \
  X(QelSetAutoconnect, PFN_QelSetU16, SDK1)

// Entry points of the same library that only the device information module binds.
#define QEL_SDK_MODULE_ENTRY_POINTS(X)                   \
  X(QelGetFirmwareBuildDate, PFN_QelGetText, MODULE)     \
  X(QelGetCarrierID, PFN_QelGetRecord, MODULE)

#define QEL_SDK_COUNT_ONE(name, type, kind) +1
constexpr int kSdkBaseEntryPoints = 0 QEL_SDK_BASE_ENTRY_POINTS(QEL_SDK_COUNT_ONE);
constexpr int kSdkEvdoEntryPoints = 0 QEL_SDK_EVDO_ENTRY_POINTS(QEL_SDK_COUNT_ONE);
static_assert(kSdkBaseEntryPoints == 83, "83 base entry points");
static_assert(kSdkEvdoEntryPoints == 24, "24 EV-DO entry points");
