// The plug-in's 47 exports (C linkage, undecorated; ordinals in alphabetical order, see
// wmcqel.def). Hosts load the library by name and bind these by name.
#pragma once
#include "HostBlocks.h"

extern "C" {
int __cdecl WMC_Activate(WMC_ACTIVATION_INFO* info);
int __cdecl WMC_ChangeLockCode(const char* oldCode, const char* newCode);
int __cdecl WMC_CheckForUpgrade(WMC_UPGRADE_INFO* info);
int __cdecl WMC_ClearCallEntries(int box);
int __cdecl WMC_DeleteAllMessages(int box);
int __cdecl WMC_DeleteContact(void*);
int __cdecl WMC_DeleteEvent(void*);
int __cdecl WMC_DeleteMessage(int id);
int __cdecl WMC_GetBatteryInfo(WMC_BATTERY_INFO* info);
int __cdecl WMC_GetCallEntryCount(void*);
int __cdecl WMC_GetConnectionInfo(WMC_CONNECTION_INFO* info);
int __cdecl WMC_GetContact(int, WMC_CONTACT* contact);
int __cdecl WMC_GetDeviceInfo(WMC_DEVICE_INFO* info);
int __cdecl WMC_GetEvent(void*);
int __cdecl WMC_GetFieldSizes(WMC_FIELD_SIZES* sizes);
int __cdecl WMC_GetFirstCallEntry(int box, WMC_CALL_ENTRY* entry);
int __cdecl WMC_GetFirstMessage(int box, WMC_SMS_MESSAGE* message);
int __cdecl WMC_GetGroup(int, WMC_GROUP* group);
int __cdecl WMC_GetLocationInfo(void*);
int __cdecl WMC_GetMessageCount(int box);
int __cdecl WMC_GetNDISMode(WMC_NDIS_MODE* mode);
int __cdecl WMC_GetNetworkErrorString(int code, char* buffer, int max);
int __cdecl WMC_GetNetworkInfo(WMC_NETWORK_INFO* info);
int __cdecl WMC_GetNextCallEntry(WMC_CALL_ENTRY* entry);
int __cdecl WMC_GetNextMessage(WMC_SMS_MESSAGE* message);
int __cdecl WMC_GetParameters(WMC_PARAMETERS* parameters);
int __cdecl WMC_GetPictureID(int, WMC_GROUP* group);
int __cdecl WMC_GetRingerID(int, WMC_GROUP* group);
int __cdecl WMC_PlayRingerID(void*);
int __cdecl WMC_ResetFactoryDefaults(void*);
int __cdecl WMC_SaveMessage(void*);
int __cdecl WMC_SendMessage(WMC_SMS_MESSAGE* message);
int __cdecl WMC_SetCallback(int index, WMC_NOTIFY_CALLBACK fn, int remove);
int __cdecl WMC_SetContact(int, WMC_CONTACT* contact);
int __cdecl WMC_SetEvent(void*);
int __cdecl WMC_SetFieldTest(int enable, WMC_FIELDTEST_CALLBACK fn);
int __cdecl WMC_SetLocationMode(void*);
int __cdecl WMC_SetLock(int lock, const char* code);
int __cdecl WMC_SetMessageStatus(void*);
int __cdecl WMC_SetNDISMode(WMC_NDIS_MODE* mode);
int __cdecl WMC_SetParameters(WMC_PARAMETERS* parameters);
int __cdecl WMC_SetPower(int on);
int __cdecl WMC_SetPowerState(void*);
int __cdecl WMC_SetRadioPower(int on);
int __cdecl WMC_Shutdown(void);
int __cdecl WMC_Startup(void);
int __cdecl WMC_Upgrade(WMC_UPGRADE_INFO* info);
}
