// The simulated modem's short-message store behind QelGetSMSMessageStatus,
// QelRetrieveSMSMessageEx, QelSetMessageRetrieved, QelStoreSMSMessage and QelSendSMS.
#include "SimSdkSms.h"

#include <algorithm>

namespace {

constexpr uint32_t kNone = 1;

void Remove(SimSdkSmsState& s, uint32_t at) {
  for (uint32_t i = at; i + 1 < s.count; ++i) s.store[i] = s.store[i + 1];
  --s.count;
}

// Fills a received record the caller prepared: its own size and buffer stay, the text is cut
// to the buffer's capacity.
void HandOut(const SimSdkSmsMessage& m, void* out) {
  auto* record = static_cast<CNS_SMS_RECEIVED*>(out);
  std::memcpy(&record->params, m.params, sizeof record->params);
  record->messageId = m.id;
  uint8_t* buffer = SmsUserData(*record);
  uint32_t n = std::min<uint32_t>(m.textLength, record->userDataCount);
  if (buffer) std::memcpy(buffer, m.text, n);
  record->userDataCount = buffer ? n : 0;
}

}  // namespace

uint32_t SimSmsStatus(SimSdkControl& c, void* out) {
  if (!out) return kNone;
  uint32_t words[4] = {16, 0, 0, 0};
  {
    auto guard = c.lock();
    SimSdkSmsCounters(c->sms, &words[1], &words[2]);
  }
  std::memcpy(out, words, 12);  // the fourth word is the caller's
  return 0;
}

uint32_t SimSmsRetrieve(SimSdkControl& c, void* record, uint32_t flag) {
  if (!record) return kNone;
  SimSdkSmsMessage m;
  {
    auto guard = c.lock();
    SimSdkSmsState& s = c->sms;
    uint32_t at = 0;
    if (flag == 0)
      while (at < s.count && s.store[at].handedOut) ++at;
    if (at >= s.count) return kNone;
    m = s.store[at];
    if (flag == 0) s.store[at].handedOut = 1;
    else Remove(s, at);
  }
  HandOut(m, record);
  return 0;
}

uint32_t SimSmsSetRetrieved(SimSdkControl& c, uint16_t id) {
  auto guard = c.lock();
  SimSdkSmsState& s = c->sms;
  for (uint32_t i = 0; i < s.count; ++i)
    if (s.store[i].id == id) {
      Remove(s, i);
      return 0;
    }
  return kNone;
}

uint32_t SimSmsStore(SimSdkControl& c, const void* in) {
  if (!in) return kNone;
  const auto* record = static_cast<const CNS_SMS_SEND*>(in);
  SimSdkSmsMessage m = {};
  std::memcpy(m.params, &record->params, sizeof m.params);
  m.id = record->messageId;
  const uint8_t* text = SmsUserData(*record);
  m.textLength = static_cast<uint16_t>(text ? std::min<uint32_t>(record->userDataCount, kSimSdkSmsTextSize) : 0);
  if (m.textLength) std::memcpy(m.text, text, m.textLength);
  auto guard = c.lock();
  c->sms.storedMessage = m;
  c->sms.stored = 1;
  return 0;
}

uint32_t SimSmsSend(SimSdkControl& c) {
  uint32_t status, cause;
  {
    auto guard = c.lock();
    SimSdkSmsState& s = c->sms;
    if (!s.stored) return kNone;
    s.stored = 0;
    if (s.sentCount < static_cast<uint32_t>(kSimSdkSmsSlots)) s.sent[s.sentCount] = s.storedMessage;
    ++s.sentCount;
    status = s.sendStatus;
    cause = s.sendCause;
  }
  // The status comes from the delivering thread, after this call has returned or not.
  if (status) c.Inject(18, {0, 0, status, cause});
  return 0;
}
