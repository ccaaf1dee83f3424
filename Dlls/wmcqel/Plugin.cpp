#include "Plugin.h"

#include "AuxApi.h"
#include "DebugLog.h"
#include "Engine.h"
#include "Sms/SmsLog.h"

void PluginLoad() { SetSmsLogHook(&DebugLog); }

void PluginUnload() {
  delete g_engine.exchange(nullptr);  // no notification finds it from here on
  CQelAuxApi& aux = AuxApi();
  if (aux.IsLoaded()) {
    aux.RegisterCallback(nullptr);
    aux.Abandon();
  }
  SetSmsLogHook(nullptr);
}

void ReleaseClientLibrary() {
  CQelAuxApi& aux = AuxApi();
  if (!aux.IsLoaded()) return;
  aux.RegisterCallback(nullptr);
  aux.UnInitialize();
  aux.Load("");
}
