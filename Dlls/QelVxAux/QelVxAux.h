// The client library's boundary: its exports, result codes and the power notification
// record. Programs load the library by name and bind these exports with GetProcAddress.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

enum : int32_t {
  QELHW_OK = 0,
  QELHW_ERR_INVALID_STATE = 4,
  QELHW_ERR_FAILED = 5,
  QELHW_ERR_NOT_AVAILABLE = 600,
};

enum : uint32_t { QELHW_NOTIFY_Power = 91 };

struct QelHWNotifyRecord {
  uint32_t Type;  // 0 on the first delivery, QELHW_NOTIFY_Power on the second
  uint32_t Reserved;
  uint32_t Value;  // the new QelHWPowerState
};
static_assert(sizeof(QelHWNotifyRecord) == 12, "QelHWNotifyRecord is 12 bytes");
static_assert(offsetof(QelHWNotifyRecord, Type) == 0, "Type first");
static_assert(offsetof(QelHWNotifyRecord, Reserved) == 4, "Reserved second");
static_assert(offsetof(QelHWNotifyRecord, Value) == 8, "Value third");

extern "C" {
typedef void(__cdecl* QelHWCallback)(QelHWNotifyRecord* record);

typedef HRESULT(__cdecl* PFN_QelHWInitialize)(void);
typedef void(__cdecl* PFN_QelHWUnInitialize)(void);
typedef int32_t(__cdecl* PFN_QelHWGetPower)(uint32_t* state);
typedef int32_t(__cdecl* PFN_QelHWSetPower)(uint32_t state);
typedef int32_t(__cdecl* PFN_QelHWRegisterCallback)(QelHWCallback callback);
typedef int32_t(__cdecl* PFN_QelHWGetOEMIDStrA)(char* buffer);
}
