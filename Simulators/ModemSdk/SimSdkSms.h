// The simulated modem's short-message store: the library's SMS entry points (SimSdkSms.cpp)
// and the helpers a driver fills the store and reads the sent messages with.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "SimSdkControl.h"
#include "Sms/IS637Codec.h"
#include "Sms/SmsRecords.h"

// The store's entry points, called by the library's bodies once the script let the call
// through (its result 0, no scripted output). Each returns the call's result.
uint32_t SimSmsStatus(SimSdkControl& c, void* out);
uint32_t SimSmsRetrieve(SimSdkControl& c, void* record, uint32_t flag);
uint32_t SimSmsSetRetrieved(SimSdkControl& c, uint16_t id);
uint32_t SimSmsStore(SimSdkControl& c, const void* record);
uint32_t SimSmsSend(SimSdkControl& c);

// A received point-to-point text (teleservice 1, 7-bit characters) from a number.
inline SimSdkSmsMessage SimSdkSmsText(uint16_t id, const char* from, const char* text) {
  SimSdkSmsMessage m = {};
  CNS_SMS_PARAMS p = {};
  p.size = kSmsParamsSize;
  p.teleservice = 1;
  p.bearerMessageType = 1;
  p.flags = SMS_FLAG_ADDRESS | SMS_FLAG_USER_DATA;
  p.addressCount = static_cast<uint8_t>(std::min<size_t>(std::strlen(from), kSmsMaxAddressChars));
  std::memcpy(p.address, from, p.addressCount);
  p.userDataEncoding = 2;
  std::memcpy(m.params, &p, sizeof p);
  m.id = id;
  m.textLength = static_cast<uint16_t>(std::min<size_t>(std::strlen(text), kSimSdkSmsTextSize));
  std::memcpy(m.text, text, m.textLength);
  return m;
}

inline CNS_SMS_PARAMS SimSdkSmsParams(const SimSdkSmsMessage& m) {
  CNS_SMS_PARAMS p;
  std::memcpy(&p, m.params, sizeof p);
  return p;
}
// The transport message a host sends: a point-to-point text (7-bit characters) to a number.
inline std::vector<uint8_t> SimSdkSmsHostMessage(const char* to, const char* text) {
  SimSdkSmsMessage m = SimSdkSmsText(0, to, text);
  CNS_SMS_RECEIVED r = {};
  r.size = kSmsReceivedRecordSize;
  r.params = SimSdkSmsParams(m);
  SetSmsUserData(r, m.text);
  r.userDataCount = m.textLength;
  std::vector<uint8_t> bytes(EncodeTransportLayer(&r, nullptr, 0));
  EncodeTransportLayer(&r, bytes.data(), static_cast<int>(bytes.size()));
  return bytes;
}

inline std::string SimSdkSmsTextOf(const SimSdkSmsMessage& m) {
  return std::string(reinterpret_cast<const char*>(m.text), m.textLength);
}

// The two counters QelGetSMSMessageStatus reports; call with the block's lock held.
inline void SimSdkSmsCounters(const SimSdkSmsState& s, uint32_t* fresh, uint32_t* handedOut) {
  *fresh = *handedOut = 0;
  for (uint32_t i = 0; i < s.count && i < static_cast<uint32_t>(kSimSdkSmsSlots); ++i)
    ++*(s.store[i].handedOut ? handedOut : fresh);
}

// Adds a message to the store (and turns the store on); false when it is full.
inline bool SimSdkSmsAdd(SimSdkControl& c, const SimSdkSmsMessage& m) {
  auto guard = c.lock();
  SimSdkSmsState& s = c->sms;
  s.storeOn = 1;
  if (s.count >= static_cast<uint32_t>(kSimSdkSmsSlots)) return false;
  s.store[s.count] = m;
  s.store[s.count].handedOut = 0;
  ++s.count;
  return true;
}

// Adds a message and announces it as the modem does: notification 17 with both counters.
inline bool SimSdkSmsDeliver(SimSdkControl& c, const SimSdkSmsMessage& m) {
  if (!SimSdkSmsAdd(c, m)) return false;
  uint32_t fresh, handedOut;
  {
    auto guard = c.lock();
    SimSdkSmsCounters(c->sms, &fresh, &handedOut);
  }
  return c.Inject(17, {0, fresh, handedOut});
}
