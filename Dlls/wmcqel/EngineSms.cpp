// Short messages: the waiting count, reading, sending with its status wait, deleting, and
// the repeated new-message notification.
#include <windows.h>

#include <climits>
#include <cstring>
#include <new>

#include "DebugLog.h"
#include "Engine.h"
#include "Sms/IS637Codec.h"

namespace {

constexpr int kSmsSendFailed = 1778;

// What a re-notify thread needs; it reads nothing of the engine.
struct MessageNotifyStart {
  HANDLE stop;  // the thread's own duplicate of the engine's stop event
  DWORD delayMs;
  HMODULE self;  // a reference on this code, dropped as the thread ends
};

DWORD WINAPI MessageNotifyThreadProc(void* param) {
  MessageNotifyStart start = *static_cast<MessageNotifyStart*>(param);
  delete static_cast<MessageNotifyStart*>(param);
  if (WaitForSingleObject(start.stop, start.delayMs) == WAIT_TIMEOUT)
    CSEVDOEngine::SendNotification(WMC_NOTIFY_NEW_MESSAGE);
  CloseHandle(start.stop);
  // The library stays mapped until this thread no longer runs its code.
  FreeLibraryAndExitThread(start.self, 0);
}

}  // namespace

namespace {
// A global of its own (a function's static would take the C++ runtime's guard, whose first
// use leaves a thread handle and an event behind each time the library is loaded).
CHeldSms g_heldSms;
}  // namespace

CHeldSms& HeldSms() { return g_heldSms; }

namespace {

// The stored copy: the record as the SDK filled it (its buffer pointer cleared) and then its
// user data buffer. The record's layout is the same in both builds.
constexpr wchar_t kHeldKey[] = L"Software\\Veltra Vazudari\\wmcqel";
constexpr wchar_t kHeldValue[] = L"HeldMessage";
struct StoredSms {
  CNS_SMS_RECEIVED record;
  uint8_t text[kSmsReceivedBufferSize];
};

}  // namespace

bool CHeldSms::Held() {
  if (looked_) return held_;
  looked_ = true;
  StoredSms stored;
  DWORD type = 0, size = sizeof stored;
  LSTATUS rc = RegGetValueW(HKEY_CURRENT_USER, kHeldKey, kHeldValue, RRF_RT_REG_BINARY, &type, &stored, &size);
  if (rc == ERROR_SUCCESS && size == sizeof stored && stored.record.size == kSmsReceivedRecordSize) {
    message.record = stored.record;
    std::memcpy(message.text, stored.text, sizeof message.text);
    message.Bound();
    held_ = true;
  } else if (rc != ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kHeldKey, kHeldValue);  // unreadable: not a message
  }
  return held_;
}

void CHeldSms::Keep() {
  looked_ = held_ = true;
  StoredSms stored;
  stored.record = message.record;
  stored.record.userData = 0;
  std::memcpy(stored.text, message.text, sizeof stored.text);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kHeldKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;  // held for this load only
  RegSetValueExW(key, kHeldValue, 0, REG_BINARY, reinterpret_cast<const BYTE*>(&stored), sizeof stored);
  RegCloseKey(key);
}

void CHeldSms::Drop() {
  if (!Held()) return;
  held_ = false;
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kHeldKey, kHeldValue);
}

