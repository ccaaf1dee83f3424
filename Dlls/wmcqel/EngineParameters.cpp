// Parameters (preferred mode, QC Mobile IP mode, Accolc), the power switch, NDIS data mode
// and the firmware upgrade check and launch.
#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>

#include "AuxApi.h"
#include "DebugLog.h"
#include "Engine.h"
#include "ParametersTestSeams.h"

namespace {

std::atomic<DWORD> g_ndisPollPauseMs{kNdisPollPauseMs};

// The SDK's preferred modes by host value (0 automatic).
constexpr uint16_t kSdkPreferredModes[] = {4, 9, 10};
constexpr uint16_t kSdkModeAutomatic = 4;
constexpr uint32_t kNoValue = 0xFFFFFFFFu;

// An NDIS entry point's failure: not offered (911, or the entry point missing) or refused.
int NdisFailure(uint32_t r) {
  return r == QEL_RESULT_NDIS_NOT_OFFERED || r == kSdkNotOffered ? WMC_ERROR_NOT_SUPPORTED : WMC_ERROR_FAILED;
}

}  // namespace

void SetNdisPollPause(DWORD ms) { g_ndisPollPauseMs = ms; }

int CSEVDOEngine::Engine_GetParameters(WMC_PARAMETERS* out) {
  DebugLog("CSEVDOEngine::Engine_GetParameters\n");
  uint16_t mode = 0;
  if (sdk_->PstGetPrefMode(0, &mode, kSdkTimeoutPst) != 0) return WMC_ERROR_FAILED;
  if (mode == kSdkModeAutomatic) {
    // Automatic mode always runs with hybrid preference 1.
    uint16_t hybrid = 0;
    if (sdk_->GetHdrHybrPref(&hybrid, kSdkTimeout) == 0 && hybrid != 1) sdk_->SetHdrHybrPref(1, kSdkTimeout);
    out->preferredMode = 0;
  } else if (mode == 9) {
    out->preferredMode = 1;
  } else if (mode == 10) {
    out->preferredMode = 2;
  }
  uint16_t mip = 0;
  if (sdk_->PstGetDsQcMip(&mip, kSdkTimeoutPst) != 0) return WMC_ERROR_FAILED;
  if (mip <= 2) out->qcMipMode = mip;
  uint16_t accolc = 0;
  if (sdk_->PstGetAccolc(0, &accolc, kSdkTimeoutPst) != 0) return WMC_ERROR_FAILED;
  out->accolc = accolc;
  return WMC_ERROR_SUCCESS;
}

int CSEVDOEngine::Engine_SetParameters(const WMC_PARAMETERS* in) {
  DebugLog("CSEVDOEngine::Engine_SetParameters\n");
  // A value the modem reports outside the host's range leaves its field at kNoValue, so the
  // host's value counts as a change.
  WMC_PARAMETERS cur = {sizeof cur, kNoValue, kNoValue, 0};
  if (int r = Engine_GetParameters(&cur)) return r;
  bool mode = in->preferredMode != cur.preferredMode;
  bool mip = in->qcMipMode != cur.qcMipMode;
  bool accolc = in->accolc != cur.accolc;
  // Every changed value is checked before the first write, so a refused one changes nothing.
  if ((mode && in->preferredMode > 2) || (mip && in->qcMipMode > 2) || (accolc && in->accolc > 15))
    return WMC_ERROR_INVALID_PARAMETER;
  if (mode) {
    if (in->preferredMode == 0 && sdk_->SetHdrHybrPref(1, kSdkTimeout) != 0) return WMC_ERROR_FAILED;
    if (sdk_->PstSetPrefMode(0, kSdkPreferredModes[in->preferredMode], kSdkTimeoutPst) != 0) return WMC_ERROR_FAILED;
  }
  if (mip && sdk_->PstSetDsQcMip(static_cast<uint16_t>(in->qcMipMode), kSdkTimeoutPst) != 0) return WMC_ERROR_FAILED;
  if (accolc) {
    if (sdk_->PstUnlock(kFixedProgrammingCode, kSdkTimeoutPst) != 0) return WMC_ERROR_FAILED;
    if (sdk_->PstSetAccolc(0, in->accolc, kSdkTimeoutPst) != 0) return WMC_ERROR_FAILED;
  }
  // The preferred mode and Accolc take effect on a modem restart; the QC MIP mode at once.
  if (!mode && !accolc) return WMC_ERROR_SUCCESS;
  return RestartModemAndWait() == 0 ? WMC_ERROR_SUCCESS : WMC_ERROR_FAILED;
}

int CSEVDOEngine::SwitchPower(int on) {
  int r = Engine_SetPower(on);
  if (r == WMC_ERROR_NOT_SUPPORTED) return Engine_SetRadioPower(on);
  if (r != WMC_ERROR_SUCCESS) return r;
  // The client library answers 0 for a disabled radio without switching it.
  uint32_t state = 0;
  if (AuxApi().GetPower(&state) == 0 && state == 3) return WMC_ERROR_NO_DEVICE;
  return WMC_ERROR_SUCCESS;
}

