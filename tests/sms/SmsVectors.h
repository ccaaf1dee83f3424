// Host messages laid out from the public standard's field layouts, with what the send
// record must hold after them. Shared by the tests and the fuzz seed corpus.
#pragma once
#include <string>
#include <vector>

#include "SmsTestSupport.h"

struct HostVector {
  const char* name;
  const char* hex;
  bool accepted;
  bool canonical;  // the encoder writes exactly these bytes back from the record
  void (*check)(const CNS_SMS_SEND& record);
};

const std::vector<HostVector>& HostVectors();

// The characters a send record holds, as a string.
std::string Chars(const uint8_t* bytes, int count);
std::string UserText(const CNS_SMS_SEND& record);
