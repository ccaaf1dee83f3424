#include "Plugin.h"

#include "AuxApi.h"
#include "DebugLog.h"
#include "Sms/SmsLog.h"

void PluginLoad() { SetSmsLogHook(&DebugLog); }

void PluginUnload() {
  AuxApi().AbandonAtUnload();
  SetSmsLogHook(nullptr);
}

void ReleaseClientLibrary() {
  CQelAuxApi& aux = AuxApi();
  if (!aux.IsLoaded()) {
    aux.Load("");  // ends an idle thread too
    return;
  }
  aux.RegisterCallback(nullptr);
  aux.UnInitialize();
  aux.Load("");
}
