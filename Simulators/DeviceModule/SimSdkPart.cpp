// The second library of the EV-DO stand-in shipped as two (split/): the SDK library imports
// this one, which lies beside it only.
#include <windows.h>

extern "C" __declspec(dllexport) int __cdecl SimSdkPart_Present(void) { return 1; }
