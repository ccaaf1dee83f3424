// Identifiers of the radio power service shared with its clients: the interfaces and
// GUIDs generated from QelVxWmi.idl, the AppID and the ready event.
#pragma once
#include <windows.h>

#include "QelVxWmi_h.h"

// {E6250BA8-C0CF-47A4-825E-EEB593E27369}
constexpr GUID APPID_QelVxWmi = {0xE6250BA8, 0xC0CF, 0x47A4, {0x82, 0x5E, 0xEE, 0xB5, 0x93, 0xE2, 0x73, 0x69}};
constexpr const char* kAppIdText = "{E6250BA8-C0CF-47A4-825E-EEB593E27369}";

// Set by the service once its hardware initialisation has run; clients wait on it.
constexpr const char* kReadyEventName = "Global\\QelVxSyncEvent";
