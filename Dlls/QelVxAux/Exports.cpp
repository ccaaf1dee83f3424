// The six exports: argument checks and the trace scope, then one call into the client.
#include "FunctionTrace.h"
#include "PowerClient.h"
#include <cstring>

namespace {
constexpr const char kOemId[] = "VX zt series notebook";
constexpr size_t kOemIdCopyLimit = 255;
}  // namespace

extern "C" {

HRESULT __cdecl QelHWInitialize(void) {
  FUNCTION_TRACE("QelHWInitialize");
  return PowerClient().Initialize();
}

void __cdecl QelHWUnInitialize(void) {
  FUNCTION_TRACE("QelHWUnInitialize");
  PowerClient().UnInitialize();
}

int32_t __cdecl QelHWGetPower(uint32_t* state) {
  FUNCTION_TRACE("QelHWGetPower");
  if (!state) return QELHW_ERR_FAILED;
  return PowerClient().GetPower(state);
}

int32_t __cdecl QelHWSetPower(uint32_t state) {
  FUNCTION_TRACE("QelHWSetPower");
  return PowerClient().SetPower(state);
}

int32_t __cdecl QelHWRegisterCallback(QelHWCallback callback) {
  FUNCTION_TRACE("QelHWRegisterCallback");
  return PowerClient().RegisterCallback(callback);
}

int32_t __cdecl QelHWGetOEMIDStrA(char* buffer) {
  if (!buffer) return QELHW_ERR_FAILED;
  // The caller's buffer holds the text: write the text and its terminator, nothing past them
  // (a bounded copy that terminates its last position would write byte 254 of any buffer).
  size_t n = strnlen(kOemId, kOemIdCopyLimit - 1);
  memcpy(buffer, kOemId, n);
  buffer[n] = 0;
  return QELHW_OK;
}

}  // extern "C"
