// Blocks and result codes that the connection-manager host exchanges with the plug-in.
// Every block is packed and little-endian; pointers travel as 8 bytes on both builds.
#pragma once
#include <cstddef>
#include <cstdint>

// Results of every export.
enum : uint32_t {
  WMC_ERROR_SUCCESS = 0,
  WMC_ERROR_INVALID_PARAMETER = 1,
  WMC_ERROR_OUT_OF_MEMORY = 100,
  WMC_ERROR_DEVICE = 101,
  WMC_ERROR_BUSY = 102,
  WMC_ERROR_NOT_SUPPORTED = 103,
  WMC_ERROR_FAILED = 104,
  WMC_ERROR_NO_SDK = 105,
  WMC_ERROR_NOT_STARTED = 107,
  WMC_ERROR_RADIO_OFF = 108,
  WMC_ERROR_NO_DEVICE = 109,
  WMC_ERROR_OPEN_FAILED = 110,
  WMC_ERROR_ACTIVATION_FAILED = 200,
  WMC_ERROR_LOCK_CODE = 203,
  WMC_ERROR_LOCKED = 204,
  WMC_ERROR_ACTIVATION_STARTED = 205,
  WMC_ERROR_BUFFER_TOO_SMALL = 300,
  WMC_ERROR_SMS_NO_MESSAGES = 301,
  WMC_ERROR_SMS_DELETE_FAILED = 302,
  WMC_CALL_END_FIRST = 1000,  // call end codes 1000 to 1031
  WMC_CALL_END_LAST = 1031,
};

// Notification indexes passed to the host's callbacks; slot 0 receives every one.
enum : int {
  WMC_NOTIFY_ALL = 0,
  WMC_NOTIFY_CALL_STATUS = 1,
  WMC_NOTIFY_CONNECTION_STATE = 2,
  WMC_NOTIFY_NETWORK_INFO = 3,
  WMC_NOTIFY_NEW_MESSAGE = 5,
  WMC_NOTIFY_ACTIVATION_DONE = 9,
  WMC_NOTIFY_RADIO_ON = 11,
  WMC_NOTIFY_RADIO_DISABLED = 13,
  WMC_NOTIFY_RADIO_OFF = 14,
  WMC_NOTIFY_SLOTS = 16,
};

// Connection states (WMC_CONNECTION_INFO::state).
enum : uint32_t {
  WMC_STATE_OFF = 0,
  WMC_STATE_IDLE = 1,
  WMC_STATE_CONNECTING = 2,
  WMC_STATE_PPP = 3,
  WMC_STATE_CONNECTED = 4,
  WMC_STATE_DORMANT = 5,
  WMC_STATE_ACTIVATION_6 = 6,
  WMC_STATE_ACTIVATION_7 = 7,
  WMC_STATE_ACTIVATION_8 = 8,
};

// The host's callbacks (C calling convention).
extern "C" {
typedef void(__cdecl* WMC_NOTIFY_CALLBACK)(int index);
typedef void(__cdecl* WMC_FIELDTEST_CALLBACK)(const char* line, int length);
}

#pragma pack(push, 1)
struct WMC_CONNECTION_INFO {
  uint32_t size;
  uint32_t connectedMs;  // of the current or last call
  uint32_t activeMs;     // not dormant, of the current or last call
  uint32_t txBytes;
  uint32_t rxBytes;
  uint32_t state;
  uint32_t lastEndCode;  // 1000 before any call
  uint32_t activationStatus;
};

struct WMC_NETWORK_INFO {
  uint32_t size;
  uint32_t signalLevel;  // 0 to 31, 99 unknown
  uint32_t serviceType;  // 0 none, 6 1xRTT, 7 EV-DO
  uint32_t roaming;      // 0 home, 2 for SDK roaming value 1, 1 for any other
  uint16_t time[5];
  uint16_t value26;
  uint16_t zero28;
  uint32_t zero30;
  uint32_t cdmaRssi;
  char text[34];
  uint32_t hdrRssi;
  uint32_t zero76;
};

struct WMC_BATTERY_INFO {
  uint32_t size;
  uint32_t value4;  // always 2
  uint32_t value8;  // always 0
};

struct WMC_DEVICE_INFO {
  uint32_t size;
  char mdn[22];
  char esn[12];
  uint32_t activated;
  char manufacturer[64];
  char model[64];
  char firmwareVersion[64];
  char hardwareVersion[64];
  char bootVersion[64];
  char driverVersion[64];
  char imsi[22];
  uint32_t homeSid;
  uint32_t prlVersion;
  uint32_t eriVersion;
  uint32_t lockStatus;
  uint32_t one;  // always 1
  char oemCode[64];
  char meid[16];
};

