// The simulated modem's identity, radio, provisioning and lock behind their entry points.
// Each hook runs with the block's lock held, only after the entry's script answered 0 and
// gave no out bytes (or no text); it returns the entry point's result (0 for a name that is
// not its own).
#pragma once
#include <cstdint>

#include "SimSdkControl.h"

constexpr int32_t kSimRefused = 2;  // a wrong programming or lock code, a scripted PRL failure

int32_t SimInfoGetRecord(SimSdkBlock& b, const char* name, void* out);
int32_t SimInfoGetText(SimSdkBlock& b, const char* name, char* buffer, uint32_t size);
int32_t SimInfoSetText(SimSdkBlock& b, const char* name, const char* text);
int32_t SimInfoSetU32(SimSdkBlock& b, const char* name, uint32_t value);
int32_t SimInfoNoArgs(SimSdkBlock& b, const char* name);
int32_t SimInfoNamInfo(SimSdkBlock& b, void* count);
int32_t SimInfoSetHomeSidNid(SimSdkBlock& b, const QEL_HOME_SID_NID& record);
int32_t SimInfoPstLock(SimSdkBlock& b, void* status);
int32_t SimInfoLockModem(SimSdkBlock& b, const char* code, void* status);
int32_t SimInfoChangeLockPin(SimSdkBlock& b, const char* oldCode, const char* newCode, void* result);
int32_t SimInfoSystemTime(SimSdkBlock& b, void* const outputs[7]);
int32_t SimInfoSetSecrets(SimSdkBlock& b, uint16_t haLength, const uint8_t* ha, uint16_t aaaLength,
                          const uint8_t* aaa);
int32_t SimInfoGetSecrets(SimSdkBlock& b, uint8_t* ha, uint16_t* haLength, uint16_t haCapacity, uint8_t* aaa,
                          uint16_t* aaaLength, uint16_t aaaCapacity);
int32_t SimInfoSetPrl(SimSdkBlock& b, const void* data, uint16_t length);
int32_t SimInfoDial(SimSdkBlock& b, const char* number);
