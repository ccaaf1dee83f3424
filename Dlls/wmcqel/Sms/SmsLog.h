// The codec's diagnostic lines go through one printf-style hook, which the plug-in points
// at its debugger logger. Until then the lines go nowhere.
#pragma once

using SmsLogFn = void (*)(const char* format, ...);

// Null restores the default, which drops every line.
void SetSmsLogHook(SmsLogFn hook);
SmsLogFn SmsLogHook();
