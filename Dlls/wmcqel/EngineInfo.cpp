// Network, connection and device information: the call durations, the network refresh and
// time, and the device block with the identity, numbers, versions, model and OEM code.
#include <cstdio>
#include <cstring>

#include "DebugLog.h"
#include "Engine.h"
#include "EngineInfoTestSeams.h"
#include "EngineTestSeams.h"

namespace {

std::atomic<ManufacturerQuery> g_manufacturerQuery{nullptr};

// Copies text into a host field of size bytes, cut to leave room for its terminator.
template <size_t N>
void CopyField(char (&field)[N], const char* text) {
  size_t n = std::strlen(text);
  if (n > N - 1) n = N - 1;
  std::memcpy(field, text, n);
  field[n] = '\0';
}

// An SDK text read into buffer, the SDK told size: true when it succeeded, the text then
// terminated within the buffer (the SDK may leave it unterminated).
template <size_t N, class Read>
bool ReadInto(char (&buffer)[N], uint32_t size, Read read) {
  std::memset(buffer, 0, N);
  if (read(buffer, size) != 0) return false;
  buffer[N - 1] = '\0';
  return true;
}

// The text an SDK read wrote into a 256-byte buffer, or empty when the read failed.
template <class Read>
std::string ReadText(Read read) {
  char buffer[256];
  return ReadInto(buffer, sizeof buffer, read) ? std::string(buffer) : std::string();
}

// The MEID/ESN record of QelGetMEIDESN.
#pragma pack(push, 1)
struct MeidEsnRecord {
  uint32_t size;
  uint16_t meidInUse;
  uint16_t meidProvisioned;
  uint32_t meidHigh;
  uint32_t meidLow;
  uint32_t pseudoEsn;
  uint16_t esnPresent;
  uint16_t notRead;
  uint32_t esn;
};
// The signal record of QelGetRssiEcio.
struct SignalRecord {
  uint32_t first;
  uint16_t cdmaRssi, cdmaEcio, hdrRssi, hdrEcio;
};
#pragma pack(pop)
static_assert(sizeof(MeidEsnRecord) == 28 && offsetof(MeidEsnRecord, esn) == 24, "MEID/ESN record");
static_assert(sizeof(SignalRecord) == 12 && offsetof(SignalRecord, hdrRssi) == 8, "signal record");

}  // namespace

void SetManufacturerQuery(ManufacturerQuery query) { g_manufacturerQuery = query; }

void FormatEsnDecimal(uint32_t esn, char* out) {
  std::snprintf(out, 12, "%03u%08u", static_cast<unsigned>(esn >> 24), static_cast<unsigned>(esn & 0xFFFFFFu));
}

void CSEVDOEngine::UpdateConnectionDurations() {
  if (connectTick_ == 0) return;  // no call: the last values stay
  uint32_t now = EngineNow();
  uint32_t connected = now - connectTick_;
  uint32_t dormant = dormantTotal_;
  if (dormantStartTick_ != 0) dormant += now - dormantStartTick_;
  connection_.connectedMs = connected;
  connection_.activeMs = connected - dormant;
}

uint32_t CSEVDOEngine::ConnectionStateOf(uint32_t callState) {
  if (callState == 0) return WMC_STATE_IDLE;
  return callState == 0x4000 ? WMC_STATE_DORMANT : WMC_STATE_CONNECTED;
}

void CSEVDOEngine::ReadHomeSidNid() {
  // The SDK fills its whole record; the engine reads the first two 16-bit values.
  QEL_HOME_SID_NID record = {};
  uint16_t sid = 0, nid = 0;
  if (sdk_->PstGetHomeSidNid(0, record.bytes, kSdkTimeoutPst) == 0) {
    std::memcpy(&sid, record.bytes, 2);
    std::memcpy(&nid, record.bytes + 2, 2);
  }
  homeSid_ = sid;
  homeNid_ = nid;
}

std::string CSEVDOEngine::ReadMobileDirNum() {
  CVeltraSdkApiEVDO* sdk = sdk_;
  return ReadText([&](char* b, uint32_t n) { return sdk->GetMobileDirNum(0, b, n, kSdkTimeout); });
}

