// The 47 host exports: argument checks in their fixed order, then one call into the engine.
// They take no lock and throw nothing; nothing is written to a host block before its checks
// pass.
#include "Exports.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "DebugLog.h"
#include "Engine.h"
#include "EngineTestSeams.h"
#include "NetworkErrors.h"

namespace {

CSEVDOEngine* Engine() { return g_engine.load(); }
bool TooSmall(const void* block, uint32_t minimum) { return *static_cast<const uint32_t*>(block) < minimum; }
bool BoxOutOfRange(int box) { return static_cast<unsigned>(box) > 3; }
bool Busy(const CSEVDOEngine* e) { return e->connection_.state >= WMC_STATE_CONNECTING; }

// null: 1; too small: 300; no engine: 107; else 0 (the check order of a block export).
int CheckBlock(const void* block, uint32_t minimum) {
  if (!block) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(block, minimum)) return WMC_ERROR_BUFFER_TOO_SMALL;
  if (!Engine()) return WMC_ERROR_NOT_STARTED;
  return WMC_ERROR_SUCCESS;
}
int CheckEngine() { return Engine() ? WMC_ERROR_SUCCESS : WMC_ERROR_NOT_STARTED; }

int ProbePower() {
  CSEVDOEngine* e = Engine();
  if (!e) return WMC_ERROR_NOT_STARTED;
  if (Busy(e)) return WMC_ERROR_SUCCESS;
  int r = e->Engine_GetPower();
  if (r != WMC_ERROR_NOT_SUPPORTED) return r;
  int on = 0;
  int s = e->Engine_GetRadioPower(&on);
  if (s != 0) return s;
  return on ? WMC_ERROR_SUCCESS : WMC_ERROR_RADIO_OFF;
}

}  // namespace

