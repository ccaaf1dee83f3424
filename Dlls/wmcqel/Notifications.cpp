// What each SDK notification and each client-library power record changes, and the host
// notifications they raise.
#include <cstring>

#include "AuxApi.h"
#include "DebugLog.h"
#include "Engine.h"
#include "EngineLife.h"
#include "EngineTestSeams.h"

namespace {

uint32_t Word(const SDK_NOTIF* r, int offset) {
  uint32_t w;
  std::memcpy(&w, reinterpret_cast<const uint8_t*>(r) + offset, sizeof w);
  return w;
}
uint16_t Half(const SDK_NOTIF* r, int offset) {
  uint16_t h;
  std::memcpy(&h, reinterpret_cast<const uint8_t*>(r) + offset, sizeof h);
  return h;
}

uint32_t RoamIndicator(uint32_t value) { return value == 0 ? 0 : value == 1 ? 2 : 1; }

}  // namespace

extern "C" void QELSDK_CALL NotificationCallback(const void* record) {
  // The engine lives until this delivery has left it, also when the host shuts down meanwhile.
  DeliveryScope delivery;
  EngineRef engine(EngineRef::kDelivery);
  const auto* power = static_cast<const QelHWNotifyRecord*>(record);
  if (power->Type == QELHW_NOTIFY_Power) {
    DebugLog("QELHW_NOTIFY_Power - %d\n", static_cast<int>(power->Value));
    switch (power->Value) {
      case 1:
        CSEVDOEngine::SendNotification(WMC_NOTIFY_RADIO_ON);
        break;
      case 2:
        if (engine) engine->connection_.state = WMC_STATE_OFF;
        CSEVDOEngine::SendNotification(WMC_NOTIFY_RADIO_OFF);
        break;
      case 3:
        if (engine) engine->connection_.state = WMC_STATE_OFF;
        CSEVDOEngine::SendNotification(WMC_NOTIFY_RADIO_DISABLED);
        break;
      default:
        break;
    }
    return;
  }
  if (engine) engine->ProcessNotification(static_cast<const SDK_NOTIF*>(record));
}

int ScaleRssi(int rssi) {
  if (rssi == 0) return 99;
  if (rssi >= 113) return 0;
  if (rssi >= 110) return 1;
  if (rssi >= 52) return (109 - rssi) * 28 / 57 + 2;
  return 31;
}

void CSEVDOEngine::SetRoamIndicator(int value) { network_.roaming = RoamIndicator(static_cast<uint32_t>(value)); }

int CSEVDOEngine::TranslateEndReasonCode(int reason) {
  DebugLog("CSEVDOEngine::TranslateEndReasonCode\n");
  static const int codes[20] = {1020, 1019, 1000, 1025, 1017, 1018, 1021, 1022, 1006, 1014,
                                1026, 1027, 1025, 1001, 1015, 1023, 1007, 1015, 1021, 1018};
  if (reason < 0 || reason > 19) return 1019;
  return codes[reason];
}

void CSEVDOEngine::UpdateActivationState(int state) {
  DebugLog("CSEVDOEngine::UpdateActivationState\n");
  if (activationInProgress_ != 1) return;
  uint32_t status = 9;
  uint32_t stage = 0;
  switch (state) {
    case 0: case 2: case 3: status = 1; break;
    case 1: status = 2; break;
    case 4: status = 3; stage = WMC_STATE_ACTIVATION_6; break;
    case 5: status = 4; break;
    case 6: status = 5; break;
    case 7: status = 6; stage = WMC_STATE_ACTIVATION_7; break;
    case 8: status = 8; stage = WMC_STATE_ACTIVATION_8; break;
    case 9: status = 8; break;
    default: break;
  }
  connection_.activationStatus = status;
  if (stage) {
    connection_.state = stage;
    SendNotification(WMC_NOTIFY_CONNECTION_STATE);
  }
}

