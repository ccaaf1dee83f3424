#include "Sms/SmsLog.h"

#include <atomic>

namespace {

void Discard(const char*, ...) {}

std::atomic<SmsLogFn> g_hook{&Discard};

}  // namespace

void SetSmsLogHook(SmsLogFn hook) { g_hook.store(hook ? hook : &Discard); }

SmsLogFn SmsLogHook() { return g_hook.load(); }
