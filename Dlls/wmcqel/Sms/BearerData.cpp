#include "Sms/BearerData.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Sms/CharMapping.h"
#include "Sms/SmsLog.h"

namespace {

enum : uint8_t {
  kMessageIdentifier = 0,
  kUserData = 1,
  kUserResponseCode = 2,
  kTimeStamp = 3,
  kValidityAbsolute = 4,
  kValidityRelative = 5,
  kDeferredAbsolute = 6,
  kDeferredRelative = 7,
  kPriority = 8,
  kPrivacy = 9,
  kReplyOption = 10,
  kNumberOfMessages = 11,
  kAlert = 12,
  kLanguage = 13,
  kCallback = 14,
  kDisplayMode = 15,
};

constexpr int kUserDataHeaderBits = 13;  // MSG_ENCODING and NUM_FIELDS
constexpr uint32_t kMaxEncoding = 9;

int CharWidth(uint32_t encoding) { return encoding == 2 || encoding == 3 ? 7 : 8; }

// Each returns false where the parsing ends after it.

bool DecodeMessageIdentifier(BitReader& r, CNS_SMS_SEND& record) {
  if (!r.Has(24)) return false;
  const uint8_t type = r.Read(4);
  record.messageId = r.Read16(16);
  if (type < 1 || type > 5) return false;
  record.params.bearerMessageType = type;
  return true;
}

bool DecodeUserData(BitReader& r, CNS_SMS_SEND& record) {
  CNS_SMS_PARAMS& p = record.params;
  p.flags |= SMS_FLAG_USER_DATA;
  if (!r.Has(16)) return false;
  const uint8_t raw = r.Read(5);
  const int announced = r.Read(8);
  if (raw <= kMaxEncoding) p.userDataEncoding = raw;
  const int width = CharWidth(raw);
  const int count = std::min(announced, r.Remaining() / width);

  FreeSmsUserData(&record);
  uint8_t* chars = count > 0 ? new (std::nothrow) uint8_t[static_cast<size_t>(count)] : nullptr;
  if (chars) {
    for (int i = 0; i < count; ++i) chars[i] = r.Read(width);
    SetSmsUserData(record, chars);
    record.userDataCount = static_cast<uint32_t>(count);
  }
  SmsLogHook()("DecodeBearerData ::Data Encoding Type for SMS - %d, RawEncoding %d \n",
               static_cast<int>(p.userDataEncoding), static_cast<int>(raw));
  return raw <= kMaxEncoding;
}

bool DecodeCallback(BitReader& r, CNS_SMS_PARAMS& p) {
  p.flags |= SMS_FLAG_CALLBACK;
  const uint8_t digitMode = r.Read(1);
  if (digitMode) r.Skip(7);  // NUMBER_TYPE and NUMBER_PLAN
  const int announced = r.Read(8);
  if (r.Failed()) return false;
  const int width = digitMode ? 8 : 4;
  const int count = std::min(std::min(announced, kSmsMaxCallbackDigits), r.Remaining() / width);
  for (int i = 0; i < count; ++i) p.callback[i] = CharFromCode(r.Read(width), width);
  p.callbackCount = static_cast<uint8_t>(count);
  return true;
}

bool DecodeSubparameter(uint8_t id, const uint8_t* value, int len, CNS_SMS_SEND& record) {
  CNS_SMS_PARAMS& p = record.params;
  BitReader r(value, len);
  auto octets = [&](uint32_t flag, uint8_t* field, int size) {
    if (len < size) return false;
    p.flags |= flag;
    std::memcpy(field, value, static_cast<size_t>(size));
    return true;
  };
  switch (id) {
    case kMessageIdentifier:
      return DecodeMessageIdentifier(r, record);
    case kUserData:
      return DecodeUserData(r, record);
    case kUserResponseCode:
      p.flags |= SMS_FLAG_USER_RESPONSE;
      if (len != 1) return false;
      p.userResponseCode = value[0];
      return true;
    case kTimeStamp:
      return octets(SMS_FLAG_TIME_STAMP, p.timeStamp, 6);
    case kValidityAbsolute:
      return octets(SMS_FLAG_VALIDITY_ABSOLUTE, p.validityAbsolute, 6);
    case kValidityRelative:
      return octets(SMS_FLAG_VALIDITY_RELATIVE, &p.validityRelative, 1);
    case kDeferredAbsolute:
      return octets(SMS_FLAG_DEFERRED_ABSOLUTE, p.deferredAbsolute, 6);
    case kDeferredRelative:
      return octets(SMS_FLAG_DEFERRED_RELATIVE, &p.deferredRelative, 1);
    case kPriority:
      if (len < 1) return false;
      p.flags |= SMS_FLAG_PRIORITY;
      p.priority = r.Read(2);
      return true;
    case kPrivacy:
      if (len < 1) return false;
      p.flags |= SMS_FLAG_PRIVACY;
      p.privacy = r.Read(2);
      return true;
    case kReplyOption:
      if (len < 1) return false;
      p.flags |= SMS_FLAG_REPLY_OPTION;
      p.userAckRequested = r.Read(1);
      p.deliveryAckRequested = r.Read(1);
      return true;
    case kAlert:
      p.flags |= SMS_FLAG_ALERT;
      if (len > 0) p.alertPriority = r.Read(2);
      return true;
    case kLanguage:
      if (len != 1) return false;
      p.flags |= SMS_FLAG_LANGUAGE;
      if (value[0] < 1 || value[0] > 7) return false;
      p.language = value[0];
      return true;
    case kCallback:
      return DecodeCallback(r, p);
    case kDisplayMode: {
      p.flags |= SMS_FLAG_DISPLAY_MODE;
      if (len != 1) return false;
      const uint8_t mode = r.Read(2);
      if (mode > 2) return false;
      p.displayMode = mode;
      return true;
    }
    default:  // number of messages (not decoded) and everything newer
      return true;
  }
}

// The subparameters after the user data, in the order the host expects them.
void WriteOptional(const CNS_SMS_PARAMS& p, uint32_t encoding, BitWriter& w) {
  auto has = [&](uint32_t flag) { return (p.flags & flag) != 0; };
  auto octets = [&](uint8_t id, const uint8_t* field, int size) {
    w.Byte(id);
    w.Byte(static_cast<uint8_t>(size));
    w.Bytes(field, size);
  };
  auto twoBits = [&](uint8_t id, uint32_t value) {
    w.Byte(id);
    w.Byte(1);
    w.Write(value, 2);
    w.Write(0, 6);
  };
  if (has(SMS_FLAG_USER_RESPONSE)) octets(kUserResponseCode, &p.userResponseCode, 1);
  if (has(SMS_FLAG_TIME_STAMP)) octets(kTimeStamp, p.timeStamp, 6);
  if (has(SMS_FLAG_VALIDITY_ABSOLUTE)) octets(kValidityAbsolute, p.validityAbsolute, 6);
  if (has(SMS_FLAG_VALIDITY_RELATIVE)) octets(kValidityRelative, &p.validityRelative, 1);
  if (has(SMS_FLAG_DEFERRED_ABSOLUTE)) octets(kDeferredAbsolute, p.deferredAbsolute, 6);
  if (has(SMS_FLAG_DEFERRED_RELATIVE)) octets(kDeferredRelative, &p.deferredRelative, 1);
  // Values outside their range have no wire form: such subparameters are left out.
  if (has(SMS_FLAG_PRIVACY) && p.privacy <= 3) twoBits(kPrivacy, p.privacy);
  if (has(SMS_FLAG_REPLY_OPTION)) {
    w.Byte(kReplyOption);
    w.Byte(1);
    w.Write(p.userAckRequested != 0, 1);
    w.Write(p.deliveryAckRequested != 0, 1);
    w.Write(0, 6);
  }
  if (has(SMS_FLAG_PRIORITY) && p.priority <= 3) twoBits(kPriority, p.priority);
  if (has(SMS_FLAG_ALERT)) twoBits(kAlert, p.alertPriority & 3);
  if (has(SMS_FLAG_LANGUAGE) && p.language >= 1 && p.language <= 7) {
    const uint8_t language = static_cast<uint8_t>(p.language);
    octets(kLanguage, &language, 1);
  }
  if (has(SMS_FLAG_DISPLAY_MODE) && p.displayMode <= 2) twoBits(kDisplayMode, p.displayMode);
  if (has(SMS_FLAG_CALLBACK)) {
    const int count = std::min<int>(p.callbackCount, kSmsMaxCallbackDigits);
    w.Byte(kCallback);
    w.Byte(static_cast<uint8_t>((1 + 8 + 4 * count + 7) / 8));
    w.Write(0, 1);  // DIGIT_MODE: DTMF codes
    w.Write(static_cast<uint32_t>(count), 8);
    for (int i = 0; i < count; ++i) w.Write(CodeFromChar(p.callback[i], 4), 4);
    w.PadToByte();
  }
  if (has(SMS_FLAG_NUMBER_OF_MESSAGES) && (encoding == 2 || encoding == 4)) {
    w.Byte(kNumberOfMessages);
    w.Byte(1);
    w.Write((p.numberOfMessages[0] - '0') & 0x0F, 4);
    w.Write((p.numberOfMessages[1] - '0') & 0x0F, 4);
  }
}

}  // namespace

