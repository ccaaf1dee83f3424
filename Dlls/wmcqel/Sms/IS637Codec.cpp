#include "Sms/IS637Codec.h"

#include <algorithm>
#include <cstring>

#include "Sms/BitStream.h"
#include "Sms/CharMapping.h"
#include "Sms/SmsLog.h"

namespace {

enum : uint8_t {
  kTeleserviceId = 0,
  kServiceCategory = 1,
  kOriginatingAddress = 2,
  kOriginatingSubaddress = 3,
  kDestinationAddress = 4,
  kDestinationSubaddress = 5,
  kBearerReplyOption = 6,
  kCauseCodes = 7,
  kBearerData = 8,
};

constexpr uint8_t kPointToPoint = 0;

struct TeleserviceEntry {
  uint16_t wire;
  uint32_t value;
};
constexpr TeleserviceEntry kTeleservices[] = {{4097, 0}, {4098, 1}, {4099, 2}, {4100, 7}};

bool TeleserviceFromWire(uint16_t wire, uint32_t* value) {
  for (const auto& t : kTeleservices) {
    if (t.wire == wire) {
      *value = t.value;
      return true;
    }
  }
  return false;
}

// A record value without a teleservice identifier goes out as 0, which no receiver
// takes for a real teleservice.
uint16_t TeleserviceToWire(uint32_t value) {
  for (const auto& t : kTeleservices)
    if (t.value == value) return t.wire;
  return 0;
}

void WriteAddressValue(const CNS_SMS_PARAMS& p, BitWriter& w) {
  const bool digitMode = p.addressDigitMode != 0;
  const bool numberMode = p.addressNumberMode != 0;
  const int width = digitMode ? 8 : 4;
  const int count = std::min<int>(p.addressCount, kSmsMaxAddressChars);
  w.Write(digitMode, 1);
  w.Write(numberMode, 1);
  if (digitMode) {
    w.Write(p.addressNumberType & 0x07, 3);
    if (!numberMode) w.Write(p.addressNumberPlan & 0x0F, 4);
  }
  w.Write(static_cast<uint32_t>(count), 8);
  for (int i = 0; i < count; ++i) w.Write(CodeFromChar(p.address[i], width), width);
  w.PadToByte();
}

void WriteSubaddressValue(const CNS_SMS_PARAMS& p, BitWriter& w) {
  const int count = std::min<int>(p.subaddressCount, kSmsMaxAddressChars);
  w.Write(p.subaddressType & 0x07, 3);
  w.Write(p.subaddressOdd != 0, 1);
  w.Write(static_cast<uint32_t>(count), 8);
  for (int i = 0; i < count; ++i) w.Write(CodeFromChar(p.subaddress[i], 8), 8);
  w.Write(0, 4);
}

// A parameter whose length is known only after its value: the length byte is patched.
template <class WriteValue>
void WriteParameter(uint8_t id, BitWriter& w, WriteValue writeValue) {
  w.Byte(id);
  const int lengthAt = w.BytePosition();
  w.Byte(0);
  const int start = w.BytePosition();
  writeValue();
  w.PatchByte(lengthAt, static_cast<uint8_t>(w.BytePosition() - start));
}

int EncodeValue(void (*writeValue)(const CNS_SMS_PARAMS&, BitWriter&), const CNS_SMS_PARAMS* params,
                uint8_t* lengthOut, uint8_t* output, bool sizeOnly, int capacity) {
  if (!params) return 1;
  BitWriter w(sizeOnly ? nullptr : output, capacity);
  writeValue(*params, w);
  if (lengthOut) *lengthOut = static_cast<uint8_t>(w.BytePosition());
  return 1;
}

}  // namespace

int DecodeAddress(const uint8_t* value, int length, CNS_SMS_PARAMS* params) {
  if (!params || length < 0 || (!value && length > 0)) return 0;
  BitReader r(value, length);
  const uint8_t digitMode = r.Read(1);
  const uint8_t numberMode = r.Read(1);
  uint8_t type = 0;
  uint8_t plan = 0;
  if (digitMode) {
    type = r.Read(3);
    if (!numberMode) plan = r.Read(4);
  }
  const int count = r.Read(8);
  const int width = digitMode ? 8 : 4;
  if (r.Failed() || count > kSmsMaxAddressChars || !r.Has(count * width)) return 0;

  params->addressDigitMode = digitMode;
  params->addressNumberMode = numberMode;
  params->addressNumberType = type;
  params->addressNumberPlan = plan;
  params->addressCount = static_cast<uint8_t>(count);
  std::memset(params->address, 0, sizeof params->address);
  for (int i = 0; i < count; ++i) params->address[i] = CharFromCode(r.Read(width), width);
  return 1;
}

int DecodeSubaddress(const uint8_t* value, int length, CNS_SMS_PARAMS* params) {
  if (!params || length < 0 || (!value && length > 0)) return 0;
  BitReader r(value, length);
  const uint8_t type = r.Read(3);
  const uint8_t odd = r.Read(1);
  const int count = r.Read(8);
  if (r.Failed() || count > kSmsMaxAddressChars || !r.Has(count * 8)) return 0;

  params->subaddressType = type;
  params->subaddressOdd = odd;
  params->subaddressCount = static_cast<uint8_t>(count);
  std::memset(params->subaddress, 0, sizeof params->subaddress);
  for (int i = 0; i < count; ++i) params->subaddress[i] = CharFromCode(r.Read(8), 8);
  return 1;
}

