#include "PCHWIntf.h"

#include <cstring>

#include "devurezazeve.h"

CPCHWIntf* g_pPCHWIntf = nullptr;

QelHWPowerState PowerStateFromStatus(const BYTE status[4]) {
  if (!(status[0] & kStatusModemPresent)) return QELHW_POWER_NOT_INSTALLED;
  if ((status[3] & kStatusSwitchable) != kStatusSwitchable) return QELHW_POWER_DISABLED;
  return (status[3] & kStatusRadioOn) ? QELHW_POWER_ON : QELHW_POWER_OFF;
}

CPCHWIntf::CPCHWIntf(const CLSID& locatorClsid) : m_BIOS(locatorClsid) { g_pPCHWIntf = this; }

CPCHWIntf::~CPCHWIntf() {
  if (g_pPCHWIntf == this) g_pPCHWIntf = nullptr;
}

HRESULT CPCHWIntf::Init() {
  if (!m_BIOS.Connect()) return E_FAIL;
  int32_t returnCode = 0;
  HRESULT hr = m_BIOS.ExecMethod(kCommandReadStatus, kCommandTypeStatus, 0, 4, &returnCode, nullptr, m_CurStatus);
  m_NotifiedStatus3 = m_CurStatus[3];
  return hr;
}

bool CPCHWIntf::RegisterCallback(HWNotifyCallback callback) {
  m_pfnCallback = callback;
  return m_BIOS.StartListeningForEvents();
}

void CPCHWIntf::StopListening() { m_BIOS.StopListeningForEvents(); }

void CPCHWIntf::Release() {
  m_pfnCallback = nullptr;
  m_BIOS.Release();
}

HRESULT CPCHWIntf::ReadState() {
  std::memcpy(m_PrevStatus, m_CurStatus, sizeof m_CurStatus);
  int32_t returnCode = 0;
  return m_BIOS.ExecMethod(kCommandReadStatus, kCommandTypeStatus, 0, 4, &returnCode, nullptr, m_CurStatus);
}

HRESULT CPCHWIntf::GetPower(uint32_t* state) {
  HRESULT hr = ReadState();
  if (FAILED(hr)) return hr;
  *state = PowerStateFromStatus(m_CurStatus);
  return hr;
}

HRESULT CPCHWIntf::SetPower(uint32_t state) {
  bool on = (m_CurStatus[3] & kStatusRadioOn) != 0;
  if (state == QELHW_POWER_ON) {
    if (on) return S_OK;
    m_CurStatus[0] = 0x04;
  } else if (state == QELHW_POWER_OFF) {
    if (!on) return S_OK;
    m_CurStatus[0] = 0xFB;
  } else {
    return E_INVALIDARG;
  }
  m_CurStatus[1] = 0x04;
  int32_t returnCode = 0;
  HRESULT hr = m_BIOS.ExecMethod(kCommandWriteStatus, kCommandTypeStatus, 4, 4, &returnCode, m_CurStatus, m_CurStatus);
  if (hr == S_OK) NotifyCallback();
  return hr;
}

void CPCHWIntf::NotifyCallback() {
  uint32_t state = QELHW_POWER_UNKNOWN;
  HRESULT hr = GetPower(&state);
  if (FAILED(hr)) return;
  if (((m_CurStatus[3] ^ m_NotifiedStatus3) & kStatusChangeMask) == 0 || !m_pfnCallback) return;
  m_NotifiedStatus3 = m_CurStatus[3];
  TBDPrint(TBCT_INFO, TBDLT_INFO, "CPCHWIntf::NotifyCallback(): %i", static_cast<int>(state));
  m_pfnCallback(&state);
}

bool CPCHWIntf::Write(uint32_t byteCount, const BYTE* bytes) {
  int32_t returnCode = 0;
  return m_BIOS.ExecMethod(kCommandWriteStatus, kCommandTypeStatus, byteCount, 0, &returnCode, bytes, nullptr) ==
         S_OK;
}