extern "C" {

int __cdecl WMC_Startup(void) {
  int p = ProbePower();
  if (p == WMC_ERROR_RADIO_OFF || p == WMC_ERROR_NO_DEVICE || Engine()) return p;
  CSEVDOEngine* engine = EngineAllocationFails() ? nullptr : new (std::nothrow) CSEVDOEngine();
  if (!engine) return WMC_ERROR_OUT_OF_MEMORY;
  if (!engine->sdk_) {
    // No engine stays behind whose SDK calls would go through a null binding.
    delete engine;
    return WMC_ERROR_NO_SDK;
  }
  g_engine = engine;
  int r = engine->Initialize();
  if (r != 0) {
    WMC_Shutdown();
    return r;
  }
  return ProbePower();
}

int __cdecl WMC_Shutdown(void) {
  if (!Engine()) return WMC_ERROR_NOT_STARTED;
  // The pointer goes first, so no notification or timer reaches the engine while it is torn
  // down (unsubscribed, SDK closed) and deleted.
  delete g_engine.exchange(nullptr);
  return WMC_ERROR_SUCCESS;
}

int __cdecl WMC_SetCallback(int index, WMC_NOTIFY_CALLBACK fn, int remove) {
  if (!fn) return WMC_ERROR_INVALID_PARAMETER;
  if (index < 0 || index >= WMC_NOTIFY_SLOTS) return WMC_ERROR_INVALID_PARAMETER;
  if (remove) {
    g_hostCallbacks.slots[index] = nullptr;
  } else {
    WMC_NOTIFY_CALLBACK empty = nullptr;
    g_hostCallbacks.slots[index].compare_exchange_strong(empty, fn);  // a set slot keeps its function
  }
  return WMC_ERROR_SUCCESS;
}

int __cdecl WMC_GetBatteryInfo(WMC_BATTERY_INFO* info) {
  if (int r = CheckBlock(info, kWmcMinBatteryInfo)) return r;
  info->value4 = 2;
  info->value8 = 0;
  return WMC_ERROR_SUCCESS;
}

int __cdecl WMC_SetRadioPower(int on) {
  CSEVDOEngine* e = Engine();
  if (!e) return WMC_ERROR_NOT_STARTED;
  if (e->connection_.state > WMC_STATE_IDLE) return WMC_ERROR_BUSY;
  return e->Engine_SetRadioPower(on);
}

int __cdecl WMC_SaveMessage(void*) { return CheckEngine() ? WMC_ERROR_NOT_STARTED : WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_SetMessageStatus(void*) { return CheckEngine() ? WMC_ERROR_NOT_STARTED : WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_GetCallEntryCount(void*) { return WMC_ERROR_SUCCESS; }

int __cdecl WMC_GetFirstCallEntry(int box, WMC_CALL_ENTRY* entry) {
  if (!entry || BoxOutOfRange(box)) return WMC_ERROR_INVALID_PARAMETER;
  if (int r = CheckBlock(entry, kWmcMinCallEntry)) return r;
  return WMC_ERROR_NOT_SUPPORTED;
}
int __cdecl WMC_GetNextCallEntry(WMC_CALL_ENTRY* entry) {
  if (int r = CheckBlock(entry, kWmcMinCallEntry)) return r;
  return WMC_ERROR_NOT_SUPPORTED;
}
int __cdecl WMC_ClearCallEntries(int box) {
  if (BoxOutOfRange(box)) return WMC_ERROR_INVALID_PARAMETER;
  if (int r = CheckEngine()) return r;
  return WMC_ERROR_NOT_SUPPORTED;
}

int __cdecl WMC_GetFieldSizes(WMC_FIELD_SIZES* sizes) {
  if (!sizes) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(sizes, kWmcMinFieldSizes)) return WMC_ERROR_BUFFER_TOO_SMALL;
  sizes->value26 = 1;
  return WMC_ERROR_NOT_SUPPORTED;
}

int __cdecl WMC_GetContact(int, WMC_CONTACT* contact) {
  if (int r = CheckBlock(contact, kWmcMinContact)) return r;
  return WMC_ERROR_NOT_SUPPORTED;
}
int __cdecl WMC_SetContact(int, WMC_CONTACT* contact) { return WMC_GetContact(0, contact); }

int __cdecl WMC_GetGroup(int, WMC_GROUP* group) {
  if (int r = CheckBlock(group, kWmcMinGroup)) return r;
  return WMC_ERROR_NOT_SUPPORTED;
}
int __cdecl WMC_GetPictureID(int, WMC_GROUP* group) { return WMC_GetGroup(0, group); }
int __cdecl WMC_GetRingerID(int, WMC_GROUP* group) { return WMC_GetGroup(0, group); }

int __cdecl WMC_SetPowerState(void*) { return WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_DeleteContact(void*) { return WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_DeleteEvent(void*) { return WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_GetEvent(void*) { return WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_GetLocationInfo(void*) { return WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_PlayRingerID(void*) { return WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_SetEvent(void*) { return WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_SetLocationMode(void*) { return WMC_ERROR_NOT_SUPPORTED; }

int __cdecl WMC_GetNetworkErrorString(int code, char* buffer, int max) {
  if (!buffer) return WMC_ERROR_INVALID_PARAMETER;
  // A size of 0 or below has no room even for the terminator: nothing is written.
  if (max <= 0) return WMC_ERROR_INVALID_PARAMETER;
  lstrcpynA(buffer, NetworkErrorText(code).c_str(), max);
  return WMC_ERROR_SUCCESS;
}

// Query and command exports: their checks here, their operations in the engine.
int __cdecl WMC_SetFieldTest(int enable, WMC_FIELDTEST_CALLBACK fn) {
  if (!fn) {
    g_hostCallbacks.fieldTest = nullptr;
    return enable ? WMC_ERROR_INVALID_PARAMETER : WMC_ERROR_SUCCESS;
  }
  if (!enable) {
    g_hostCallbacks.fieldTest = nullptr;
    return WMC_ERROR_SUCCESS;
  }
  WMC_FIELDTEST_CALLBACK empty = nullptr;
  g_hostCallbacks.fieldTest.compare_exchange_strong(empty, fn);  // a set callback stays
  if (CSEVDOEngine* e = Engine()) e->CallFieldTestHeader();
  return WMC_ERROR_SUCCESS;
}

int __cdecl WMC_GetConnectionInfo(WMC_CONNECTION_INFO* info) {
  if (int r = CheckBlock(info, kWmcMinConnectionInfo)) return r;
  CSEVDOEngine* e = Engine();
  e->UpdateConnectionDurations();
  std::memcpy(info, &e->connection_, sizeof e->connection_);
  return WMC_ERROR_SUCCESS;
}
int __cdecl WMC_GetNetworkInfo(WMC_NETWORK_INFO* info) {
  if (int r = CheckBlock(info, kWmcMinNetworkInfo)) return r;
  CSEVDOEngine* e = Engine();
  e->GetNetworkInfo();
  e->GetNetworkTime();
  std::memcpy(info, &e->network_, sizeof e->network_);
  return WMC_ERROR_SUCCESS;
}
int __cdecl WMC_GetDeviceInfo(WMC_DEVICE_INFO* info) {
  if (int r = CheckBlock(info, kWmcMinDeviceInfo)) return r;
  CSEVDOEngine* e = Engine();
  e->GetDeviceInfo();
  std::memcpy(info, &e->device_, sizeof e->device_);
  return WMC_ERROR_SUCCESS;
}
int __cdecl WMC_Activate(WMC_ACTIVATION_INFO* info) {
  if (int r = CheckBlock(info, kWmcMinActivationInfo)) return r;
  CSEVDOEngine* e = Engine();
  if (Busy(e)) return WMC_ERROR_BUSY;
  if (info->type != 0) return e->AutoActivation() ? WMC_ERROR_ACTIVATION_STARTED : WMC_ERROR_ACTIVATION_FAILED;
  // The SDK takes a 16-bit PRL length and reads the bytes the pointer names.
  if (info->prlLength > 0xFFFF || (info->prlLength > 0 && info->prl == 0)) return WMC_ERROR_INVALID_PARAMETER;
  std::memcpy(&e->activation_, info, sizeof e->activation_);
  char spc[sizeof info->spc + 1];
  std::memcpy(spc, info->spc, sizeof info->spc);
  spc[sizeof info->spc] = '\0';
  int ok = e->ManualActivation(static_cast<uint32_t>(std::strtol(spc, nullptr, 10)));
  // The PRL pointer is the host's for this call only.
  e->activation_.prl = 0;
  e->activation_.prlLength = 0;
  return ok ? WMC_ERROR_SUCCESS : WMC_ERROR_ACTIVATION_FAILED;
}
int __cdecl WMC_SetLock(int lock, const char* code) {
  if (!code) return WMC_ERROR_INVALID_PARAMETER;
  if (int r = CheckEngine()) return r;
  return Engine()->SetLock(lock, code);
}
int __cdecl WMC_ChangeLockCode(const char* oldCode, const char* newCode) {
  if (!newCode || !oldCode) return WMC_ERROR_INVALID_PARAMETER;
  if (int r = CheckEngine()) return r;
  if (Busy(Engine())) return WMC_ERROR_BUSY;
  return Engine()->ChangeLockCode(oldCode, newCode);
}
int __cdecl WMC_GetParameters(WMC_PARAMETERS* parameters) {
  if (int r = CheckBlock(parameters, kWmcMinParameters)) return r;
  return Engine()->Engine_GetParameters(parameters);
}
int __cdecl WMC_SetParameters(WMC_PARAMETERS* parameters) {
  if (int r = CheckBlock(parameters, kWmcMinParameters)) return r;
  WMC_PARAMETERS copy;
  std::memcpy(&copy, parameters, sizeof copy);
  return Engine()->Engine_SetParameters(&copy);
}
// The upgrade and NDIS blocks are checked like the others (null 1, too small 300) before
// anything is read or written.
int __cdecl WMC_CheckForUpgrade(WMC_UPGRADE_INFO* info) {
  if (int r = CheckBlock(info, kWmcMinUpgradeInfo)) return r;
  return Engine()->CheckForUpgrade(info);
}
int __cdecl WMC_Upgrade(WMC_UPGRADE_INFO* info) {
  if (!info) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(info, kWmcMinUpgradeInfo)) return WMC_ERROR_BUFFER_TOO_SMALL;
  return LaunchUpgrade(info);
}

int __cdecl WMC_SetPower(int on) {
  WMC_Startup();
  CSEVDOEngine* e = Engine();
  if (!e) return WMC_ERROR_NOT_STARTED;
  return e->SwitchPower(on);
}
int __cdecl WMC_SetNDISMode(WMC_NDIS_MODE* mode) {
  if (!mode) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(mode, kWmcMinNdisMode)) return WMC_ERROR_BUFFER_TOO_SMALL;
  WMC_Startup();
  if (int r = CheckEngine()) return r;
  return Engine()->SwitchNDISMode(mode->mode);
}
int __cdecl WMC_GetNDISMode(WMC_NDIS_MODE* mode) {
  if (!mode) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(mode, kWmcMinNdisMode)) return WMC_ERROR_BUFFER_TOO_SMALL;
  WMC_Startup();
  if (int r = CheckEngine()) return r;
  int on = 0;
  int r = Engine()->GetNDISMode(&on);
  if (r == WMC_ERROR_SUCCESS) mode->mode = static_cast<uint32_t>(on);
  return r;
}

int __cdecl WMC_GetMessageCount(int box) {
  if (BoxOutOfRange(box)) return 0;
  CSEVDOEngine* e = Engine();
  if (!e || box >= 2) return 0;
  int waiting = 0;
  e->GetMessageCount(&waiting);
  return waiting;
}
int __cdecl WMC_SendMessage(WMC_SMS_MESSAGE* message) {
  // The size first: the message pointer lies past the first four bytes, in the host's block
  // only when the block is as large as it says.
  if (!message) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(message, kWmcMinSmsMessage)) return WMC_ERROR_BUFFER_TOO_SMALL;
  if (!SmsMessageBytes(*message)) return WMC_ERROR_INVALID_PARAMETER;
  if (int r = CheckEngine()) return r;
  return Engine()->SendSmsMessage(message);
}
int __cdecl WMC_GetFirstMessage(int box, WMC_SMS_MESSAGE* message) {
  g_firstMessageRead = 0;
  if (!message || BoxOutOfRange(box)) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(message, kWmcMinSmsMessage)) return WMC_ERROR_BUFFER_TOO_SMALL;
  if (box >= 2) return WMC_ERROR_NOT_SUPPORTED;
  if (int r = CheckEngine()) return r;
  int r = Engine()->GetNextMessage(message);
  if (r == WMC_ERROR_SUCCESS) g_firstMessageRead = 1;
  return r;
}
int __cdecl WMC_GetNextMessage(WMC_SMS_MESSAGE* message) {
  if (int r = CheckBlock(message, kWmcMinSmsMessage)) return r;
  if (!g_firstMessageRead) return WMC_ERROR_FAILED;
  return Engine()->GetNextMessage(message);
}
int __cdecl WMC_DeleteMessage(int id) {
  if (int r = CheckEngine()) return r;
  return Engine()->DeleteMessage(static_cast<uint16_t>(id));
}
int __cdecl WMC_DeleteAllMessages(int box) {
  if (int r = CheckEngine()) return r;
  if (BoxOutOfRange(box)) return WMC_ERROR_INVALID_PARAMETER;
  if (box >= 2) return WMC_ERROR_NOT_SUPPORTED;
  return Engine()->DeleteAllMessages();
}
int __cdecl WMC_ResetFactoryDefaults(void*) {
  if (int r = CheckEngine()) return r;
  return Engine()->DeActivate();
}

}  // extern "C"
