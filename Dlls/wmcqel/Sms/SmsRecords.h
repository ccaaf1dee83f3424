// The modem SDK's short message records. Offsets are fixed by the SDK; pointers travel
// as 8 bytes on both builds.
#pragma once
#include <cstddef>
#include <cstdint>

// Flags of CNS_SMS_PARAMS::flags.
enum : uint32_t {
  SMS_FLAG_VALIDITY_ABSOLUTE = 0x2,
  SMS_FLAG_VALIDITY_RELATIVE = 0x4,
  SMS_FLAG_DEFERRED_ABSOLUTE = 0x8,
  SMS_FLAG_DEFERRED_RELATIVE = 0x10,
  SMS_FLAG_USER_RESPONSE = 0x20,
  SMS_FLAG_ADDRESS = 0x40,
  SMS_FLAG_SUBADDRESS = 0x80,
  SMS_FLAG_USER_DATA = 0x100,
  SMS_FLAG_PRIORITY = 0x200,
  SMS_FLAG_PRIVACY = 0x400,
  SMS_FLAG_REPLY_OPTION = 0x800,
  SMS_FLAG_NUMBER_OF_MESSAGES = 0x1000,
  SMS_FLAG_ALERT = 0x2000,
  SMS_FLAG_LANGUAGE = 0x4000,
  SMS_FLAG_CALLBACK = 0x8000,
  SMS_FLAG_TIME_STAMP = 0x10000,
  SMS_FLAG_DISPLAY_MODE = 0x20000,
};

constexpr int kSmsMaxAddressChars = 50;
constexpr int kSmsMaxCallbackDigits = 32;
constexpr int kSmsReceivedBufferSize = 240;  // the user data buffer the engine hands the SDK
constexpr uint32_t kSmsSendRecordSize = 240;
constexpr uint32_t kSmsReceivedRecordSize = 248;
constexpr uint32_t kSmsParamsSize = 216;

struct CNS_SMS_PARAMS {
  uint32_t size;
  uint32_t flags;
  uint32_t messageType;  // 0 point-to-point, 1 broadcast, 2 acknowledge
  uint32_t teleservice;  // 0, 1, 2 or 7
  uint16_t serviceCategory;
  uint8_t replySequence;
  uint8_t reserved1;
  uint32_t bearerMessageType;  // 1 to 5
  uint8_t addressDigitMode;
  uint8_t addressNumberMode;
  uint8_t addressNumberType;
  uint8_t addressNumberPlan;
  uint8_t addressCount;
  uint8_t address[kSmsMaxAddressChars];
  uint8_t subaddressType;
  uint8_t subaddressOdd;
  uint8_t subaddressCount;
  uint8_t subaddress[kSmsMaxAddressChars];
  uint8_t callbackCount;
  uint8_t callback[kSmsMaxCallbackDigits];
  uint8_t reserved2[3];
  uint32_t priority;
  uint32_t privacy;
  uint32_t language;
  uint8_t userAckRequested;
  uint8_t deliveryAckRequested;
  uint8_t userResponseCode;
  uint8_t numberOfMessages[2];  // two decimal digit characters
  uint8_t alertPriority;
  uint8_t reserved3[2];
  uint32_t userDataEncoding;
  uint8_t timeStamp[6];
  uint8_t validityAbsolute[6];
  uint8_t validityRelative;
  uint8_t deferredAbsolute[6];
  uint8_t deferredRelative;
  uint32_t displayMode;
};

struct CNS_SMS_SEND {
  uint32_t size;
  uint16_t messageId;
  uint16_t reserved1;
  CNS_SMS_PARAMS params;
  uint64_t userData;  // pointer to userDataCount bytes, allocated by the decoder
  uint32_t userDataCount;
  uint32_t reserved2;
};

struct CNS_SMS_RECEIVED {
  uint32_t size;
  uint32_t reserved1;
  CNS_SMS_PARAMS params;
  uint16_t messageId;
  uint8_t reserved2[6];
  uint64_t userData;      // pointer to the caller's buffer
  uint32_t userDataCount;  // capacity in, character count out
  uint32_t reserved3;
};