int EncodeAddress(const CNS_SMS_PARAMS* params, uint8_t* lengthOut, uint8_t* output, bool sizeOnly) {
  return EncodeValue(&WriteAddressValue, params, lengthOut, output, sizeOnly, kSmsMaxAddressBytes);
}

int EncodeSubaddress(const CNS_SMS_PARAMS* params, uint8_t* lengthOut, uint8_t* output, bool sizeOnly) {
  return EncodeValue(&WriteSubaddressValue, params, lengthOut, output, sizeOnly, kSmsMaxSubaddressBytes);
}

int ConvertIS637ToCNS(const WMC_SMS_MESSAGE* host, CNS_SMS_SEND* record) {
  if (!host || !record) return 0;
  const uint8_t* msg = SmsMessageBytes(*host);
  if (!msg || host->length < 2 || host->length > kSmsMaxTransportBytes) return 0;
  const int total = static_cast<int>(host->length);

  CNS_SMS_PARAMS& p = record->params;
  p.flags = 0;
  if (msg[0] > 2) return 0;
  p.messageType = msg[0];

  const uint8_t* bearer = nullptr;
  int bearerLength = 0;
  for (int pos = 1; pos < total;) {
    if (total - pos < 2) return 0;
    const uint8_t id = msg[pos];
    const int len = msg[pos + 1];
    if (len > total - pos - 2) return 0;
    const uint8_t* value = msg + pos + 2;
    pos += 2 + len;

    switch (id) {
      case kTeleserviceId:
        if (len != 2 || !TeleserviceFromWire(static_cast<uint16_t>(value[0] << 8 | value[1]), &p.teleservice))
          return 0;
        break;
      case kServiceCategory:
        if (len != 2) return 0;
        p.serviceCategory = static_cast<uint16_t>(value[0] << 8 | value[1]);
        break;
      case kOriginatingAddress:
      case kDestinationAddress:
        p.flags |= SMS_FLAG_ADDRESS;
        if (!DecodeAddress(value, len, &p)) return 0;
        break;
      case kOriginatingSubaddress:
      case kDestinationSubaddress:
        p.flags |= SMS_FLAG_SUBADDRESS;
        if (!DecodeSubaddress(value, len, &p)) return 0;
        break;
      case kBearerReplyOption:
        if (len < 1) return 0;
        p.flags |= SMS_FLAG_REPLY_OPTION;
        p.replySequence = static_cast<uint8_t>(value[0] >> 2);  // REPLY_SEQ
        break;
      case kCauseCodes:
        return 0;
      case kBearerData:
        p.flags |= SMS_FLAG_USER_DATA;
        if (len == 0) return 0;
        bearer = value;
        bearerLength = len;
        break;
      default:
        break;
    }
  }
  if (p.messageType != kPointToPoint || !(p.flags & SMS_FLAG_ADDRESS)) return 0;
  DecodeBearerData(bearer, bearerLength, record);
  return 1;
}

uint16_t EncodeTransportLayer(const CNS_SMS_RECEIVED* record, uint8_t* output, int capacity) {
  if (!record) return 0;
  const CNS_SMS_PARAMS& p = record->params;
  BitWriter w(output, capacity);
  w.Byte(kPointToPoint);
  w.Byte(kTeleserviceId);
  w.Byte(2);
  w.Write(TeleserviceToWire(p.teleservice), 16);
  w.Byte(kServiceCategory);
  w.Byte(2);
  w.Write(p.serviceCategory, 16);
  if (p.flags & SMS_FLAG_ADDRESS) WriteParameter(kOriginatingAddress, w, [&] { WriteAddressValue(p, w); });
  if (p.flags & SMS_FLAG_SUBADDRESS) WriteParameter(kOriginatingSubaddress, w, [&] { WriteSubaddressValue(p, w); });
  if (p.flags & SMS_FLAG_REPLY_OPTION) {
    w.Byte(kBearerReplyOption);
    w.Byte(1);
    w.Write(p.replySequence & 0x3F, 6);
    w.Write(0, 2);
  }
  if (p.flags & SMS_FLAG_USER_DATA) WriteParameter(kBearerData, w, [&] { WriteBearerData(*record, w); });
  return static_cast<uint16_t>(w.BytePosition());
}

uint32_t ConvertCNSToIS637(const CNS_SMS_RECEIVED* record, WMC_SMS_MESSAGE* host) {
  if (!record || !host) return WMC_ERROR_INVALID_PARAMETER;
  const uint16_t size = EncodeTransportLayer(record, nullptr, 0);
  uint8_t* out = SmsMessageBytes(*host);
  if (!out || host->length < size) {
    host->length = size;
    SmsLogHook()("ConvertCNSToIS637:not enough buffer size passed return WMC_ERROR_BUFFER_TOO_SMALL\n");
    return WMC_ERROR_BUFFER_TOO_SMALL;
  }
  EncodeTransportLayer(record, out, size);
  host->length = size;
  return WMC_ERROR_SUCCESS;
}

SmsSendRecord::SmsSendRecord() : record_() {
  record_.size = kSmsSendRecordSize;
  record_.params.size = kSmsParamsSize;
}