int DecodeBearerData(const uint8_t* bytes, int length, CNS_SMS_SEND* record) {
  if (!record || !bytes || length <= 0) return 1;
  for (int pos = 0; length - pos >= 2;) {
    const uint8_t id = bytes[pos];
    const int len = bytes[pos + 1];
    if (len > length - pos - 2) break;
    const uint8_t* value = bytes + pos + 2;
    pos += 2 + len;
    if (!DecodeSubparameter(id, value, len, *record)) break;
  }
  return 1;
}

int WriteBearerData(const CNS_SMS_RECEIVED& record, BitWriter& w) {
  const CNS_SMS_PARAMS& p = record.params;
  const int start = w.BytePosition();
  // An encoding without a wire value goes out as octets.
  const uint32_t encoding = p.userDataEncoding <= kMaxEncoding ? p.userDataEncoding : 0;
  const int width = CharWidth(encoding);

  BitWriter rest(nullptr, 0);
  WriteOptional(p, encoding, rest);
  const int roomBits = (kSmsMaxBearerDataBytes - 5 - 2 - rest.BytePosition()) * 8 - kUserDataHeaderBits;
  const uint8_t* chars = SmsUserData(record);
  // The count is the SDK's; the buffer behind it holds kSmsReceivedBufferSize bytes.
  int count = 0;
  if (chars)
    count = record.userDataCount < static_cast<uint32_t>(kSmsReceivedBufferSize) ? static_cast<int>(record.userDataCount)
                                                                             : kSmsReceivedBufferSize;
  count = std::min(count, roomBits / width);

  w.Byte(kMessageIdentifier);
  w.Byte(3);
  w.Write(p.bearerMessageType & 0x0F, 4);
  w.Write(record.messageId, 16);
  w.Write(0, 4);  // HEADER_IND and reserved

  w.Byte(kUserData);
  w.Byte(static_cast<uint8_t>((kUserDataHeaderBits + count * width + 7) / 8));
  w.Write(encoding, 5);
  w.Write(static_cast<uint32_t>(count), 8);
  for (int i = 0; i < count; ++i) w.Write(chars[i], width);
  w.PadToByte();
  if (!w.Counting())
    SmsLogHook()("EncodeBearerData :: Data Encoding Type for SMS - %d, RawEncoding %d \n",
                 static_cast<int>(p.userDataEncoding), static_cast<int>(encoding));

  WriteOptional(p, encoding, w);
  return w.BytePosition() - start;
}

int EncodeBearerData(const CNS_SMS_RECEIVED* record, uint8_t* lengthOut, uint8_t* output, bool sizeOnly) {
  if (!record) return 1;
  BitWriter w(sizeOnly ? nullptr : output, kSmsMaxBearerDataBytes);
  const int length = WriteBearerData(*record, w);
  if (lengthOut) *lengthOut = static_cast<uint8_t>(length);
  return 1;
}

void FreeSmsUserData(CNS_SMS_SEND* record) {
  if (!record) return;
  delete[] SmsUserData(*record);
  SetSmsUserData(*record, nullptr);
  record->userDataCount = 0;
}
