// Activation and modem lock: over-the-air activation with its time-out, manual programming
// of the NAM, de-activation to the factory numbers, and the lock, unlock and re-code calls.
#include <cstdio>
#include <cstring>

#include "DebugLog.h"
#include "Engine.h"
#include "EngineInfoTestSeams.h"
#include "EngineLife.h"

namespace {

std::atomic<DWORD> g_activationTimeoutMs{kActivationTimeoutMs};

// A host text field of N bytes as a terminated string (the host may fill the field whole).
template <size_t N>
struct FieldText {
  explicit FieldText(const char (&field)[N]) {
    std::memcpy(text, field, N);
    text[N] = '\0';
  }
  char text[N + 1];
};

constexpr uint16_t kMaxSecret = 16;

// Replaces the modem's secret with the host's when they differ; true when it changed.
bool MergeSecret(uint32_t given, uint32_t hostLength, const uint8_t* hostBytes, uint8_t* bytes, uint16_t* length) {
  if (!given || hostLength > kMaxSecret) return false;
  bool changed = false;
  if (*length != hostLength) {
    *length = static_cast<uint16_t>(hostLength);
    changed = true;
  }
  for (uint16_t i = 0; i < *length; ++i)
    if (bytes[i] != hostBytes[i]) {
      bytes[i] = hostBytes[i];
      changed = true;
    }
  return changed;
}

}  // namespace

void SetActivationTimeout(DWORD ms) { g_activationTimeoutMs = ms; }

void CALLBACK ActivationTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  // Its own engine only: one shut down since (or a new one) finds nothing, and the timer stops.
  EngineRef engine = TimerEngine(EngineTimer::kActivation, id);
  if (!engine) return;
  KillEngineTimerHere(EngineTimer::kActivation);  // it fires once
  engine->OnActivationTimeout();
}

void CSEVDOEngine::OnActivationTimeout() {
  if (automaticActivationPending_ != 1) return;  // the call connected in time
  automaticActivationPending_ = 0;
  activationInProgress_ = 0;
  SendNotification(WMC_NOTIFY_ACTIVATION_DONE);
}

int CSEVDOEngine::ReadActivationStatus() {
  DebugLog("CSEVDOEngine::IsActivated\n");
  uint16_t a = 0;
  if (sdk_->GetActivationStatus(&a, kSdkTimeout) != 0) return -1;
  return a != 0 ? 1 : 0;
}

// An unreadable status does not count as activated.
int CSEVDOEngine::IsActivated() { return ReadActivationStatus() == 1 ? 1 : 0; }

int CSEVDOEngine::AutoActivation() {
  DebugLog("CSEVDOEngine::AutoActivation\n");
  if (!sdk_ || activationInProgress_) return 0;
  if (sdk_->SetCallOriginateCmd(0, "*22899", kSdkTimeout) != 0) return 0;
  automaticActivationPending_ = 1;
  StartEngineTimer(EngineTimer::kActivation, this, g_activationTimeoutMs, ActivationTimerProc);  // at most one
  return 1;
}

int CSEVDOEngine::ProgramNam(uint32_t spc, bool* resetPattern) {
  *resetPattern = false;
  GetDeviceInfo();
  uint16_t count = 0;
  uint8_t namInfo[256] = {};
  if (sdk_->GetNamInfo(&count, namInfo, kSdkTimeout) != 0 || count == 0) return 0;
  if (sdk_->PstUnlock(spc, kSdkTimeoutPst) != 0) return 0;
  // From here every write must take: a NAM with a failed write is not committed.
  if (sdk_->PstSetCurrentNam(0, kSdkTimeoutNamSwitch) != 0) return 0;
  FieldText<sizeof activation_.mdn> mdn(activation_.mdn);
  FieldText<sizeof activation_.min> min(activation_.min);
  if (sdk_->SetMobileDirNum(0, mdn.text, kSdkTimeoutPst) != 0) return 0;
  if (!sipUserId_.empty() && sdk_->PstSetSipUserId(sipUserId_.c_str(), kSdkTimeoutPst) != 0) return 0;
  if (!sipPassword_.empty() && sdk_->PstSetSipPassword(sipPassword_.c_str(), kSdkTimeoutPst) != 0) return 0;
  bool minIsZeros = std::strncmp(min.text, "000000", 6) == 0;
  if (!minIsZeros && sdk_->SetIMSI(0, min.text, kSdkTimeout) != 0) return 0;
  if (homeSid_ > 0 && homeNid_ > 0) {
    QEL_HOME_SID_NID record = {};
    uint16_t sid = activation_.homeSid, nid = static_cast<uint16_t>(homeNid_);
    std::memcpy(record.bytes, &sid, 2);
    std::memcpy(record.bytes + 2, &nid, 2);
    if (sdk_->PstSetHomeSidNid(0, &record, kSdkTimeoutPst) != 0) return 0;
  }
  uint16_t qcMip = 0;
  if (activation_.size >= 120 && sdk_->PstGetDsQcMip(&qcMip, kSdkTimeoutPst) == 0 && (qcMip == 1 || qcMip == 2)) {
    uint8_t ha[kMaxSecret + 1] = {}, aaa[kMaxSecret + 1] = {};
    uint16_t haLength = 0, aaaLength = 0;
    if (sdk_->PstGetDsMipSsUserProf(0, ha, &haLength, kMaxSecret, aaa, &aaaLength, kMaxSecret, kSdkTimeoutPst) == 0) {
      // Lengths past the buffers are the SDK's error: cut to what the buffers hold.
      if (haLength > kMaxSecret) haLength = kMaxSecret;
      if (aaaLength > kMaxSecret) aaaLength = kMaxSecret;
      bool changed = MergeSecret(activation_.haSecretGiven, activation_.haSecretLength, activation_.haSecret, ha,
                                 &haLength);
      changed = MergeSecret(activation_.aaaSecretGiven, activation_.aaaSecretLength, activation_.aaaSecret, aaa,
                            &aaaLength) || changed;
      if (changed) {
        ha[haLength] = 0;
        aaa[aaaLength] = 0;
        if (sdk_->PstSetDsMipSsUserProf(0, haLength, ha, aaaLength, aaa, kSdkTimeoutPst) != 0) return 0;
      }
    }
  }
  if (activation_.prlLength > 0) {
    if (activation_.prlLength > 0xFFFF || activation_.prl == 0) return 0;
    const void* prl = reinterpret_cast<const void*>(static_cast<uintptr_t>(activation_.prl));
    uint16_t length = static_cast<uint16_t>(activation_.prlLength);
    if (sdk_->SetPRL(0, prl, length, kSdkTimeout) != 0 && sdk_->SetPRL(0, prl, length, kSdkTimeout) != 0) return 0;
  }
  // The factory reset numbers: "001" and the last seven ESN digits (or nothing) as the MDN,
  // a MIN of six zeros and more.
  char pattern[16];
  std::snprintf(pattern, sizeof pattern, "001%s", device_.esn + 4);
  size_t mdnLength = std::strlen(mdn.text);
  *resetPattern = mdnLength <= std::strlen(pattern) && std::strncmp(pattern, mdn.text, mdnLength) == 0 && minIsZeros;
  uint16_t status = 0;
  uint8_t lockInfo[256] = {};
  if (sdk_->PstLock(1, 0, &status, lockInfo, kSdkTimeoutPst) != 0 || status != 1) return 0;
  if (RestartModemAndWait() != 0) return 0;
  return 1;
}

