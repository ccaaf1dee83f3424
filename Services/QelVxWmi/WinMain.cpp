#include <windows.h>

#include "ServiceModule.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return ServiceProgramMain(instance, GetCommandLineA());
}
