// Helpers shared by the codec tests, the seed corpus writer and the fuzz targets.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Sms/IS637Codec.h"

using Bytes = std::vector<uint8_t>;

// "00 02 10 02" to bytes; blanks are ignored.
Bytes Hex(const std::string& text);
std::string HexOf(const Bytes& bytes);

// Runs the host-to-SDK conversion on a copy of the bytes that ends where they end.
int DecodeHost(const Bytes& message, SmsSendRecord& record);

// A record as the SDK returns it for the message that a send record describes; its user
// data buffer is buffer (resized to the 240 bytes the engine hands the SDK).
CNS_SMS_RECEIVED ReceivedFrom(const CNS_SMS_SEND& sent, Bytes& buffer);

// The SDK-to-host conversion into a buffer of exactly the needed size.
Bytes EncodeHost(const CNS_SMS_RECEIVED& record);

// A point-to-point CMT message from a DTMF address that carries the given bearer data.
Bytes MessageWithBearer(const Bytes& bearer);

// Installs a hook that keeps every codec log line; restores the default on destruction.
class SmsLogCapture {
 public:
  SmsLogCapture();
  ~SmsLogCapture();
  const std::vector<std::string>& Lines() const;
};
