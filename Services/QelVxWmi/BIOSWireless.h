// Firmware access over WMI: one method call as bytes in and bytes out, and the event
// query whose sink passes radio events to the hardware interface.
#pragma once
#include <windows.h>
#include <wbemcli.h>

#include <cstdint>

class CWirelessEventSink;

class CBIOSWireless {
 public:
  // The locator class is CLSID_WbemLocator in the product; a stand-in elsewhere.
  explicit CBIOSWireless(const CLSID& locatorClsid);
  virtual ~CBIOSWireless();
  CBIOSWireless(const CBIOSWireless&) = delete;
  CBIOSWireless& operator=(const CBIOSWireless&) = delete;

  bool Connect();
  void Release();
  bool StartListeningForEvents();
  void StopListeningForEvents();
  HRESULT ExecMethod(int32_t command, int32_t commandType, uint32_t inputSize, int32_t outputSize,
                     int32_t* returnCode, const BYTE* input, BYTE* output);

  bool IsConnected() const { return m_pClass != nullptr; }
  bool IsListening() const { return m_pSink != nullptr; }

 private:
  HRESULT WmiExecMethod(int32_t command, int32_t commandType, uint32_t inputSize, int32_t outputSize,
                        int32_t* returnCode, VARIANT* input, VARIANT* output);
  HRESULT SetupDataIn(IWbemClassObject* inputObject, IWbemClassObject* dataIn, VARIANT* data);
  HRESULT SetupDataOut(IWbemClassObject* outputObject, VARIANT* data);

  CLSID m_locatorClsid;
  IWbemLocator* m_pLocator = nullptr;
  IWbemServices* m_pServices = nullptr;
  IWbemClassObject* m_pClass = nullptr;
  CWirelessEventSink* m_pSink = nullptr;
  VARIANT m_InstancePath;
  int32_t m_rwReturnCode = -1;
  int32_t m_Command = 0;
  int32_t m_CommandType = 0;
  int32_t m_InputSize = 0;
  int32_t m_OutputSize = 0;
};

// Receives the firmware's events; deletes itself when its last reference goes.
class CWirelessEventSink : public IWbemObjectSink {
 public:
  CWirelessEventSink() = default;
  virtual ~CWirelessEventSink() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP Indicate(LONG count, IWbemClassObject** objects) override;
  STDMETHODIMP SetStatus(LONG flags, HRESULT result, BSTR text, IWbemClassObject* object) override;

 private:
  LONG m_lRef = 0;
};

// Radio events carry this id.
constexpr int32_t kRadioEventId = 5;
