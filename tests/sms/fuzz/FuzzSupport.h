// Checks shared by the fuzz targets: a failed one prints what broke and aborts, which
// libFuzzer reports as a finding.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SmsTestSupport.h"

#define FUZZ_CHECK(cond)                                                   \
  do {                                                                     \
    if (!(cond)) {                                                         \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                        \
    }                                                                      \
  } while (0)

// Encodes into buffers of exactly the sizes involved, so that a write past them is caught:
// one byte short must give 300 and leave the buffer as it was, the exact size must give 0,
// and the parameters must tile the message to its last byte.
inline Bytes EncodeChecked(const CNS_SMS_RECEIVED& record) {
  const uint16_t size = EncodeTransportLayer(&record, nullptr, 0);
  FUZZ_CHECK(size >= 9);
  WMC_SMS_MESSAGE host{};
  host.size = sizeof host;

  Bytes shortBuffer(size - 1u, 0x5A);
  SetSmsMessageBytes(host, shortBuffer.data());
  host.length = size - 1u;
  FUZZ_CHECK(ConvertCNSToIS637(&record, &host) == WMC_ERROR_BUFFER_TOO_SMALL);
  FUZZ_CHECK(host.length == size);
  for (uint8_t b : shortBuffer) FUZZ_CHECK(b == 0x5A);

  Bytes out(size);
  SetSmsMessageBytes(host, out.data());
  host.length = size;
  FUZZ_CHECK(ConvertCNSToIS637(&record, &host) == WMC_ERROR_SUCCESS);
  FUZZ_CHECK(host.length == size);

  size_t pos = 1;
  while (pos + 2 <= out.size()) pos += 2u + out[pos + 1];
  FUZZ_CHECK(pos == out.size());
  return out;
}

// Decoding what the encoder wrote and encoding again settles after one more round.
inline void CheckSettles(const Bytes& encoded) {
  Bytes rounds[2];
  Bytes in = encoded;
  for (Bytes& out : rounds) {
    SmsSendRecord record;
    FUZZ_CHECK(DecodeHost(in, record) == 1);
    Bytes userData;
    out = EncodeChecked(ReceivedFrom(*record, userData));
    in = out;
  }
  if (rounds[0] != rounds[1]) {
    std::fprintf(stderr, "first:  %s\nsecond: %s\n", HexOf(rounds[0]).c_str(), HexOf(rounds[1]).c_str());
    std::abort();
  }
}
