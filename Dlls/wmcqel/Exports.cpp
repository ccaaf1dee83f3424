// The 47 host exports: argument checks in their fixed order, then one call into the engine.
// They take no lock and throw nothing; nothing is written to a host block before its checks
// pass.
#include "Exports.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "DebugLog.h"
#include "Engine.h"
#include "EngineLife.h"
#include "EngineTestSeams.h"
#include "NetworkErrors.h"

namespace {

bool TooSmall(const void* block, uint32_t minimum) { return *static_cast<const uint32_t*>(block) < minimum; }
bool BoxOutOfRange(int box) { return static_cast<unsigned>(box) > 3; }
bool Busy(const CSEVDOEngine* e) { return e->connection_.state >= WMC_STATE_CONNECTING; }

// null: 1; too small: 300; no engine: 107; else 0 (the check order of a block export).
int CheckBlock(const void* block, uint32_t minimum, const EngineRef& e) {
  if (!block) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(block, minimum)) return WMC_ERROR_BUFFER_TOO_SMALL;
  if (!e) return WMC_ERROR_NOT_STARTED;
  return WMC_ERROR_SUCCESS;
}
int CheckEngine(const EngineRef& e) { return e ? WMC_ERROR_SUCCESS : WMC_ERROR_NOT_STARTED; }

int ProbePower(const EngineRef& e) {
  if (!e) return WMC_ERROR_NOT_STARTED;
  if (Busy(e.get())) return WMC_ERROR_SUCCESS;
  int r = e->Engine_GetPower();
  if (r != WMC_ERROR_NOT_SUPPORTED) return r;
  int on = 0;
  int s = e->Engine_GetRadioPower(&on);
  if (s != 0) return s;
  return on ? WMC_ERROR_SUCCESS : WMC_ERROR_RADIO_OFF;
}

// The end of an initialisation: a failure destroys the engine and is the answer; else the
// probe's answer.
int AfterInitialize(const EngineRef& e, int r) {
  if (e.Stopped()) return WMC_ERROR_NOT_STARTED;
  if (r != 0) {
    ShutdownEngine();
    return r;
  }
  return e.Answer(ProbePower(e));
}

// WMC_Startup with an engine: the probe's answer. An engine left without an open SDK or
// without its subscriptions by a start-up with the radio off is initialised again once the
// radio is on; when that fails the engine goes, as after a failed first start-up.
int StartupWithEngine(const EngineRef& e) {
  int p = ProbePower(e);
  if (p != WMC_ERROR_SUCCESS || e->Serving()) return e.Answer(p);
  return AfterInitialize(e, e->Reinitialize());
}

// This thread creates the engine (StartupEngine decided so): its start-up's answer.
int CreateEngine() {
  CSEVDOEngine* engine = EngineAllocationFails() ? nullptr : new (std::nothrow) CSEVDOEngine();
  if (!engine || !engine->sdk_) {
    // No engine stays behind whose SDK calls would go through a null binding.
    delete engine;
    EndEngineCreation();
    return engine ? WMC_ERROR_NO_SDK : WMC_ERROR_OUT_OF_MEMORY;
  }
  EngineRef e = PublishEngine(engine);
  if (!e) return WMC_ERROR_NOT_STARTED;  // shut down from another thread while it was made
  return AfterInitialize(e, e->Initialize());
}

// Copies what the engine's work wrote into a copy of the host's block back into the block,
// unless the host shut the plug-in down meanwhile; the answer as EngineRef::Answer gives it.
template <class Block>
int CopyBack(const EngineRef& e, const Block& copy, Block* block, int result) {
  if (e.Stopped()) return WMC_ERROR_NOT_STARTED;
  std::memcpy(block, &copy, sizeof copy);
  return result;
}

}  // namespace