struct WMC_ACTIVATION_INFO {
  uint32_t size;  // 120 and more enable the MIP secret fields
  uint32_t type;  // 0 manual programming, else over-the-air activation
  char mdn[22];
  char min[22];
  char spc[8];
  uint16_t homeSid;
  uint16_t unused;
  uint32_t prlLength;
  uint64_t prl;  // pointer to the PRL bytes
  uint32_t haSecretGiven;
  uint32_t haSecretLength;
  uint8_t haSecret[16];
  uint32_t aaaSecretGiven;
  uint32_t aaaSecretLength;
  uint8_t aaaSecret[16];
};

struct WMC_PARAMETERS {
  uint32_t size;
  uint32_t qcMipMode;      // 0 to 2
  uint32_t preferredMode;  // 0 automatic, 1, 2
  uint16_t accolc;         // 0 to 15
};

struct WMC_UPGRADE_INFO {
  uint32_t size;
  uint32_t status;  // 0 none, 2 upgrade program found, 3, 4
  char checkPath[260];
  char programPath[260];
};

struct WMC_NDIS_MODE {
  uint32_t size;
  uint32_t mode;  // 0 off, else on
};

// Blocks whose size only is checked.
struct WMC_CALL_ENTRY {
  uint32_t size;
  uint8_t reserved[80];
};
struct WMC_CONTACT {
  uint32_t size;
  uint8_t reserved[12];
};
struct WMC_GROUP {
  uint32_t size;
  uint8_t reserved[68];
};
struct WMC_FIELD_SIZES {
  uint32_t size;
  uint8_t reserved[22];
  uint32_t value26;  // set to 1
  uint32_t reserved30;
};

struct WMC_SMS_MESSAGE {
  uint32_t size;
  uint64_t message;  // pointer to the transport layer message bytes
  uint32_t length;   // capacity in, message length (or the length needed) out
  uint32_t status;   // cleared by a successful read
  uint16_t reserved;
};
#pragma pack(pop)

