// The modem SDK's boundary as this plug-in (and the device information module) use it:
// the notification record, the time-outs callers pass and one signature per entry point.
// The SDK is loaded at run time by file name and bound by name; nothing links against it.
// Every entry point uses the C calling convention (QELSDK_CALL) and returns a 32-bit code,
// 0 = success; outputs go to caller-owned variables and buffers.
#pragma once
#include <cstddef>
#include <cstdint>

#define QELSDK_CALL __cdecl

// The record the SDK hands to the registered function; valid only during the call.
struct SDK_NOTIF {
  uint32_t id;
  uint32_t data[8];
};
static_assert(sizeof(SDK_NOTIF) == 36, "SDK_NOTIF is an id and eight words");
static_assert(offsetof(SDK_NOTIF, data) == 4, "SDK_NOTIF data follows the id");

// Time-outs in milliseconds.
constexpr uint32_t kSdkTimeout = 3000;          // the rule
constexpr uint32_t kSdkTimeoutPst = 5000;       // provisioning calls, boot and driver version reads
constexpr uint32_t kSdkTimeoutNamSwitch = 10000;
constexpr uint32_t kSdkTimeoutNotify = 12000;   // enabling a notification
constexpr uint32_t kSdkTimeoutTemperature = 100;  // the field-test temperature read

// Open modes and results.
enum : int32_t {
  QEL_OPEN_MODE_CDMA1X = 3,
  QEL_OPEN_MODE_PASSPHRASE = 11,
  QEL_OPEN_MODE_GSM = 13,
  QEL_OPEN_MODE_EVDO_FALLBACK = 14,
  QEL_OPEN_MODE_EVDO_FIRST = 15,
  QEL_OPEN_MODE_EVDO = 18,
};
enum : int32_t {
  QEL_RESULT_OK = 0,
  QEL_RESULT_OPEN_RETRY = 400,  // with 5: the plug-in tries the pair's second mode
  QEL_RESULT_DEVICE_A = 903,
  QEL_RESULT_DEVICE_B = 909,
  QEL_RESULT_OPEN_FAILED = 910,
  QEL_RESULT_NDIS_NOT_OFFERED = 911,
};

// The open record: the SDK fills it; the plug-in reads the model code only.
constexpr size_t kSdkOpenRecordSize = 588;
constexpr size_t kSdkOpenRecordModelOffset = 32;

// A notification id is enabled with QelNotify and disabled with QelStopNotify.
extern "C" {
typedef void(QELSDK_CALL* QelNotifyFn)(const SDK_NOTIF* record);

typedef uint32_t(QELSDK_CALL* PFN_QelApiOpenEx)(int32_t mode, void* record);
typedef uint32_t(QELSDK_CALL* PFN_QelApiClose)(void);
typedef uint32_t(QELSDK_CALL* PFN_QelNotify)(uint32_t id, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelStopNotify)(uint32_t id, uint32_t timeout);
// The plug-in passes the function alone; mask (the module's all-ones) is optional.
typedef uint32_t(QELSDK_CALL* PFN_QelRegisterCallback)(QelNotifyFn fn, uint64_t mask);

// No arguments.
typedef uint32_t(QELSDK_CALL* PFN_QelNoArgs)(void);
// A time-out only.
typedef uint32_t(QELSDK_CALL* PFN_QelTimeout)(uint32_t timeout);
// Pointer to a result variable or record (its width is the calling code's), time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelGetRecord)(void* out, uint32_t timeout);
// Pointer to an input record or text, time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelSetRecord)(const void* in, uint32_t timeout);
// Text buffer, its size, time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelGetText)(char* buffer, uint32_t size, uint32_t timeout);
// NAM, text buffer, its size, time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelGetNamText)(uint16_t nam, char* buffer, uint32_t size, uint32_t timeout);
// A 16-bit value, time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelSetU16)(uint16_t value, uint32_t timeout);
// A 32-bit value, time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelSetU32)(uint32_t value, uint32_t timeout);
// NAM, pointer to a result variable or record, time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelGetNamRecord)(uint16_t nam, void* out, uint32_t timeout);
// NAM, pointer to input, time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelSetNamRecord)(uint16_t nam, const void* in, uint32_t timeout);
// NAM, 16-bit value, time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelSetNamU16)(uint16_t nam, uint16_t value, uint32_t timeout);

// The 80-byte home SID/NID record, passed by value to QelPstSetHomeSidNid.
struct QEL_HOME_SID_NID {
  uint8_t bytes[80];
};
static_assert(sizeof(QEL_HOME_SID_NID) == 80, "home SID/NID record");
typedef uint32_t(QELSDK_CALL* PFN_QelPstSetHomeSidNid)(uint16_t nam, QEL_HOME_SID_NID record, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelRetrieveSMSMessageEx)(void* record, uint32_t flag, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelSetCallOriginateCmd)(uint32_t callType, const char* number, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelGetNamInfo)(void* count, void* info, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelLockModem)(const char* code, void* status, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelChangeLockPIN)(const char* oldCode, const char* newCode, void* result,
                                                    uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelPstLock)(uint16_t a, uint16_t b, void* status, void* info, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelGetSystemTime)(void* t1, void* t2, void* t3, void* t4, void* t5, void* t6,
                                                    void* t7, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelPstGetDsMipGenUser)(uint16_t nam, uint16_t size, char* nai, void* haSpiEnable,
                                                         void* haSpi, void* aaaSpiEnable, void* aaaSpi,
                                                         void* reverseTunneling, void* homeAddress,
                                                         void* primaryHa, void* secondaryHa, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelGetERIVer)(const char* name, void* out, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelSetMode)(uint32_t mode);   // QelSetPower, QelSetNDISPrefMode
typedef uint32_t(QELSDK_CALL* PFN_QelGetMode)(void* out);       // QelGetPower, QelGetNDISMode
typedef uint32_t(QELSDK_CALL* PFN_QelPstSetDsMipSsUserProf)(uint16_t nam, uint16_t haLength, const uint8_t* ha,
                                                            uint16_t aaaLength, const uint8_t* aaa,
                                                            uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelPstGetDsMipSsUserProf)(uint16_t nam, uint8_t* ha, uint16_t* haLength,
                                                            uint16_t haCapacity, uint8_t* aaa,
                                                            uint16_t* aaaLength, uint16_t aaaCapacity,
                                                            uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelSetPRL)(uint16_t nam, const void* data, uint16_t length, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelVerifyUpgradeRequired)(const char* path, void* status, char* buffer,
                                                            void* length, uint32_t timeout);
// Entry points that no wrapper calls (their presence still counts when a library is
// accepted) take a generic pointer and a time-out.
typedef uint32_t(QELSDK_CALL* PFN_QelUnwrapped)(void* out, uint32_t timeout);
}
