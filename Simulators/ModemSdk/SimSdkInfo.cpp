// The simulated modem's identity, radio, provisioning and lock (see SimSdkState.h).
#include "SimSdkInfo.h"

#include <cstring>

namespace {

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

template <class T>
void Put(void* out, T value) {
  std::memcpy(out, &value, sizeof value);
}

// Copies a terminated text into a field, cut to leave room for the terminator.
template <size_t N>
void Keep(char (&field)[N], const char* text) {
  size_t n = text ? strnlen(text, N - 1) : 0;
  std::memcpy(field, text, n);
  field[n] = '\0';
}

void Report(const char* text, char* buffer, uint32_t size, bool fill = false) {
  if (!buffer || !size) return;
  size_t length = std::strlen(text);
  if (fill && length) {
    for (uint32_t k = 0; k < size; ++k) buffer[k] = text[k % length];
    return;
  }
  size_t n = strnlen(text, size - 1);
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
}

// The NAM that writes go to: the pending one once a programming code has been accepted,
// else one that nothing commits (the write is answered 0 and takes no effect).
SimSdkNam* Pending(SimSdkBlock& b) {
  static SimSdkNam discarded;
  return b.activation.unlocked ? &b.activation.pending : &discarded;
}

}  // namespace

int32_t SimInfoGetRecord(SimSdkBlock& b, const char* name, void* out) {
  const SimSdkInfoState& i = b.info;
  const SimSdkActivationState& a = b.activation;
  if (Is(name, "QelGetMEIDESN")) {
    uint8_t r[28] = {};
    std::memcpy(r, out, 4);  // the caller's size stays
    std::memcpy(r + 4, &i.meidInUse, 2);
    std::memcpy(r + 6, &i.meidProvisioned, 2);
    std::memcpy(r + 8, &i.meidHigh, 4);
    std::memcpy(r + 12, &i.meidLow, 4);
    std::memcpy(r + 16, &i.pseudoEsn, 4);
    std::memcpy(r + 20, &i.esnPresent, 2);
    std::memcpy(r + 24, &i.esn, 4);
    std::memcpy(out, r, sizeof r);
  } else if (Is(name, "QelGetESN")) {
    Put(out, i.esn);
  } else if (Is(name, "QelGetPRLVersion")) {
    Put(out, i.prlVersion);
  } else if (Is(name, "QelGetERIVer")) {
    Put(out, i.eriVersion);
  } else if (Is(name, "QelGetServiceIndication")) {
    Put(out, i.service);
  } else if (Is(name, "QelGetHdrSrvState")) {
    Put(out, i.hdrService);
  } else if (Is(name, "QelGetRssiEcio")) {
    uint16_t v[4] = {i.cdmaRssi, i.cdmaEcio, i.hdrRssi, i.hdrEcio};
    std::memcpy(static_cast<uint8_t*>(out) + 4, v, sizeof v);  // the first word is not the SDK's to write
  } else if (Is(name, "QelGetHdrRoamStatus")) {
    Put(out, i.hdrRoaming);
  } else if (Is(name, "QelGetRoamingStatus")) {
    Put(out, i.roaming);
  } else if (Is(name, "QelGetCallConnectionState")) {
    Put(out, i.callState);
  } else if (Is(name, "QelGetActivationStatus")) {
    Put(out, a.activated);
  } else if (Is(name, "QelGetLockStatus")) {
    Put(out, a.lockStatus);
  } else if (Is(name, "QelPstGetHomeSidNid")) {
    uint16_t v[2] = {a.committed.homeSid, a.committed.homeNid};
    std::memcpy(out, v, sizeof v);
  } else if (Is(name, "QelGetTechPacketZone")) {
    Put(out, b.fieldTest.packetZone);
  }
  return 0;
}

int32_t SimInfoGetText(SimSdkBlock& b, const char* name, char* buffer, uint32_t size) {
  const SimSdkInfoState& i = b.info;
  const SimSdkNam& nam = b.activation.committed;
  bool fill = i.fillTextBuffers != 0;
  if (Is(name, "QelGetFirmwareVersion")) Report(i.firmware, buffer, size, fill);
  else if (Is(name, "QelGetHardwareVersion")) Report(i.hardware, buffer, size, fill);
  else if (Is(name, "QelGetBootVersion")) Report(i.boot, buffer, size, fill);
  else if (Is(name, "QelGetDriverVersion")) Report(i.driver, buffer, size, fill);
  else if (Is(name, "QelGetMobileDirNum")) Report(nam.mdn, buffer, size, fill);
  else if (Is(name, "QelGetIMSI")) Report(nam.imsi, buffer, size, fill);
  else if (Is(name, "QelPstGetSipUserId")) Report(nam.sipUserId, buffer, size, fill);
  else if (Is(name, "QelPstGetSipPassword")) Report(nam.sipPassword, buffer, size, fill);
  return 0;
}