int CSEVDOEngine::GetNDISMode(int* on) {
  DebugLog("CSEVDOEngine::GetNDISMode\n");
  uint8_t record[8] = {};
  uint32_t r = sdk_->GetNDISMode(record);
  if (r != 0) return NdisFailure(r);
  if (record[0] == 0) return WMC_ERROR_NOT_SUPPORTED;
  uint32_t mode;
  std::memcpy(&mode, record + 4, sizeof mode);
  *on = mode == 1 ? 1 : 0;
  return WMC_ERROR_SUCCESS;
}

int CSEVDOEngine::SetNDISMode(uint32_t mode) {
  if (mode == 0) {
    for (int attempt = 0; attempt < kNdisPollAttempts && connection_.state != WMC_STATE_IDLE; ++attempt) {
      DebugLog("SetNDISMode COUNT %d\n", attempt);
      uint32_t c = 0;
      if (sdk_->GetCallConnectionState(&c, kSdkTimeout) == 0) connection_.state = ConnectionStateOf(c);
      if (!PumpMessagesFor(g_ndisPollPauseMs, this)) return WMC_ERROR_NOT_STARTED;  // shut down meanwhile
    }
  }
  DebugLog("CSEVDOEngine::SetNDISMode(%d)\n", static_cast<int>(mode));
  uint32_t r;
  if (mode != 0) {
    r = sdk_->SetNDISPrefMode(1);
  } else {
    InitNotifications(0);  // no notifications while the mode changes
    r = sdk_->SetNDISPrefMode(0);
    InitNotifications(1);
  }
  if (r != 0) return NdisFailure(r);
  sdk_->SetAutoconnect(static_cast<uint16_t>(mode), kSdkTimeout);
  return WMC_ERROR_SUCCESS;
}

int CSEVDOEngine::SwitchNDISMode(uint32_t mode) {
  if (mode != 0) {
    // A modem without NDIS mode still dials; one that refuses the switch does not.
    if (SetNDISMode(mode) == WMC_ERROR_FAILED) return WMC_ERROR_FAILED;
    return sdk_->SetCallOriginateCmd(257, "#777", kSdkTimeout) == 0 ? WMC_ERROR_SUCCESS : WMC_ERROR_FAILED;
  }
  uint32_t r = sdk_->SetCallDisconnectCmd();
  int s = SetNDISMode(0);
  return r == 0 && s != WMC_ERROR_FAILED ? WMC_ERROR_SUCCESS : WMC_ERROR_FAILED;
}

int CSEVDOEngine::CheckForUpgrade(WMC_UPGRADE_INFO* info) {
  info->status = 0;
  if (!sdk_) return WMC_ERROR_NOT_STARTED;
  // The host's path reaches the SDK terminated within its field.
  char path[sizeof info->checkPath];
  lstrcpynA(path, info->checkPath, sizeof path);
  char buffer[272] = {};
  uint32_t length = sizeof info->programPath - 1;
  int32_t status = -1;  // unknown unless the SDK writes one
  uint32_t r = sdk_->VerifyUpgradeRequired(path, &status, buffer, &length, kSdkTimeout);
  if (r != 0) return r == kSdkNotOffered ? WMC_ERROR_NOT_SUPPORTED : WMC_ERROR_FAILED;
  switch (status) {
    case 0: {
      // At most 259 characters, whatever length the SDK reports, and always terminated.
      size_t n = length < sizeof info->programPath - 1 ? length : sizeof info->programPath - 1;
      std::strncpy(info->programPath, buffer, n);
      info->programPath[n] = '\0';
      info->status = 2;
      break;
    }
    case 1: case 2: case 3: case 6: case 8:
      info->status = 3;
      break;
    case 4: case 5:
      info->status = 4;
      break;
    default:
      break;  // 7 and unknown statuses: no upgrade
  }
  return WMC_ERROR_SUCCESS;
}

bool WaitForProcessPumping(HANDLE process) {
  for (;;) {
    // Every kind of input wakes the wait, so the thread's timers and the messages other
    // threads send it keep running.
    DWORD w = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    if (w == WAIT_OBJECT_0) return true;
    if (w != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
}

int LaunchUpgrade(const WMC_UPGRADE_INFO* info) {
  char file[sizeof info->programPath];
  lstrcpynA(file, info->programPath, sizeof file);  // terminated within the host's field
  SHELLEXECUTEINFOA sei;
  static_assert(sizeof sei == (sizeof(void*) == 8 ? 112 : 60), "the platform's record");
  std::memset(&sei, 0, sizeof sei);
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_NOCLOSEPROCESS;
  sei.lpFile = file;
  sei.lpParameters = "";
  sei.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&sei)) return WMC_ERROR_FAILED;
  // Handed to a program that was already running: there is no process to wait for.
  if (!sei.hProcess) return WMC_ERROR_SUCCESS;
  DWORD code = 1;
  bool ended = WaitForProcessPumping(sei.hProcess);
  if (!ended || !GetExitCodeProcess(sei.hProcess, &code)) code = 1;
  CloseHandle(sei.hProcess);
  return code == 0 ? WMC_ERROR_SUCCESS : WMC_ERROR_FAILED;
}
