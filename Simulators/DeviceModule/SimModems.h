// Two ready-made modems for the stand-ins of this process (demo and benchmark): a CDMA
// modem behind the simulated EV-DO library and a GSM modem with a usable SIM behind the
// simulated R4 library, each found by the simulated card-detect library.
#pragma once
#include <cstring>

#include "SimDeviceControl.h"
#include "SimSdkControl.h"

inline void ScriptSimCdmaModem(SimDeviceControl& device, SimSdkControl& sdk) {
  device.Reset();
  device.SetDevices({2240});
  sdk.Reset();
  sdk.SetOut("QelGetCarrierID", uint32_t{5});
  sdk.SetOut("QelGetESN", uint32_t{(159u << 24) | 42u});
  sdk.SetOut("QelGetPRLVersion", uint16_t{20821});
  sdk.SetText("QelGetHardwareVersion", "1.0");
  sdk.SetText("QelGetFirmwareVersion", "p2005600");
  sdk.SetText("QelGetFirmwareBuildDate", "081105");
  sdk.SetText("QelGetBootVersion", "p2005200");
}

inline void ScriptSimGsmModem(SimDeviceControl& device) {
  device.Reset();
  device.SetDevices({4410});
  device.SetRead(kSimHardware, 0, L"1.0");
  device.SetRead(kSimFirmware, 0, L"H1_0_5_3");
  device.SetRead(kSimBuildDate, 0, L"081105");
  device.SetRead(kSimBoot, 0, L"B1_0_1");
  device.SetRead(kSimImei, 0, L"358000000000017");
  device.SetRead(kSimSerial, 0, L"D4110800021");
  device.SetRead(kSimImsi, 0, L"123456789");
  device->imsiMcc = 0x0310;
  device->imsiMnc = 0x0410;
  const uint8_t iccid[10] = {0x89, 0x01, 0x41, 0x00, 0x12, 0x34, 0x56, 0x78, 0x90, 0x12};
  std::memcpy(device->iccid, iccid, sizeof iccid);
  device->cardType = 12;
  device->simStatus = 7;  // usable
  device->simDelayMs = 200;
}