int32_t SimInfoSetText(SimSdkBlock& b, const char* name, const char* text) {
  char* field = nullptr;
  size_t size = 0;
  SimSdkNam& n = *Pending(b);
  if (Is(name, "QelSetMobileDirNum")) field = n.mdn, size = sizeof n.mdn;
  else if (Is(name, "QelSetIMSI")) field = n.imsi, size = sizeof n.imsi;
  else if (Is(name, "QelPstSetSipUserId")) field = n.sipUserId, size = sizeof n.sipUserId;
  else if (Is(name, "QelPstSetSipPassword")) field = n.sipPassword, size = sizeof n.sipPassword;
  if (!field || !text) return 0;
  size_t length = strnlen(text, size - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
  return 0;
}

int32_t SimInfoSetU32(SimSdkBlock& b, const char* name, uint32_t value) {
  if (!Is(name, "QelPstUnlock")) return 0;
  if (b.activation.spc && value != b.activation.spc) return kSimRefused;
  if (!b.activation.unlocked) b.activation.pending = b.activation.committed;
  b.activation.unlocked = 1;
  return 0;
}

int32_t SimInfoNoArgs(SimSdkBlock& b, const char* name) {
  if (!Is(name, "QelResetModem")) return 0;
  SimSdkActivationState& a = b.activation;
  ++a.resets;
  a.unlocked = 0;
  a.pending = a.committed;
  a.activated = a.committed.mdn[0] && std::strncmp(a.committed.mdn, "00", 2) != 0 ? 1 : 0;
  return 0;
}

int32_t SimInfoNamInfo(SimSdkBlock&, void* count) {
  if (count) Put(count, uint16_t{1});  // one NAM
  return 0;
}

int32_t SimInfoSetHomeSidNid(SimSdkBlock& b, const QEL_HOME_SID_NID& record) {
  SimSdkNam* nam = Pending(b);
  std::memcpy(&nam->homeSid, record.bytes, 2);
  std::memcpy(&nam->homeNid, record.bytes + 2, 2);
  return 0;
}

int32_t SimInfoPstLock(SimSdkBlock& b, void* status) {
  SimSdkActivationState& a = b.activation;
  uint16_t s = 0;
  if (a.unlocked) {
    a.committed = a.pending;
    a.unlocked = 0;
    ++a.commits;
    s = 1;
  }
  if (status) Put(status, s);
  return 0;
}

int32_t SimInfoLockModem(SimSdkBlock& b, const char* code, void* status) {
  SimSdkActivationState& a = b.activation;
  if (a.lockCode[0] && (!code || std::strncmp(code, a.lockCode, sizeof a.lockCode) != 0)) return kSimRefused;
  a.lockStatus = a.lockStatus ? 0 : 1;  // one call locks and unlocks
  if (status) Put(status, a.lockStatus);
  return 0;
}

int32_t SimInfoChangeLockPin(SimSdkBlock& b, const char* oldCode, const char* newCode, void* result) {
  SimSdkActivationState& a = b.activation;
  bool ok = oldCode && newCode && a.lockStatus == 0 &&
            (!a.lockCode[0] || std::strncmp(oldCode, a.lockCode, sizeof a.lockCode) == 0);
  if (ok) Keep(a.lockCode, newCode);
  if (result) Put(result, uint16_t{ok ? uint16_t{1} : uint16_t{0}});
  return 0;
}

int32_t SimInfoSystemTime(SimSdkBlock& b, void* const outputs[7]) {
  for (int k = 0; k < 7; ++k)
    if (outputs[k]) Put(outputs[k], b.info.systemTime[k]);
  return 0;
}

int32_t SimInfoSetSecrets(SimSdkBlock& b, uint16_t haLength, const uint8_t* ha, uint16_t aaaLength,
                          const uint8_t* aaa) {
  SimSdkNam* nam = Pending(b);
  if (!ha || !aaa || haLength > sizeof nam->ha || aaaLength > sizeof nam->aaa) return 0;  // ignored
  nam->haLength = haLength;
  nam->aaaLength = aaaLength;
  std::memcpy(nam->ha, ha, haLength);
  std::memcpy(nam->aaa, aaa, aaaLength);
  return 0;
}

int32_t SimInfoGetSecrets(SimSdkBlock& b, uint8_t* ha, uint16_t* haLength, uint16_t haCapacity, uint8_t* aaa,
                          uint16_t* aaaLength, uint16_t aaaCapacity) {
  const SimSdkNam& nam = b.activation.committed;
  if (!ha || !haLength || !aaa || !aaaLength) return 0;  // nothing to write to
  if (nam.haLength > haCapacity || nam.aaaLength > aaaCapacity) return kSimRefused;
  std::memcpy(ha, nam.ha, nam.haLength);
  std::memcpy(aaa, nam.aaa, nam.aaaLength);
  *haLength = nam.haLength;
  *aaaLength = nam.aaaLength;
  return 0;
}

int32_t SimInfoSetPrl(SimSdkBlock& b, const void* data, uint16_t length) {
  SimSdkActivationState& a = b.activation;
  if (a.prlFailures) {
    --a.prlFailures;
    return kSimRefused;
  }
  SimSdkNam* nam = Pending(b);
  if (!data) return 0;
  nam->prlLength = length;
  std::memcpy(nam->prl, data, length < sizeof nam->prl ? length : sizeof nam->prl);
  return 0;
}

int32_t SimInfoDial(SimSdkBlock& b, const char* number) {
  Keep(b.activation.dialled, number);
  return 0;
}
