// Pieces of the engine's short-message operations that the engine holds as members.
#pragma once
#include <windows.h>

#include <cstdint>

#include "Sms/SmsRecords.h"

constexpr DWORD kSmsSendWaitMs = 6000;

// Signalled when the engine goes: re-notify threads still waiting end without notifying.
// Each thread waits on its own duplicate of the event.
class CMessageNotifyStop {
 public:
  CMessageNotifyStop() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~CMessageNotifyStop() {
    if (!event_) return;
    SetEvent(event_);
    CloseHandle(event_);
  }
  CMessageNotifyStop(const CMessageNotifyStop&) = delete;
  CMessageNotifyStop& operator=(const CMessageNotifyStop&) = delete;
  HANDLE get() const { return event_; }

 private:
  HANDLE event_;
};

// A received message as the SDK handed it out, with the engine's own user data buffer.
struct CReceivedSms {
  CNS_SMS_RECEIVED record;
  uint8_t text[kSmsReceivedBufferSize];
  // Size, buffer and capacity set for a retrieve.
  void Prepare() {
    record = CNS_SMS_RECEIVED{};
    record.size = kSmsReceivedRecordSize;
    SetSmsUserData(record, text);
    record.userDataCount = kSmsReceivedBufferSize;
  }
  // After the SDK filled it: the buffer is ours again whatever the SDK wrote there, and the
  // count no larger than it.
  void Bound() {
    SetSmsUserData(record, text);
    if (record.userDataCount > static_cast<uint32_t>(kSmsReceivedBufferSize)) record.userDataCount = kSmsReceivedBufferSize;
  }
};

// A message handed out by the modem that the host's buffer could not take yet: the next read
// returns it, also after a shutdown and a new start-up, an unload and a new load, or in the
// user's next process (the modem hands a message out once). A copy is kept under the user's
// registry key until the host has the message or it is deleted; reached only from the host's
// calls.
class CHeldSms {
 public:
  CReceivedSms message;
  // A message is held (the stored copy is read at this load's first look).
  bool Held();
  // The message just retrieved is held, and stored.
  void Keep();
  // The held message is gone (taken by the host, or deleted), and so is its stored copy.
  void Drop();

 private:
  bool held_ = false;
  bool looked_ = false;
};
CHeldSms& HeldSms();
