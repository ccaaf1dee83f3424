// The EV-DO stand-in's part that needs its sibling library: referenced at load, so the
// library loads only where the loader finds "QelSdkPart.dll".
#include <windows.h>

extern "C" __declspec(dllimport) int __cdecl SimSdkPart_Present(void);

namespace {
const volatile int g_partPresent = SimSdkPart_Present();
}