void CSEVDOEngine::GetNetworkInfo() {
  DebugLog("CSEVDOEngine::GetNetworkInfo\n");
  if (!radioOn_) {
    network_.serviceType = 0;
    return;
  }
  if (refreshNeeded_) {
    uint32_t v = 0;
    if (sdk_->GetServiceIndication(&v, kSdkTimeout) == 0) oneXService_ = v != 0;
    uint16_t h = 0;
    if (sdk_->GetHdrSrvState(&h, kSdkTimeout) == 0) hdrService_ = h != 0;
    SignalRecord signal = {};
    if (sdk_->GetRssiEcio(&signal, kSdkTimeout) == 0) {
      network_.hdrRssi = signal.hdrRssi;
      network_.signalLevel = static_cast<uint32_t>(ScaleRssi(signal.cdmaRssi));
      network_.cdmaRssi = signal.cdmaRssi;
    }
    if (hdrService_) {
      uint16_t r = 0;
      if (sdk_->GetHdrRoamStatus(&r, kSdkTimeout) == 0) SetRoamIndicator(r);
    } else if (oneXService_) {
      uint32_t r = 0;
      if (sdk_->GetRoamingStatus(&r, kSdkTimeout) == 0) SetRoamIndicator(static_cast<int>(r));
    } else {
      network_.roaming = 0;
    }
    uint32_t c = 0;
    if (sdk_->GetCallConnectionState(&c, kSdkTimeout) == 0) {
      connection_.state = ConnectionStateOf(c);
      dormant_ = connection_.state == WMC_STATE_DORMANT ? 1 : 0;
    }
    refreshNeeded_ = 0;
  }
  network_.serviceType = HostServiceType();
}

uint32_t CSEVDOEngine::HostServiceType() const {
  if (!radioOn_) return 0;
  return hdrService_ ? 7 : oneXService_ ? 6 : 0;
}

void CSEVDOEngine::GetNetworkTime() {
  DebugLog("CSEVDOEngine::GetNetworkTime\n");
  if (network_.serviceType == 0) return;
  uint16_t t1 = 0, t2 = 0, t3 = 0, t5 = 0, t6 = 0, t7 = 0;
  uint32_t t4 = 0;  // its width is the SDK's: room for 32 bits
  if (sdk_->GetSystemTime(&t1, &t2, &t3, &t4, &t5, &t6, &t7, kSdkTimeout) != 0) return;
  network_.time[0] = t1;
  network_.time[1] = t2;
  network_.time[2] = t3;
  network_.time[3] = t5;
  network_.time[4] = t6;
  network_.value26 = 0;
  network_.zero30 = 0;
}

uint16_t CSEVDOEngine::GetPRLVer() {
  DebugLog("CSEVDOEngine::GetPRLVer\n");
  if (!sdk_) return 0;
  uint16_t p = 0;
  return sdk_->GetPRLVersion(&p, kSdkTimeout) == 0 ? p : 0;
}

std::string CSEVDOEngine::GetFirmwareVer() {
  DebugLog("CSEVDOEngine::GetFirmwareVer\n");
  if (!sdk_) return std::string();
  CVeltraSdkApiEVDO* sdk = sdk_;
  char buffer[128];
  if (!ReadInto(buffer, 127, [&](char* b, uint32_t n) { return sdk->GetFirmwareVersion(b, n, kSdkTimeout); }))
    return std::string();
  if (char* blank = std::strchr(buffer, ' ')) *blank = '\0';
  return buffer;
}

std::string CSEVDOEngine::GetHardwareVer() {
  DebugLog("CSEVDOEngine::GetHardwareVer\n");
  if (!sdk_) return std::string();
  CVeltraSdkApiEVDO* sdk = sdk_;
  char buffer[128];
  if (!ReadInto(buffer, 127, [&](char* b, uint32_t n) { return sdk->GetHardwareVersion(b, n, kSdkTimeout); }))
    return std::string();
  return buffer;
}

