#include "SimSdkParameters.h"

#include <cstring>

namespace simsdk {

namespace {

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

template <class T>
void Put(void* out, T value) {
  if (out) std::memcpy(out, &value, sizeof value);
}

// The 16-bit provisioning value behind a read or write entry point, or null.
uint16_t* Value16(SimSdkParametersState& p, const char* name) {
  if (Is(name, "QelPstGetPrefMode") || Is(name, "QelPstSetPrefMode")) return &p.prefMode;
  if (Is(name, "QelGetHdrHybrPref") || Is(name, "QelSetHdrHybrPref")) return &p.hybridPref;
  if (Is(name, "QelPstGetDsQcMip") || Is(name, "QelPstSetDsQcMip")) return &p.qcMip;
  if (Is(name, "QelPstGetAccolc") || Is(name, "QelPstSetAccolc")) return &p.accolc;
  if (Is(name, "QelPstGetSystemPref")) return &p.systemPref;
  if (Is(name, "QelPstGetSci")) return &p.sci;
  return nullptr;
}

bool IsNdis(const char* name) { return Is(name, "QelGetNDISMode") || Is(name, "QelSetNDISPrefMode"); }

}  // namespace

int32_t ParametersRead(SimSdkControl& c, const char* name, const SimSdkEntry& s, void* out) {
  if (s.result) return s.result;
  auto guard = c.lock();
  SimSdkParametersState& p = c->parameters;
  if (IsNdis(name)) {
    if (p.ndisAnswer) return p.ndisAnswer;
    if (s.outLength || !out) return 0;
    uint8_t record[8] = {};
    record[0] = p.ndisOffered ? 1 : 0;
    std::memcpy(record + 4, &p.ndisMode, sizeof p.ndisMode);
    std::memcpy(out, record, sizeof record);
    return 0;
  }
  uint16_t* value = Value16(p, name);
  if (value && !s.outLength) Put(out, *value);
  return 0;
}

int32_t ParametersWrite(SimSdkControl& c, const char* name, const SimSdkEntry& s, uint32_t value) {
  if (s.result) return s.result;
  auto guard = c.lock();
  SimSdkParametersState& p = c->parameters;
  if (IsNdis(name)) {
    if (p.ndisAnswer) return p.ndisAnswer;
    p.ndisMode = value;
    return 0;
  }
  if (Is(name, "QelSetAutoconnect")) {
    p.autoconnect = value;
    return 0;
  }
  if (uint16_t* v = Value16(p, name)) *v = static_cast<uint16_t>(value);
  return 0;
}

void VerifyUpgradeRequired(SimSdkControl& c, const SimSdkEntry& s, const char* path, void* status, char* buffer,
                           void* length) {
  auto guard = c.lock();
  SimSdkParametersState& p = c->parameters;
  if (path) lstrcpynA(p.checkPath, path, sizeof p.checkPath);
  if (s.result || !p.upgradeScripted) return;
  Put(status, p.upgradeStatus);
  uint32_t capacity = 0;
  if (length) std::memcpy(&capacity, length, sizeof capacity);
  uint32_t n = static_cast<uint32_t>(strnlen(p.upgradePath, sizeof p.upgradePath));
  // The SDK fills at most the capacity it was given, without a terminator when the path fills it.
  if (buffer) std::memcpy(buffer, p.upgradePath, n < capacity ? n + 1 : capacity);
  Put(length, p.upgradeLength ? p.upgradeLength : n);
}

void MipGenUser(SimSdkControl& c, const SimSdkEntry& s, uint16_t size, char* nai, void* haSpiEnable, void* haSpi,
                void* aaaSpiEnable, void* aaaSpi, void* reverseTunneling, void* homeAddress, void* primaryHa,
                void* secondaryHa) {
  if (s.result) return;
  auto guard = c.lock();
  const SimSdkFieldTestState& f = c->fieldTest;
  if (nai && size && !s.text[0] && f.nai[0]) lstrcpynA(nai, f.nai, size);
  Put(haSpiEnable, f.haSpiEnable);
  Put(haSpi, f.haSpi);
  Put(aaaSpiEnable, f.aaaSpiEnable);
  Put(aaaSpi, f.aaaSpi);
  Put(reverseTunneling, f.reverseTunneling);
  Put(homeAddress, f.homeAddress);
  Put(primaryHa, f.primaryHa);
  Put(secondaryHa, f.secondaryHa);
}

}  // namespace simsdk
