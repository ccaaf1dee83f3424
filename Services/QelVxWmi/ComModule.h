// The COM server's lock count, kept by the service module: every live object and every
// LockServer(TRUE) holds one.
#pragma once
#include <windows.h>

LONG ComModuleLock();
LONG ComModuleUnlock();
LONG ComModuleLockCount();
