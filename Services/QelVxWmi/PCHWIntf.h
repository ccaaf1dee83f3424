// The hardware interface over the firmware: status bytes to power states, the set rule
// and the change notification.
#pragma once
#include "BIOSWireless.h"
#include "HWIntf.h"

// Status byte bits the service uses.
constexpr BYTE kStatusModemPresent = 0x04;  // byte 0
constexpr BYTE kStatusRadioOn = 0x01;       // byte 3
constexpr BYTE kStatusSwitchable = 0x0C;    // byte 3: both bits set
constexpr BYTE kStatusChangeMask = 0x0D;    // byte 3 bits whose change is notified

constexpr int32_t kCommandReadStatus = 1;
constexpr int32_t kCommandWriteStatus = 2;
constexpr int32_t kCommandTypeStatus = 5;

QelHWPowerState PowerStateFromStatus(const BYTE status[4]);

class CPCHWIntf : public CHWIntf {
 public:
  explicit CPCHWIntf(const CLSID& locatorClsid);
  ~CPCHWIntf() override;

  HRESULT SetPower(uint32_t state) override;
  HRESULT GetPower(uint32_t* state) override;

  HRESULT Init();
  bool RegisterCallback(HWNotifyCallback callback);
  void StopListening();
  void Release();
  HRESULT ReadState();
  void NotifyCallback();
  bool Write(uint32_t byteCount, const BYTE* bytes);

  const BYTE* CurrentStatus() const { return m_CurStatus; }
  const BYTE* PreviousStatus() const { return m_PrevStatus; }

 private:
  HWNotifyCallback m_pfnCallback = nullptr;
  CBIOSWireless m_BIOS;
  BYTE m_PrevStatus[4] = {};
  BYTE m_CurStatus[4] = {};
  // Byte 3 as the clients last heard of it: a read in between must not hide a change.
  BYTE m_NotifiedStatus3 = 0;
};

// Set by the constructor, cleared by the destructor; the event sink calls through it.
extern CPCHWIntf* g_pPCHWIntf;
