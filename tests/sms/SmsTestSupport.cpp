#include "SmsTestSupport.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Sms/SmsLog.h"

Bytes Hex(const std::string& text) {
  Bytes out;
  int nibbles = 0;
  uint8_t acc = 0;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else continue;
    acc = static_cast<uint8_t>(acc << 4 | v);
    if (++nibbles % 2 == 0) out.push_back(acc);
  }
  return out;
}

std::string HexOf(const Bytes& bytes) {
  std::string out;
  char two[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(two, sizeof two, "%02X", bytes[i]);
    if (i) out += ' ';
    out += two;
  }
  return out;
}

int DecodeHost(const Bytes& message, SmsSendRecord& record) {
  // A heap copy of exactly the message, so that a read past its end is caught natively.
  uint8_t* copy = new uint8_t[message.size() ? message.size() : 1];
  if (!message.empty()) std::memcpy(copy, message.data(), message.size());
  WMC_SMS_MESSAGE host{};
  host.size = sizeof host;
  SetSmsMessageBytes(host, copy);
  host.length = static_cast<uint32_t>(message.size());
  const int result = ConvertIS637ToCNS(&host, record.get());
  delete[] copy;
  return result;
}

CNS_SMS_RECEIVED ReceivedFrom(const CNS_SMS_SEND& sent, Bytes& buffer) {
  CNS_SMS_RECEIVED received{};
  received.size = kSmsReceivedRecordSize;
  received.params = sent.params;
  received.messageId = sent.messageId;
  buffer.assign(kSmsReceivedBufferSize, 0);
  const uint32_t count = sent.userDataCount;
  if (count && SmsUserData(sent)) std::memcpy(buffer.data(), SmsUserData(sent), count);
  SetSmsUserData(received, buffer.data());
  received.userDataCount = count;
  return received;
}

Bytes EncodeHost(const CNS_SMS_RECEIVED& record) {
  Bytes out(EncodeTransportLayer(&record, nullptr, 0));
  WMC_SMS_MESSAGE host{};
  host.size = sizeof host;
  SetSmsMessageBytes(host, out.data());
  host.length = static_cast<uint32_t>(out.size());
  if (ConvertCNSToIS637(&record, &host) != WMC_ERROR_SUCCESS) return {};
  out.resize(host.length);
  return out;
}

Bytes MessageWithBearer(const Bytes& bearer) {
  Bytes m = Hex("00  00 02 10 02  04 05 01 D5 54 48 D0");  // CMT-95, from 5551234
  m.push_back(8);
  m.push_back(static_cast<uint8_t>(bearer.size()));
  m.insert(m.end(), bearer.begin(), bearer.end());
  return m;
}

namespace {
std::vector<std::string> g_lines;

void Keep(const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  g_lines.emplace_back(line);
}
}  // namespace

SmsLogCapture::SmsLogCapture() {
  g_lines.clear();
  SetSmsLogHook(&Keep);
}
SmsLogCapture::~SmsLogCapture() { SetSmsLogHook(nullptr); }
const std::vector<std::string>& SmsLogCapture::Lines() const { return g_lines; }