extern "C" {

int __cdecl WMC_Startup(void) {
  int answer = 0;
  {
    EngineRef e = StartupEngine(&answer);
    if (e) return StartupWithEngine(e);
  }
  return answer ? answer : CreateEngine();
}

int __cdecl WMC_Shutdown(void) {
  // The engine is unpublished first, so no notification, timer or later call reaches it; the
  // last caller still on it deletes it.
  return ShutdownEngine();
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
  EngineRef e;
  if (int r = CheckBlock(info, kWmcMinBatteryInfo, e)) return r;
  info->value4 = 2;
  info->value8 = 0;
  return WMC_ERROR_SUCCESS;
}

int __cdecl WMC_SetRadioPower(int on) {
  EngineRef e;
  if (!e) return WMC_ERROR_NOT_STARTED;
  if (e->connection_.state > WMC_STATE_IDLE) return WMC_ERROR_BUSY;
  return e.Answer(e->Engine_SetRadioPower(on));
}

int __cdecl WMC_SaveMessage(void*) { return CheckEngine(EngineRef()) ? WMC_ERROR_NOT_STARTED : WMC_ERROR_NOT_SUPPORTED; }
int __cdecl WMC_SetMessageStatus(void*) { return WMC_SaveMessage(nullptr); }
int __cdecl WMC_GetCallEntryCount(void*) { return WMC_ERROR_SUCCESS; }

int __cdecl WMC_GetFirstCallEntry(int box, WMC_CALL_ENTRY* entry) {
  if (!entry || BoxOutOfRange(box)) return WMC_ERROR_INVALID_PARAMETER;
  return WMC_GetNextCallEntry(entry);
}
int __cdecl WMC_GetNextCallEntry(WMC_CALL_ENTRY* entry) {
  if (int r = CheckBlock(entry, kWmcMinCallEntry, EngineRef())) return r;
  return WMC_ERROR_NOT_SUPPORTED;
}
int __cdecl WMC_ClearCallEntries(int box) {
  if (BoxOutOfRange(box)) return WMC_ERROR_INVALID_PARAMETER;
  if (int r = CheckEngine(EngineRef())) return r;
  return WMC_ERROR_NOT_SUPPORTED;
}

int __cdecl WMC_GetFieldSizes(WMC_FIELD_SIZES* sizes) {
  if (!sizes) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(sizes, kWmcMinFieldSizes)) return WMC_ERROR_BUFFER_TOO_SMALL;
  sizes->value26 = 1;
  return WMC_ERROR_NOT_SUPPORTED;
}

int __cdecl WMC_GetContact(int, WMC_CONTACT* contact) {
  if (int r = CheckBlock(contact, kWmcMinContact, EngineRef())) return r;
  return WMC_ERROR_NOT_SUPPORTED;
}
int __cdecl WMC_SetContact(int, WMC_CONTACT* contact) { return WMC_GetContact(0, contact); }

int __cdecl WMC_GetGroup(int, WMC_GROUP* group) {
  if (int r = CheckBlock(group, kWmcMinGroup, EngineRef())) return r;
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

// Query and command exports: their checks here, their operations in the engine. Each holds
// its engine for the whole call and answers 107 when the host shut down meanwhile.
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
  if (EngineRef e{}) e->CallFieldTestHeader();
  return WMC_ERROR_SUCCESS;
}

int __cdecl WMC_GetConnectionInfo(WMC_CONNECTION_INFO* info) {
  EngineRef e;
  if (int r = CheckBlock(info, kWmcMinConnectionInfo, e)) return r;
  e->UpdateConnectionDurations();
  return CopyBack(e, e->connection_, info, WMC_ERROR_SUCCESS);
}
int __cdecl WMC_GetNetworkInfo(WMC_NETWORK_INFO* info) {
  EngineRef e;
  if (int r = CheckBlock(info, kWmcMinNetworkInfo, e)) return r;
  e->GetNetworkInfo();
  e->GetNetworkTime();
  // Taken once: SDK notifications write the block on their thread meanwhile.
  WMC_NETWORK_INFO copy = e->network_;
  copy.serviceType = e->HostServiceType();
  return CopyBack(e, copy, info, WMC_ERROR_SUCCESS);
}
int __cdecl WMC_GetDeviceInfo(WMC_DEVICE_INFO* info) {
  EngineRef e;
  if (int r = CheckBlock(info, kWmcMinDeviceInfo, e)) return r;
  e->GetDeviceInfo();
  return CopyBack(e, e->device_, info, WMC_ERROR_SUCCESS);
}
int __cdecl WMC_Activate(WMC_ACTIVATION_INFO* info) {
  EngineRef e;
  if (int r = CheckBlock(info, kWmcMinActivationInfo, e)) return r;
  if (Busy(e.get())) return WMC_ERROR_BUSY;
  if (info->type != 0) return e.Answer(e->AutoActivation() ? WMC_ERROR_ACTIVATION_STARTED : WMC_ERROR_ACTIVATION_FAILED);
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
  return e.Answer(ok ? WMC_ERROR_SUCCESS : WMC_ERROR_ACTIVATION_FAILED);
}
int __cdecl WMC_SetLock(int lock, const char* code) {
  if (!code) return WMC_ERROR_INVALID_PARAMETER;
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  return e.Answer(e->SetLock(lock, code));
}
int __cdecl WMC_ChangeLockCode(const char* oldCode, const char* newCode) {
  if (!newCode || !oldCode) return WMC_ERROR_INVALID_PARAMETER;
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  if (Busy(e.get())) return WMC_ERROR_BUSY;
  return e.Answer(e->ChangeLockCode(oldCode, newCode));
}
int __cdecl WMC_GetParameters(WMC_PARAMETERS* parameters) {
  EngineRef e;
  if (int r = CheckBlock(parameters, kWmcMinParameters, e)) return r;
  WMC_PARAMETERS copy;
  std::memcpy(&copy, parameters, sizeof copy);
  int r = e->Engine_GetParameters(&copy);
  return CopyBack(e, copy, parameters, r);
}
int __cdecl WMC_SetParameters(WMC_PARAMETERS* parameters) {
  EngineRef e;
  if (int r = CheckBlock(parameters, kWmcMinParameters, e)) return r;
  WMC_PARAMETERS copy;
  std::memcpy(&copy, parameters, sizeof copy);
  return e.Answer(e->Engine_SetParameters(&copy));
}
// The upgrade and NDIS blocks are checked like the others (null 1, too small 300) before
// anything is read or written.
int __cdecl WMC_CheckForUpgrade(WMC_UPGRADE_INFO* info) {
  EngineRef e;
  if (int r = CheckBlock(info, kWmcMinUpgradeInfo, e)) return r;
  WMC_UPGRADE_INFO copy;
  std::memcpy(&copy, info, sizeof copy);
  int r = e->CheckForUpgrade(&copy);
  return CopyBack(e, copy, info, r);
}
int __cdecl WMC_Upgrade(WMC_UPGRADE_INFO* info) {
  if (!info) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(info, kWmcMinUpgradeInfo)) return WMC_ERROR_BUFFER_TOO_SMALL;
  return LaunchUpgrade(info);  // no engine: a shutdown during its wait changes nothing here
}

