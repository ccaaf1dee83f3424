// The bearer data of a transport layer message: its subparameters to and from the
// bearer fields of the SDK records.
#pragma once
#include <cstdint>

#include "Sms/BitStream.h"
#include "Sms/SmsRecords.h"

constexpr int kSmsMaxBearerDataBytes = 255;

// Fills the send record's bearer fields. Lenient: a malformed subparameter ends the
// parsing, everything decoded before it stays. Allocates the user data buffer (release it
// with FreeSmsUserData). Null or empty bearer data decodes to nothing. Returns 1.
int DecodeBearerData(const uint8_t* bytes, int length, CNS_SMS_SEND* record);

// Writes the bearer data of a received record: its length to *lengthOut and, unless
// sizeOnly, the subparameters to output, which holds kSmsMaxBearerDataBytes. User data
// is cut so that the whole stays within kSmsMaxBearerDataBytes. Returns 1.
int EncodeBearerData(const CNS_SMS_RECEIVED* record, uint8_t* lengthOut, uint8_t* output, bool sizeOnly);

// The same into a writer already positioned on a byte boundary; returns the bytes written.
int WriteBearerData(const CNS_SMS_RECEIVED& record, BitWriter& out);

// Frees the user data buffer that DecodeBearerData made and clears the record's fields.
void FreeSmsUserData(CNS_SMS_SEND* record);
