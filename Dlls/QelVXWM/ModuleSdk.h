// The modem SDK as the device information module calls it: the CDMA library's narrow
// text reads and the GSM libraries' wide ones, their records and notification ids.
#pragma once
#include <cstddef>
#include <cstdint>

#include "QelSdk.h"

extern "C" {
typedef uint32_t(QELSDK_CALL* PFN_QelGetWideText)(wchar_t* buffer, uint32_t size, uint32_t timeout);
typedef uint32_t(QELSDK_CALL* PFN_QelGetAvailDev)(void* list);
typedef uint32_t(QELSDK_CALL* PFN_QelGetGsmImsi)(wchar_t* msin, uint32_t size, uint32_t* mcc, uint32_t* mnc,
                                                 uint32_t timeout);
}

// Records passed by address; each starts with its size in bytes.
struct QelGsmOpenRecord {
  uint32_t size = 340;
  uint8_t reserved1[72] = {};
  uint32_t tailBytes = 264;  // from offset 76 to the end
  wchar_t logName[128] = {};
  uint8_t flag = 1;
  uint8_t reserved2[3] = {};
};
static_assert(sizeof(QelGsmOpenRecord) == 340, "GSM open record");
static_assert(offsetof(QelGsmOpenRecord, tailBytes) == 76, "byte count at 76");
static_assert(offsetof(QelGsmOpenRecord, logName) == 80, "log name at 80");
static_assert(offsetof(QelGsmOpenRecord, flag) == 336, "flag at 336");

struct QelDeviceList {
  uint32_t size = 808;
  uint32_t count = 0;
  uint32_t ids[200] = {};
};
static_assert(sizeof(QelDeviceList) == 808, "device list");

struct QelCardType {
  uint32_t size = 8;
  uint32_t type = 0;
};
static_assert(sizeof(QelCardType) == 8, "card type record");

struct QelImeiRecord {
  uint32_t size = 76;
  wchar_t text[36] = {};
};
static_assert(sizeof(QelImeiRecord) == 76, "IMEI record");

struct QelSerialRecord {
  uint32_t size = 36;
  wchar_t text[16] = {};
};
static_assert(sizeof(QelSerialRecord) == 36, "serial number record");

struct QelIccIdRecord {
  uint32_t size = 16;
  uint8_t bytes[10] = {};
  uint8_t unused[2] = {};
};
static_assert(sizeof(QelIccIdRecord) == 16, "ICCID record");
static_assert(offsetof(QelIccIdRecord, bytes) == 4, "ICCID bytes at 4");

enum : uint32_t {
  QEL_NOTIFY_SimStatusExp_OLD = 17,
  QEL_NOTIFY_SimStatusExp_R6 = 18,  // the older build's id on the newer API
  QEL_NOTIFY_SimStatusExp = 2008,
};

// Results of QelApiOpenEx that count as open.
inline bool SdkOpened(int32_t result) { return result == 0 || (result >= 11 && result <= 14); }
