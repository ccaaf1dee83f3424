// SMS codec throughput over a mix of everyday messages: host messages decoded to send
// records and received records encoded to host messages. Last line: conversions per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Sms/IS637Codec.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
  CNS_SMS_RECEIVED record;
  std::vector<uint8_t> text;
};

// Texts of a phone's inbox: short and long 7-bit, octets, with and without extras.
std::vector<Sample> Inbox() {
  struct Kind {
    uint32_t encoding;
    int length;
    uint32_t extraFlags;
  };
  const Kind kinds[] = {
      {2, 24, 0},
      {2, 160, SMS_FLAG_TIME_STAMP},
      {2, 70, SMS_FLAG_TIME_STAMP | SMS_FLAG_CALLBACK},
      {0, 140, SMS_FLAG_TIME_STAMP | SMS_FLAG_PRIORITY},
      {2, 12, SMS_FLAG_TIME_STAMP | SMS_FLAG_REPLY_OPTION | SMS_FLAG_LANGUAGE},
      {2, 100, SMS_FLAG_TIME_STAMP | SMS_FLAG_VALIDITY_RELATIVE | SMS_FLAG_DISPLAY_MODE},
  };
  std::vector<Sample> samples;
  uint16_t id = 1;
  for (const Kind& k : kinds) {
    Sample s{};
    CNS_SMS_PARAMS& p = s.record.params;
    s.record.size = kSmsReceivedRecordSize;
    p.size = kSmsParamsSize;
    p.teleservice = 1;
    p.bearerMessageType = 1;
    p.flags = SMS_FLAG_ADDRESS | SMS_FLAG_USER_DATA | k.extraFlags;
    p.addressCount = 10;
    std::memcpy(p.address, "2065550123", 10);
    p.callbackCount = 10;
    std::memcpy(p.callback, "8005551212", 10);
    p.language = 1;
    p.priority = 1;
    p.userDataEncoding = k.encoding;
    const char quote[] = "Running late, the train is stuck outside the station. See you at the usual place ";
    for (int i = 0; i < k.length; ++i) s.text.push_back(static_cast<uint8_t>(quote[i % (sizeof quote - 1)]));
    s.record.messageId = id++;
    s.record.userDataCount = static_cast<uint32_t>(k.length);
    samples.push_back(std::move(s));
  }
  for (Sample& s : samples) SetSmsUserData(s.record, s.text.data());
  return samples;
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 200000;
  std::vector<Sample> inbox = Inbox();

  std::vector<std::vector<uint8_t>> outbox;
  for (const Sample& s : inbox) {
    std::vector<uint8_t> bytes(EncodeTransportLayer(&s.record, nullptr, 0));
    EncodeTransportLayer(&s.record, bytes.data(), static_cast<int>(bytes.size()));
    outbox.push_back(bytes);
  }

  uint64_t check = 0;
  const auto decodeStart = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    std::vector<uint8_t>& bytes = outbox[static_cast<size_t>(i) % outbox.size()];
    WMC_SMS_MESSAGE host{};
    SetSmsMessageBytes(host, bytes.data());
    host.length = static_cast<uint32_t>(bytes.size());
    SmsSendRecord record;
    check += static_cast<uint64_t>(ConvertIS637ToCNS(&host, record.get())) + record->userDataCount;
  }
  const double decodeSeconds = Seconds(decodeStart);

  uint8_t buffer[512];
  const auto encodeStart = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    WMC_SMS_MESSAGE host{};
    SetSmsMessageBytes(host, buffer);
    host.length = sizeof buffer;
    check += ConvertCNSToIS637(&inbox[static_cast<size_t>(i) % inbox.size()].record, &host) + host.length;
  }
  const double encodeSeconds = Seconds(encodeStart);

  std::printf("decode (host message to send record): %.0f messages/s\n", rounds / decodeSeconds);
  std::printf("encode (received record to host message): %.0f messages/s\n", rounds / encodeSeconds);
  std::printf("checksum %llu over %d rounds of a %zu-message mix\n", static_cast<unsigned long long>(check), rounds,
              inbox.size());
  std::printf("sms codec: %.0f conversions/s\n", 2.0 * rounds / (decodeSeconds + encodeSeconds));
  return 0;
}
