// What a COM call's result says about the process at its other end.
#pragma once
#include <winerror.h>

// The other process is gone (ended, killed or disconnected its object): calls through this
// proxy will never succeed again. A failure the peer answered itself is not this. A peer
// that dies while our call into it is under way answers RPC_S_CALL_FAILED to that call, and
// RPC_S_SERVER_UNAVAILABLE to the next.
inline bool IsPeerGone(HRESULT hr) {
  return hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || hr == RPC_E_DISCONNECTED ||
         hr == CO_E_OBJNOTCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE) ||
         hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED);
}
