// Texts of the call end codes, as WMC_GetNetworkErrorString returns them.
#pragma once
#include <string>

// The text of code; any code without one gives "DADER5 - Error <code>".
std::string NetworkErrorText(int code);