void CSEVDOEngine::ProcessNotification(const SDK_NOTIF* r) {
  if (!notificationsOn_) return;
  // The words are read only for the ids that carry them: the client library's 12-byte power
  // record arrives here too (as id 0).
  switch (r->id) {
    case 5:
      DebugLog("QEL_NOTIFY_ServiceIndication - %d\n", static_cast<int>(Word(r, 8)));
      oneXService_ = Word(r, 8) != 0;
      SendNotification(WMC_NOTIFY_NETWORK_INFO);
      break;
    case 6:
      DebugLog("QEL_NOTIFY_RoamingStatus - %d\n", static_cast<int>(Word(r, 8)));
      if (!oneXService_) break;
      network_.roaming = RoamIndicator(Word(r, 8));
      SendNotification(WMC_NOTIFY_NETWORK_INFO);
      break;
    case 9:
      DebugLog("QEL_NOTIFY_CallByteCounter - Rx: %ld, Tx %ld\n", static_cast<long>(Word(r, 12)), static_cast<long>(Word(r, 8)));
      connection_.txBytes = Word(r, 8);
      connection_.rxBytes = Word(r, 12);
      SendNotification(WMC_NOTIFY_CALL_STATUS);
      break;
    case 10: {
      DebugLog("QEL_NOTIFY_CallConnecting(%d)\n", static_cast<int>(Word(r, 8)));
      if (Word(r, 8) == 2) break;
      connection_.state = WMC_STATE_CONNECTING;
      if (automaticActivationPending_) {
        activationInProgress_ = 1;
        automaticActivationPending_ = 0;
        break;
      }
      SendNotification(WMC_NOTIFY_CONNECTION_STATE);
      DWORD now = EngineNow();
      if (dormantStartTick_ != 0) {
        dormantTotal_ += now - dormantStartTick_;
        DebugLog("Call was dormant for %d seconds", static_cast<int>(dormantTotal_ / 1000));
        dormantStartTick_ = 0;
      } else {
        connectTick_ = now;
      }
      break;
    }
    case 11:
      DebugLog("QEL_NOTIFY_CallConnected(%d)\n", static_cast<int>(Word(r, 8)));
      if (Word(r, 8) & 0x200) {
        g_ignoreNextDisconnect = 1;
        break;
      }
      connection_.state = WMC_STATE_CONNECTED;
      dormant_ = Word(r, 8) & 0x4000;
      if (!activationInProgress_) SendNotification(WMC_NOTIFY_CONNECTION_STATE);
      break;
    case 12:
      DebugLog("QEL_NOTIFY_CallIncoming\n");
      break;
    case 13:
      DebugLog("QEL_NOTIFY_CallCallerID\n");
      break;
    case 15: {
      DebugLog("QEL_NOTIFY_CallDisconnected(%d)\n", static_cast<int>(Word(r, 8)));
      if (g_ignoreNextDisconnect.exchange(0)) break;
      connection_.state = WMC_STATE_IDLE;
      if (activationInProgress_) {
        activationInProgress_ = 0;
        SendNotification(WMC_NOTIFY_ACTIVATION_DONE);
        break;
      }
      connection_.lastEndCode = static_cast<uint32_t>(TranslateEndReasonCode(static_cast<int>(Word(r, 12))));
      // Without a connect tick there was no call to time.
      connection_.connectedMs = connectTick_ ? EngineNow() - connectTick_ : 0;
      connectTick_ = dormantTotal_ = dormantStartTick_ = 0;
      SendNotification(WMC_NOTIFY_CONNECTION_STATE);
      break;
    }
    case 16:
      DebugLog("QEL_NOTIFY_CallError %d\n", static_cast<int>(Word(r, 12)));
      SendNotification(WMC_NOTIFY_CALL_STATUS);
      break;
    case 17:
      DebugLog("QEL_NOTIFY_SmsStatus\n");
      // Each counter on its own: a 32-bit sum of the two can wrap to 0.
      messagesWaiting_ = (Word(r, 8) != 0 || Word(r, 12) != 0) ? 1 : 0;
      if (messagesWaiting_) SendNotification(WMC_NOTIFY_NEW_MESSAGE);
      break;
    case 18:
      DebugLog("QEL_NOTIFY_SmsSendStatus\n");
      if (smsSendEvent_) {
        smsSendStatus_[0] = Word(r, 4);
        smsSendStatus_[1] = Word(r, 8);
        smsSendStatus_[2] = Word(r, 12);
        smsSendStatus_[3] = Word(r, 16);
        SetEvent(smsSendEvent_);
      }
      break;
    case 19:
      DebugLog("QEL_NOTIFY_Prev - %d\n", static_cast<int>(Word(r, 8)));
      if (!hdrService_ && !oneXService_) break;
      if (Word(r, 8) == 2 || Word(r, 8) == 3) network_.serviceType = 2;
      else if (Word(r, 8) == 4 || Word(r, 8) == 5) network_.serviceType = 3;
      else if (Word(r, 8) == 6 || Word(r, 8) == 7) network_.serviceType = hdrService_ ? 7 : 6;
      SendNotification(WMC_NOTIFY_NETWORK_INFO);
      break;
    case 20:
      DebugLog("QEL_NOTIFY_HeadsetState\n");
      break;
    case 34:
      DebugLog("QEL_NOTIFY_CallDormant\n");
      connection_.state = WMC_STATE_DORMANT;
      dormant_ = 1;
      if (dormantStartTick_ == 0) dormantStartTick_ = EngineNow();
      SendNotification(WMC_NOTIFY_CONNECTION_STATE);
      break;
    case 38:
      DebugLog("QEL_NOTIFY_OTASPState (%d)\n", static_cast<int>(Word(r, 8)));
      UpdateActivationState(Word(r, 12) != 0 ? static_cast<int>(Word(r, 8)) : -1);
      break;
    case 45:
      StartInitTimer();
      break;
    case 46:
      DebugLog("QEL_NOTIFY_Power State - %d\n", static_cast<int>(Word(r, 8)));
      refreshNeeded_ = 1;
      radioOn_ = Word(r, 8) == 0;
      break;
    case 48:
      DebugLog("QEL_NOTIFY_PPP State - %d\n", static_cast<int>(Word(r, 8)));
      connection_.state = Word(r, 8) == 4 ? WMC_STATE_CONNECTING
                          : (Word(r, 8) == 5 || Word(r, 8) == 7) ? WMC_STATE_PPP
                          : Word(r, 8) == 8 ? WMC_STATE_CONNECTED
                                    : WMC_STATE_IDLE;
      SendNotification(WMC_NOTIFY_CONNECTION_STATE);
      break;
    case 52: {
      uint16_t h8 = Half(r, 8), h10 = Half(r, 10), h12 = Half(r, 12), h14 = Half(r, 14);
      DebugLog("QEL_NOTIFY_Rssi_Ecio - CDMA(%d, %d), HDR(%d, %d)\n", h8, h10, h12, h14);
      network_.hdrRssi = h12;
      network_.signalLevel = static_cast<uint32_t>(ScaleRssi(h8));
      network_.cdmaRssi = h8;
      SendNotification(WMC_NOTIFY_NETWORK_INFO);
      cdmaRssi_ = h8;
      cdmaEcio_ = h10;
      hdrRssi_ = h12;
      hdrEcio_ = h14;
      break;
    }
    case 53: {
      uint16_t h8 = Half(r, 8);
      DebugLog("QEL_NOTIFY_Hdr_Roam_Status State - %d\n", h8);
      if (!hdrService_) break;
      network_.roaming = RoamIndicator(h8);
      SendNotification(WMC_NOTIFY_NETWORK_INFO);
      break;
    }
    case 54: {
      uint16_t h8 = Half(r, 8);
      DebugLog("QEL_NOTIFY_Hdr_Srv_State - %d\n", h8);
      if (h8 == 0) hdrService_ = 0;
      else if (h8 == 2) hdrService_ = 1;
      SendNotification(WMC_NOTIFY_NETWORK_INFO);
      break;
    }
    default:
      DebugLog("UNKNOWN %ld\n", static_cast<long>(r->id));
      break;
  }
}