int CSEVDOEngine::GetUnreadCount() {
  uint32_t status[4] = {sizeof status, 0, 0, 0};
  if (sdk_->GetSMSMessageStatus(status, kSdkTimeout) != 0) return -1;
  // Each counter on its own: a sum past INT_MAX is still a count of waiting messages.
  uint64_t n = static_cast<uint64_t>(status[1]) + status[2];
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

namespace {

// A modem that reports no message at all no longer keeps the one held back either.
void ForgetHeldWhenNoneWaits(int unread) {
  if (unread == 0) HeldSms().Drop();
}

// After a deletion: the messages left are announced again, or none waits.
void AfterDeletion(CSEVDOEngine& e) {
  int n = e.GetUnreadCount();
  ForgetHeldWhenNoneWaits(n);
  if (n > 0) e.StartMessageNotifyThread();
  else e.messagesWaiting_ = 0;
}

}  // namespace

int CSEVDOEngine::GetMessageCount(int* waiting) {
  int n = GetUnreadCount();
  ForgetHeldWhenNoneWaits(n);
  // A message held back for the host is waiting too.
  messagesWaiting_ = (n > 0 || HeldSms().Held()) ? 1 : 0;
  *waiting = static_cast<int>(messagesWaiting_);
  return WMC_ERROR_SUCCESS;
}

int CSEVDOEngine::GetNextMessage(WMC_SMS_MESSAGE* msg) {
  CHeldSms& held = HeldSms();
  if (!held.Held()) {
    if (!messagesWaiting_) return WMC_ERROR_SMS_NO_MESSAGES;
    held.message.Prepare();
    if (sdk_->RetrieveSMSMessageEx(&held.message.record, 0, kSdkTimeout) != 0) return WMC_ERROR_FAILED;
    held.message.Bound();
    held.Keep();
  }
  // The SDK has handed the message out and will not again: it stays here until the host's
  // buffer takes it, whatever engine asks next (also when the host shut down meanwhile).
  if (StopRequested()) return WMC_ERROR_NOT_STARTED;
  uint32_t r = ConvertCNSToIS637(&held.message.record, msg);
  if (r != 0) {
    DebugLog("CSEVDOEngine::GetNextMessage ConvertCNSToIS637:error(%d)\n", static_cast<int>(r));
    return static_cast<int>(r);
  }
  held.Drop();
  DebugLog("CSEVDOEngine::GetNextMessage ConvertCNSToIS637:WMC_ERROR_SUCCESS\n");
  msg->status = 0;
  return WMC_ERROR_SUCCESS;
}

void CSEVDOEngine::DropLeftoverSendStatus() {
  // Statuses come in the order of their sends: one still owed arrives before this send's.
  if (smsStatusOwed_ && NotificationsOn()) WaitForSingleObject(smsSendEvent_, smsLeftoverWaitMs_);
  smsStatusOwed_ = false;
}

int CSEVDOEngine::SendSmsMessage(const WMC_SMS_MESSAGE* msg) {
  SmsSendRecord record;  // frees the decoder's user data buffer on every way out
  if (ConvertIS637ToCNS(msg, record.get()) != 1) return WMC_ERROR_INVALID_PARAMETER;
  DropLeftoverSendStatus();
  if (sdk_->StoreSMSMessage(record.get(), kSdkTimeout) != 0) return WMC_ERROR_FAILED;
  ResetEvent(smsSendEvent_);
  std::memset(smsSendStatus_, 0, sizeof smsSendStatus_);
  if (sdk_->SendSMS(kSdkTimeout) != 0) return kSmsSendFailed;
  // No status in time: the network has not confirmed the message, so it is not reported sent.
  if (WaitForSingleObject(smsSendEvent_, smsSendWaitMs_) != WAIT_OBJECT_0) {
    smsStatusOwed_ = NotificationsOn();  // with notifications off its status is dropped
    return WMC_ERROR_FAILED;
  }
  uint32_t status = smsSendStatus_[2], cause = smsSendStatus_[3];
  if (status == 1 || status == 2) return TranslateSmsCause(static_cast<int>(cause));
  return WMC_ERROR_SUCCESS;
}

int CSEVDOEngine::TranslateSmsCause(int cause) {
  if ((cause >= 0 && cause <= 6) || (cause >= 31 && cause <= 40) || cause == 47 || cause == 48 ||
      (cause >= 63 && cause <= 67) || (cause >= 95 && cause <= 108))
    return 1000 + cause;
  if (cause == 255) return 1255;
  if (cause == 0x4000) return 1769;
  if (cause == 0x8000) return WMC_ERROR_SUCCESS;
  int n = cause - 0x8000;
  if (n >= 1 && n <= 11 && n != 8) return 1768 + n;
  return WMC_ERROR_FAILED;
}

int CSEVDOEngine::DeleteMessage(uint16_t id) {
  if (sdk_->SetMessageRetrieved(id, kSdkTimeout) != 0) return WMC_ERROR_SMS_DELETE_FAILED;
  CHeldSms& held = HeldSms();
  if (held.Held() && held.message.record.messageId == id) held.Drop();
  AfterDeletion(*this);
  return WMC_ERROR_SUCCESS;
}

int CSEVDOEngine::DeleteAllMessages() {
  CReceivedSms fresh;
  fresh.Prepare();
  if (sdk_->RetrieveSMSMessageEx(&fresh.record, 1, kSdkTimeout) != 0) return WMC_ERROR_FAILED;
  HeldSms().Drop();
  AfterDeletion(*this);
  return WMC_ERROR_SUCCESS;
}

void CSEVDOEngine::StartMessageNotifyThread() {
  auto* start = new (std::nothrow) MessageNotifyStart{nullptr, renotifyDelayMs_, nullptr};
  if (!start) return;
  HANDLE process = GetCurrentProcess();
  if (!messageNotifyStop_.get() ||
      !DuplicateHandle(process, messageNotifyStop_.get(), process, &start->stop, SYNCHRONIZE, FALSE, 0) ||
      !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&MessageNotifyThreadProc),
                          &start->self)) {
    if (start->stop) CloseHandle(start->stop);
    delete start;
    return;
  }
  HANDLE thread = CreateThread(nullptr, 0, MessageNotifyThreadProc, start, 0, nullptr);
  if (!thread) {
    CloseHandle(start->stop);
    FreeLibrary(start->self);
    delete start;
    return;
  }
  CloseHandle(thread);
}
