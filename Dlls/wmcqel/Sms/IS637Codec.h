// IS-637 transport layer messages of the host to and from the modem SDK's records.
#pragma once
#include <cstdint>

#include "HostBlocks.h"
#include "Sms/BearerData.h"
#include "Sms/SmsRecords.h"

constexpr int kSmsMaxAddressBytes = 53;     // 17 header bits and 50 characters of 8 bits
constexpr int kSmsMaxSubaddressBytes = 52;  // 12 header bits and 50 characters
// The longest transport message there can be: SMS_MSG_TYPE, then each of the 256 parameter
// ids once with a value of 255 bytes. A host that claims more is refused unread.
constexpr uint32_t kSmsMaxTransportBytes = 1 + 256 * (2 + 255);

// Host message to send record. The caller zeroes the record and sets both size fields.
// Returns 1 when converted, 0 when the message is refused (a length above
// kSmsMaxTransportBytes before any byte of it is read). On success the record may
// own a user data buffer: release it with FreeSmsUserData (or hold it in SmsSendRecord).
int ConvertIS637ToCNS(const WMC_SMS_MESSAGE* host, CNS_SMS_SEND* record);

// Received record to host message. Returns WMC_ERROR_SUCCESS when written, or
// WMC_ERROR_BUFFER_TOO_SMALL with the buffer untouched; host->length holds the message
// length either way. A null message pointer counts as no room.
uint32_t ConvertCNSToIS637(const CNS_SMS_RECEIVED* record, WMC_SMS_MESSAGE* host);

// The transport message of a received record. Without an output it only counts; with
// one it writes at most capacity bytes. Returns the message length either way.
uint16_t EncodeTransportLayer(const CNS_SMS_RECEIVED* record, uint8_t* output, int capacity);

// Address and subaddress values. The decoders return 1 and fill the parameter block, or
// 0 and leave it as it was. The encoders write the value length and, unless sizeOnly,
// the value to output, which holds kSmsMaxAddressBytes or kSmsMaxSubaddressBytes.
int DecodeAddress(const uint8_t* value, int length, CNS_SMS_PARAMS* params);
int DecodeSubaddress(const uint8_t* value, int length, CNS_SMS_PARAMS* params);
int EncodeAddress(const CNS_SMS_PARAMS* params, uint8_t* lengthOut, uint8_t* output, bool sizeOnly);
int EncodeSubaddress(const CNS_SMS_PARAMS* params, uint8_t* lengthOut, uint8_t* output, bool sizeOnly);

// A send record as the SDK takes it (zeroed, both sizes set) that owns the user data
// buffer the decoder gives it.
class SmsSendRecord {
 public:
  SmsSendRecord();
  ~SmsSendRecord() { FreeSmsUserData(&record_); }
  SmsSendRecord(const SmsSendRecord&) = delete;
  SmsSendRecord& operator=(const SmsSendRecord&) = delete;
  CNS_SMS_SEND* get() { return &record_; }
  const CNS_SMS_SEND& operator*() const { return record_; }
  const CNS_SMS_SEND* operator->() const { return &record_; }

 private:
  CNS_SMS_SEND record_;
};