void CSEVDOEngine::GetDeviceInfo() {
  DebugLog("CSEVDOEngine::GetDeviceInfo\n");
  MeidEsnRecord record = {};
  record.size = sizeof record;
  if (sdk_->GetMEIDESN(&record, kSdkTimeout) != 0) {
    meid_ = 0;
    uint32_t esn = 0;
    esn_ = sdk_->GetESN(&esn, kSdkTimeout) == 0 ? esn : 0;
  } else if (record.meidInUse && record.meidProvisioned) {
    meid_ = (static_cast<uint64_t>(record.meidHigh) << 32) | record.meidLow;
    // The high part has 24 bits: 14 digits and the terminator fill 15 of the field's 16 bytes.
    std::snprintf(device_.meid, sizeof device_.meid, "%06X%08X", static_cast<unsigned>(record.meidHigh & 0xFFFFFFu),
                  static_cast<unsigned>(record.meidLow));
    esn_ = record.pseudoEsn;
  } else if (record.meidInUse || !record.esnPresent) {
    DebugLog("CSEVDOEngine::GetDeviceInfo ERROR-> MEID/ESN in use is not provisioned!\n");
    meid_ = 0;
    esn_ = 0;
  } else {
    meid_ = 0;
    esn_ = record.esn;
  }

  CVeltraSdkApiEVDO* sdk = sdk_;
  mdn_ = ReadMobileDirNum();
  sipUserId_ = ReadText([&](char* b, uint32_t n) { return sdk->PstGetSipUserId(b, n, kSdkTimeoutPst); });
  sipPassword_ = ReadText([&](char* b, uint32_t n) { return sdk->PstGetSipPassword(b, n, kSdkTimeoutPst); });
  imsi_ = ReadText([&](char* b, uint32_t n) { return sdk->GetIMSI(0, b, n, kSdkTimeout); });
  ReadHomeSidNid();

  CopyField(device_.mdn, mdn_.c_str());
  FormatEsnDecimal(esn_, device_.esn);
  device_.activated = static_cast<uint32_t>(IsActivated());
  CopyField(device_.manufacturer, "Veltra Vazudari");
  if (!device_.hardwareVersion[0]) CopyField(device_.hardwareVersion, GetHardwareVer().c_str());
  const std::string& model = sdk_->GetModelName();
  CopyField(device_.model, model.c_str());
  if (model == "LP2240" || model == "LP2250" || model == "PN2210") {
    ManufacturerQuery query = g_manufacturerQuery.load();
    char name[sizeof device_.oemCode] = {};
    int n = static_cast<int>(sizeof name) - 1;
    if ((query ? query : GetOEMManufacturerStr)(name, &n) == 0) {
      name[sizeof name - 1] = '\0';
      if (std::strcmp(name, "Varnell-Ostby") == 0) CopyField(device_.oemCode, "VX");
      else if (std::strcmp(name, "KORVAN") == 0) CopyField(device_.oemCode, "DRX");
      else CopyField(device_.oemCode, name);
    }
  } else if (model == "KX310U") {
    CopyField(device_.oemCode, "PLNK");
  } else if (model == "KX330E") {
    CopyField(device_.oemCode, "TRQ");
  } else if (model == "KX310") {
    CopyField(device_.oemCode, "TRDM");
  }
  if (!device_.firmwareVersion[0]) CopyField(device_.firmwareVersion, GetFirmwareVer().c_str());
  char buffer[256];
  if (ReadInto(buffer, sizeof buffer, [&](char* b, uint32_t n) { return sdk->GetBootVersion(b, n, kSdkTimeoutPst); }))
    CopyField(device_.bootVersion, buffer);
  if (ReadInto(buffer, sizeof buffer, [&](char* b, uint32_t n) { return sdk->GetDriverVersion(b, n, kSdkTimeoutPst); }))
    CopyField(device_.driverVersion, buffer);
  device_.prlVersion = GetPRLVer();
  CopyField(device_.imsi, imsi_.c_str());
  device_.homeSid = static_cast<uint32_t>(homeSid_);
  uint16_t eri = 0;
  device_.eriVersion = sdk_->GetERIVer("eri_nam1", &eri, kSdkTimeout) == 0 ? eri : 0;
  device_.one = 1;
  uint16_t lock = 0;
  if (sdk_->GetLockStatus(&lock, kSdkTimeout) == 0) device_.lockStatus = lock;
}
