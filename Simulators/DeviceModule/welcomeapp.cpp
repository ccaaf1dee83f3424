// The welcome application's use of the device information module: load it by path, run
// one query on this thread, copy the document and print it.
//   welcomeapp [--modem cdma|gsm] <path of QelVXWM.dll>
// --modem first scripts this process's stand-ins (card-detect library, SDK libraries) as a
// CDMA modem or as a GSM modem with a usable SIM.
// Exit code: the query's result, or the copy's when the query succeeded; 1 for bad use.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "QelVXWM.h"
#include "SimModems.h"

int wmain(int argc, wchar_t** argv) {
  std::wstring modem;
  if (argc == 4 && std::wstring(argv[1]) == L"--modem") {
    modem = argv[2];
    argv += 2;
    argc -= 2;
  }
  if (argc != 2 || !(modem.empty() || modem == L"cdma" || modem == L"gsm")) {
    std::fprintf(stderr, "usage: welcomeapp [--modem cdma|gsm] <path of QelVXWM.dll>\n");
    return 1;
  }
  // Held until the end: the stand-ins' script lives while a view of it is open.
  std::unique_ptr<SimDeviceControl> device;
  std::unique_ptr<SimSdkControl> sdk;
  if (!modem.empty()) {
    device.reset(new SimDeviceControl());
    sdk.reset(new SimSdkControl());
    if (!device->ok() || !sdk->ok()) {
      std::fprintf(stderr, "cannot open the stand-ins' script\n");
      return 1;
    }
    if (modem == L"cdma")
      ScriptSimCdmaModem(*device, *sdk);
    else
      ScriptSimGsmModem(*device);
  }
  HMODULE module = LoadLibraryW(argv[1]);
  if (!module) {
    std::fprintf(stderr, "cannot load %ls: %lu\n", argv[1], GetLastError());
    return 1;
  }
  auto query = reinterpret_cast<PFN_QelVXWMHQueryDeviceInfo>(
      reinterpret_cast<void*>(GetProcAddress(module, "QelVXWMHQueryDeviceInfo")));
  auto copy = reinterpret_cast<PFN_QelVXWMHCopyDeviceInfo>(
      reinterpret_cast<void*>(GetProcAddress(module, "QelVXWMHCopyDeviceInfo")));
  if (!query || !copy) {
    std::fprintf(stderr, "the module lacks its exports\n");
    return 1;
  }
  int result = query();
  if (result != 0) {
    std::fprintf(stderr, "QelVXWMHQueryDeviceInfo: %d\n", result);
    FreeLibrary(module);
    return result;
  }
  unsigned length = 0;
  result = copy(nullptr, &length);
  std::wstring text(length, L'\0');
  if (result == 2) result = copy(&text[0], &length);
  if (result == 0) {
    text.resize(length ? length - 1 : 0);
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? static_cast<size_t>(n) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], n, nullptr, nullptr);
    std::printf("%s\n", utf8.c_str());
  } else {
    std::fprintf(stderr, "QelVXWMHCopyDeviceInfo: %d\n", result);
  }
  FreeLibrary(module);
  return result;
}
