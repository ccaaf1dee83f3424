// The simulated modem's parameters, NDIS mode, upgrade check and Mobile IP profile: the
// stateful part of their entry points, called from the generic bodies of SimModemSdk.cpp
// after the call is logged. Each answers the result to return (the script's non-zero result
// wins) and leaves alone the names that are not its own.
#pragma once
#include "SimSdkControl.h"

namespace simsdk {

// A read: writes the state to out when the script answered 0 and scripted no out bytes.
int32_t ParametersRead(SimSdkControl& c, const char* name, const SimSdkEntry& s, void* out);
// A write: stores value when the script answered 0.
int32_t ParametersWrite(SimSdkControl& c, const char* name, const SimSdkEntry& s, uint32_t value);
// QelVerifyUpgradeRequired's outputs.
void VerifyUpgradeRequired(SimSdkControl& c, const SimSdkEntry& s, const char* path, void* status, char* buffer,
                           void* length);
// QelPstGetDsMipGenUser's outputs besides the NAI text of the script.
void MipGenUser(SimSdkControl& c, const SimSdkEntry& s, uint16_t size, char* nai, void* haSpiEnable, void* haSpi,
                void* aaaSpiEnable, void* aaaSpi, void* reverseTunneling, void* homeAddress, void* primaryHa,
                void* secondaryHa);

}  // namespace simsdk