#define WMC_AT(type, field, offset) static_assert(offsetof(type, field) == offset, #type " " #field)
static_assert(sizeof(WMC_CONNECTION_INFO) == 32, "connection block");
WMC_AT(WMC_CONNECTION_INFO, connectedMs, 4);
WMC_AT(WMC_CONNECTION_INFO, activeMs, 8);
WMC_AT(WMC_CONNECTION_INFO, txBytes, 12);
WMC_AT(WMC_CONNECTION_INFO, rxBytes, 16);
WMC_AT(WMC_CONNECTION_INFO, state, 20);
WMC_AT(WMC_CONNECTION_INFO, lastEndCode, 24);
WMC_AT(WMC_CONNECTION_INFO, activationStatus, 28);
static_assert(sizeof(WMC_NETWORK_INFO) == 80, "network block");
WMC_AT(WMC_NETWORK_INFO, signalLevel, 4);
WMC_AT(WMC_NETWORK_INFO, serviceType, 8);
WMC_AT(WMC_NETWORK_INFO, roaming, 12);
WMC_AT(WMC_NETWORK_INFO, time, 16);
WMC_AT(WMC_NETWORK_INFO, value26, 26);
WMC_AT(WMC_NETWORK_INFO, zero28, 28);
WMC_AT(WMC_NETWORK_INFO, zero30, 30);
WMC_AT(WMC_NETWORK_INFO, cdmaRssi, 34);
WMC_AT(WMC_NETWORK_INFO, text, 38);
WMC_AT(WMC_NETWORK_INFO, hdrRssi, 72);
WMC_AT(WMC_NETWORK_INFO, zero76, 76);
static_assert(sizeof(WMC_BATTERY_INFO) == 12, "battery block");
WMC_AT(WMC_BATTERY_INFO, value4, 4);
WMC_AT(WMC_BATTERY_INFO, value8, 8);
static_assert(sizeof(WMC_DEVICE_INFO) == 548, "device block");
WMC_AT(WMC_DEVICE_INFO, mdn, 4);
WMC_AT(WMC_DEVICE_INFO, esn, 26);
WMC_AT(WMC_DEVICE_INFO, activated, 38);
WMC_AT(WMC_DEVICE_INFO, manufacturer, 42);
WMC_AT(WMC_DEVICE_INFO, model, 106);
WMC_AT(WMC_DEVICE_INFO, firmwareVersion, 170);
WMC_AT(WMC_DEVICE_INFO, hardwareVersion, 234);
WMC_AT(WMC_DEVICE_INFO, bootVersion, 298);
WMC_AT(WMC_DEVICE_INFO, driverVersion, 362);
WMC_AT(WMC_DEVICE_INFO, imsi, 426);
WMC_AT(WMC_DEVICE_INFO, homeSid, 448);
WMC_AT(WMC_DEVICE_INFO, prlVersion, 452);
WMC_AT(WMC_DEVICE_INFO, eriVersion, 456);
WMC_AT(WMC_DEVICE_INFO, lockStatus, 460);
WMC_AT(WMC_DEVICE_INFO, one, 464);
WMC_AT(WMC_DEVICE_INFO, oemCode, 468);
WMC_AT(WMC_DEVICE_INFO, meid, 532);
static_assert(sizeof(WMC_ACTIVATION_INFO) == 124, "activation block");
WMC_AT(WMC_ACTIVATION_INFO, type, 4);
WMC_AT(WMC_ACTIVATION_INFO, mdn, 8);
WMC_AT(WMC_ACTIVATION_INFO, min, 30);
WMC_AT(WMC_ACTIVATION_INFO, spc, 52);
WMC_AT(WMC_ACTIVATION_INFO, homeSid, 60);
WMC_AT(WMC_ACTIVATION_INFO, unused, 62);
WMC_AT(WMC_ACTIVATION_INFO, prlLength, 64);
WMC_AT(WMC_ACTIVATION_INFO, prl, 68);
WMC_AT(WMC_ACTIVATION_INFO, haSecretGiven, 76);
WMC_AT(WMC_ACTIVATION_INFO, haSecretLength, 80);
WMC_AT(WMC_ACTIVATION_INFO, haSecret, 84);
WMC_AT(WMC_ACTIVATION_INFO, aaaSecretGiven, 100);
WMC_AT(WMC_ACTIVATION_INFO, aaaSecretLength, 104);
WMC_AT(WMC_ACTIVATION_INFO, aaaSecret, 108);
static_assert(sizeof(WMC_PARAMETERS) == 14, "parameter block");
WMC_AT(WMC_PARAMETERS, qcMipMode, 4);
WMC_AT(WMC_PARAMETERS, preferredMode, 8);
WMC_AT(WMC_PARAMETERS, accolc, 12);
static_assert(sizeof(WMC_UPGRADE_INFO) == 528, "upgrade block");
WMC_AT(WMC_UPGRADE_INFO, status, 4);
WMC_AT(WMC_UPGRADE_INFO, checkPath, 8);
WMC_AT(WMC_UPGRADE_INFO, programPath, 268);
static_assert(sizeof(WMC_NDIS_MODE) == 8, "NDIS block");
WMC_AT(WMC_NDIS_MODE, mode, 4);
static_assert(sizeof(WMC_CALL_ENTRY) == 84, "call entry block");
static_assert(sizeof(WMC_CONTACT) == 16, "contact block");
static_assert(sizeof(WMC_GROUP) == 72, "group block");
static_assert(sizeof(WMC_FIELD_SIZES) == 34, "field sizes block");
WMC_AT(WMC_FIELD_SIZES, value26, 26);
#undef WMC_AT

// The minimum sizes the exports check.
constexpr uint32_t kWmcMinConnectionInfo = 32, kWmcMinNetworkInfo = 80, kWmcMinBatteryInfo = 12,
                   kWmcMinDeviceInfo = 548, kWmcMinActivationInfo = 124, kWmcMinParameters = 14,
                   kWmcMinSmsMessage = 22, kWmcMinCallEntry = 84, kWmcMinContact = 16, kWmcMinGroup = 72,
                   kWmcMinFieldSizes = 34;
constexpr uint32_t kWmcMinUpgradeInfo = 528, kWmcMinNdisMode = 8;

static_assert(sizeof(WMC_SMS_MESSAGE) == 22, "host SMS block");
static_assert(offsetof(WMC_SMS_MESSAGE, message) == 4, "host SMS block");
static_assert(offsetof(WMC_SMS_MESSAGE, length) == 12, "host SMS block");
static_assert(offsetof(WMC_SMS_MESSAGE, status) == 16, "host SMS block");
static_assert(offsetof(WMC_SMS_MESSAGE, reserved) == 20, "host SMS block");

inline uint8_t* SmsMessageBytes(const WMC_SMS_MESSAGE& block) {
  return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(block.message));
}
inline void SetSmsMessageBytes(WMC_SMS_MESSAGE& block, uint8_t* bytes) {
  block.message = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(bytes));
}
