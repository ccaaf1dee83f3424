// The plug-in's 47 export names in ordinal order (1 to 47, alphabetical), for hosts that
// bind them all by name.
#pragma once

constexpr const char* kWmcExportNames[47] = {
    "WMC_Activate", "WMC_ChangeLockCode", "WMC_CheckForUpgrade", "WMC_ClearCallEntries", "WMC_DeleteAllMessages",
    "WMC_DeleteContact", "WMC_DeleteEvent", "WMC_DeleteMessage", "WMC_GetBatteryInfo", "WMC_GetCallEntryCount",
    "WMC_GetConnectionInfo", "WMC_GetContact", "WMC_GetDeviceInfo", "WMC_GetEvent", "WMC_GetFieldSizes",
    "WMC_GetFirstCallEntry", "WMC_GetFirstMessage", "WMC_GetGroup", "WMC_GetLocationInfo", "WMC_GetMessageCount",
    "WMC_GetNDISMode", "WMC_GetNetworkErrorString", "WMC_GetNetworkInfo", "WMC_GetNextCallEntry",
    "WMC_GetNextMessage", "WMC_GetParameters", "WMC_GetPictureID", "WMC_GetRingerID", "WMC_PlayRingerID",
    "WMC_ResetFactoryDefaults", "WMC_SaveMessage", "WMC_SendMessage", "WMC_SetCallback", "WMC_SetContact",
    "WMC_SetEvent", "WMC_SetFieldTest", "WMC_SetLocationMode", "WMC_SetLock", "WMC_SetMessageStatus",
    "WMC_SetNDISMode", "WMC_SetParameters", "WMC_SetPower", "WMC_SetPowerState", "WMC_SetRadioPower",
    "WMC_Shutdown", "WMC_Startup", "WMC_Upgrade"};
