// An in-process stand-in for the system's WMI, serving the firmware's classes in
// root\wmi from the simulated firmware state.
#pragma once
#include <windows.h>
#include <wbemcli.h>

#include <string>
#include <utility>
#include <vector>

// {6D1B1F7C-3E1A-4C55-9F4B-2B7C1A0E5D11}
constexpr CLSID CLSID_QelSimWbemLocator = {0x6D1B1F7C, 0x3E1A, 0x4C55, {0x9F, 0x4B, 0x2B, 0x7C, 0x1A, 0x0E, 0x5D, 0x11}};

// Registers the stand-in's locator class in this apartment (in-process server).
HRESULT RegisterSimWbemLocator(DWORD* cookie);

// An event object as the firmware raises it.
HRESULT CreateSimEventObject(int32_t eventId, int32_t eventData, IWbemClassObject** out);

// What the stand-in saw, for tests in the serving process.
struct SimPut {
  std::wstring name;
  VARTYPE vt;
  LONG cimType;
  std::vector<BYTE> bytes;  // array values
  LONG value;               // VT_I4 values
  bool hasArray;            // an array variable that holds an array
};
struct SimWmiCalls {
  std::wstring connectedNamespace;
  LONG enumFlags = 0;
  int nextCalls = 0;
  std::vector<std::wstring> methods;  // method names asked of GetMethod
  std::wstring execPath, execMethod;
  VARTYPE inDataVt = VT_EMPTY;
  std::vector<SimPut> dataInPuts;  // puts on the last vxrBDataIn instance, in order
  std::wstring queryLanguage, query;
  LONG queryFlags = 0;
  int cancelCalls = 0;
  int statusCompletes = 0;
};
SimWmiCalls& SimWmiRecord();