// Offsets as the SDK gives them, counted from the start of either record.
constexpr size_t kSmsParamsAt = 8;
#define SMS_PARAM_AT(field, at) \
  static_assert(kSmsParamsAt + offsetof(CNS_SMS_PARAMS, field) == (at), "CNS_SMS_PARAMS::" #field)
SMS_PARAM_AT(size, 8);
SMS_PARAM_AT(flags, 12);
SMS_PARAM_AT(messageType, 16);
SMS_PARAM_AT(teleservice, 20);
SMS_PARAM_AT(serviceCategory, 24);
SMS_PARAM_AT(replySequence, 26);
SMS_PARAM_AT(bearerMessageType, 28);
SMS_PARAM_AT(addressDigitMode, 32);
SMS_PARAM_AT(addressNumberMode, 33);
SMS_PARAM_AT(addressNumberType, 34);
SMS_PARAM_AT(addressNumberPlan, 35);
SMS_PARAM_AT(addressCount, 36);
SMS_PARAM_AT(address, 37);
SMS_PARAM_AT(subaddressType, 87);
SMS_PARAM_AT(subaddressOdd, 88);
SMS_PARAM_AT(subaddressCount, 89);
SMS_PARAM_AT(subaddress, 90);
SMS_PARAM_AT(callbackCount, 140);
SMS_PARAM_AT(callback, 141);
SMS_PARAM_AT(priority, 176);
SMS_PARAM_AT(privacy, 180);
SMS_PARAM_AT(language, 184);
SMS_PARAM_AT(userAckRequested, 188);
SMS_PARAM_AT(deliveryAckRequested, 189);
SMS_PARAM_AT(userResponseCode, 190);
SMS_PARAM_AT(numberOfMessages, 191);
SMS_PARAM_AT(alertPriority, 193);
SMS_PARAM_AT(userDataEncoding, 196);
SMS_PARAM_AT(timeStamp, 200);
SMS_PARAM_AT(validityAbsolute, 206);
SMS_PARAM_AT(validityRelative, 212);
SMS_PARAM_AT(deferredAbsolute, 213);
SMS_PARAM_AT(deferredRelative, 219);
SMS_PARAM_AT(displayMode, 220);
#undef SMS_PARAM_AT
static_assert(sizeof(CNS_SMS_PARAMS) == kSmsParamsSize, "CNS_SMS_PARAMS");

static_assert(sizeof(CNS_SMS_SEND) == kSmsSendRecordSize, "CNS_SMS_SEND");
static_assert(offsetof(CNS_SMS_SEND, messageId) == 4, "CNS_SMS_SEND::messageId");
static_assert(offsetof(CNS_SMS_SEND, params) == kSmsParamsAt, "CNS_SMS_SEND::params");
static_assert(offsetof(CNS_SMS_SEND, userData) == 224, "CNS_SMS_SEND::userData");
static_assert(offsetof(CNS_SMS_SEND, userDataCount) == 232, "CNS_SMS_SEND::userDataCount");

static_assert(sizeof(CNS_SMS_RECEIVED) == kSmsReceivedRecordSize, "CNS_SMS_RECEIVED");
static_assert(offsetof(CNS_SMS_RECEIVED, params) == kSmsParamsAt, "CNS_SMS_RECEIVED::params");
static_assert(offsetof(CNS_SMS_RECEIVED, messageId) == 224, "CNS_SMS_RECEIVED::messageId");
static_assert(offsetof(CNS_SMS_RECEIVED, userData) == 232, "CNS_SMS_RECEIVED::userData");
static_assert(offsetof(CNS_SMS_RECEIVED, userDataCount) == 240, "CNS_SMS_RECEIVED::userDataCount");

template <class Record>
inline uint8_t* SmsUserData(const Record& record) {
  return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(record.userData));
}
template <class Record>
inline void SetSmsUserData(Record& record, uint8_t* bytes) {
  record.userData = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(bytes));
}
