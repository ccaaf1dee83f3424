// The minimal local server the client benchmark compares against: the service's interfaces
// with empty methods, served by bench_server.exe.
#pragma once
#include <windows.h>

// {6C1B0E7A-3F4D-4B8E-9A51-2D7C8E0F1A33}
constexpr CLSID CLSID_BenchVxwmi = {0x6C1B0E7A, 0x3F4D, 0x4B8E, {0x9A, 0x51, 0x2D, 0x7C, 0x8E, 0x0F, 0x1A, 0x33}};
constexpr const char* kBenchReadyEvent = "QelBenchServerReady";
constexpr const char* kBenchFireEvent = "QelBenchServerFire";  // the server calls its sink once
constexpr const char* kBenchStopEvent = "QelBenchServerStop";
