// The six exports: argument checks and the trace scope, then one call into the client.
#include "FunctionTrace.h"
#include "PowerClient.h"
#include "SafeString.h"

namespace {
constexpr const char kOemId[] = "VX zt series notebook";
constexpr uint32_t kOemIdCopyLimit = 255;
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
  SafeStrCopy(buffer, kOemId, kOemIdCopyLimit);
  return QELHW_OK;
}

}  // extern "C"