int CSEVDOEngine::ManualActivation(uint32_t spc) {
  DebugLog("CSEVDOEngine::ManualActivation\n");
  bool resetPattern = false;
  if (!ProgramNam(spc, &resetPattern)) return 0;
  if (IsActivated()) return 1;
  return resetPattern ? 1 : 0;  // the reset numbers leave the modem not activated
}

int CSEVDOEngine::DeActivate() {
  DebugLog("CSEVDOEngine::DeActivate\n");
  GetDeviceInfo();
  char digits[16];
  std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(esn_));
  size_t n = std::strlen(digits);
  // Only the numbers and the modem's own home SID: no PRL, secrets or earlier host values.
  WMC_ACTIVATION_INFO copy = {};
  copy.size = sizeof copy;
  std::snprintf(copy.mdn, sizeof copy.mdn, "000000%s", digits + (n > 4 ? n - 4 : 0));
  std::snprintf(copy.min, sizeof copy.min, "0");
  copy.homeSid = static_cast<uint16_t>(homeSid_);
  activation_ = copy;
  bool resetPattern = false;
  if (!ProgramNam(kFixedProgrammingCode, &resetPattern)) return WMC_ERROR_ACTIVATION_FAILED;
  // Done when the restarted modem reads not activated.
  return ReadActivationStatus() == 0 ? WMC_ERROR_SUCCESS : WMC_ERROR_ACTIVATION_FAILED;
}

int CSEVDOEngine::SetLock(int lock, const char* code) {
  DebugLog("CSEVDOEngine::SetLock\n");
  uint16_t s = 0;
  if (sdk_->GetLockStatus(&s, kSdkTimeout) != 0) return WMC_ERROR_DEVICE;
  if (lock && s == 1) return WMC_ERROR_LOCKED;
  if (!lock && s == 0) return WMC_ERROR_SUCCESS;
  uint16_t status = 0;
  if (sdk_->LockModem(code, &status, kSdkTimeout) != 0) return WMC_ERROR_LOCK_CODE;
  if (sdk_->GetLockStatus(&s, kSdkTimeout) != 0) return WMC_ERROR_LOCK_CODE;
  return s == (lock ? 1 : 0) ? WMC_ERROR_SUCCESS : WMC_ERROR_LOCK_CODE;
}

int CSEVDOEngine::ChangeLockCode(const char* oldCode, const char* newCode) {
  DebugLog("CSEVDOEngine::ChangeLockCode\n");
  uint16_t s = 0;
  if (sdk_->GetLockStatus(&s, kSdkTimeout) != 0) return WMC_ERROR_DEVICE;
  if (s == 1) return WMC_ERROR_LOCKED;
  if (!sdk_->HasChangeLockPIN()) return WMC_ERROR_NOT_SUPPORTED;
  uint16_t r = 0;
  if (sdk_->ChangeLockPIN(oldCode, newCode, &r, kSdkTimeout) == 0 && r == 1) return WMC_ERROR_SUCCESS;
  return WMC_ERROR_LOCK_CODE;
}