int __cdecl WMC_SetPower(int on) {
  WMC_Startup();
  bool idle;
  int r;
  {
    EngineRef e;
    if (!e) return WMC_ERROR_NOT_STARTED;
    r = e.Answer(e->SwitchPower(on));
    idle = r == WMC_ERROR_SUCCESS && on && !e->Serving() && !e.Stopped();
  }
  // Switched on for an engine that a radio-off start-up left idle: it starts now, or the
  // start-up's failure is the answer.
  return idle ? WMC_Startup() : r;
}
int __cdecl WMC_SetNDISMode(WMC_NDIS_MODE* mode) {
  if (!mode) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(mode, kWmcMinNdisMode)) return WMC_ERROR_BUFFER_TOO_SMALL;
  WMC_Startup();
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  return e.Answer(e->SwitchNDISMode(mode->mode));
}
int __cdecl WMC_GetNDISMode(WMC_NDIS_MODE* mode) {
  if (!mode) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(mode, kWmcMinNdisMode)) return WMC_ERROR_BUFFER_TOO_SMALL;
  WMC_Startup();
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  int on = 0;
  int r = e->GetNDISMode(&on);
  if (r == WMC_ERROR_SUCCESS && !e.Stopped()) mode->mode = static_cast<uint32_t>(on);
  return e.Answer(r);
}

int __cdecl WMC_GetMessageCount(int box) {
  if (BoxOutOfRange(box)) return 0;
  EngineRef e;
  if (!e || box >= 2) return 0;
  int waiting = 0;
  e->GetMessageCount(&waiting);
  return e.Stopped() ? 0 : waiting;  // no engine any more: none
}
int __cdecl WMC_SendMessage(WMC_SMS_MESSAGE* message) {
  // The size first: the message pointer lies past the first four bytes, in the host's block
  // only when the block is as large as it says.
  if (!message) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(message, kWmcMinSmsMessage)) return WMC_ERROR_BUFFER_TOO_SMALL;
  if (!SmsMessageBytes(*message)) return WMC_ERROR_INVALID_PARAMETER;
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  return e.Answer(e->SendSmsMessage(message));
}
int __cdecl WMC_GetFirstMessage(int box, WMC_SMS_MESSAGE* message) {
  g_firstMessageRead = 0;
  if (!message || BoxOutOfRange(box)) return WMC_ERROR_INVALID_PARAMETER;
  if (TooSmall(message, kWmcMinSmsMessage)) return WMC_ERROR_BUFFER_TOO_SMALL;
  if (box >= 2) return WMC_ERROR_NOT_SUPPORTED;
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  int r = e.Answer(e->GetNextMessage(message));
  if (r == WMC_ERROR_SUCCESS) g_firstMessageRead = 1;
  return r;
}
int __cdecl WMC_GetNextMessage(WMC_SMS_MESSAGE* message) {
  EngineRef e;
  if (int r = CheckBlock(message, kWmcMinSmsMessage, e)) return r;
  if (!g_firstMessageRead) return WMC_ERROR_FAILED;
  return e.Answer(e->GetNextMessage(message));
}
int __cdecl WMC_DeleteMessage(int id) {
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  return e.Answer(e->DeleteMessage(static_cast<uint16_t>(id)));
}
int __cdecl WMC_DeleteAllMessages(int box) {
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  if (BoxOutOfRange(box)) return WMC_ERROR_INVALID_PARAMETER;
  if (box >= 2) return WMC_ERROR_NOT_SUPPORTED;
  return e.Answer(e->DeleteAllMessages());
}
int __cdecl WMC_ResetFactoryDefaults(void*) {
  EngineRef e;
  if (int r = CheckEngine(e)) return r;
  return e.Answer(e->DeActivate());
}

}  // extern "C"
