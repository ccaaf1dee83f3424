// bench_server: serves an object with empty power methods and one connection point; calls
// the advised sink each time the fire event is set; ends when the stop event is set.
#include <windows.h>

#include "BenchServer.h"
#include "ComPtr.h"
#include "FakeService.h"
#include "Handles.h"

int main() {
  ComApartment apartment;
  if (!apartment.ok()) return 1;
  UniqueKernelHandle ready(CreateEventA(nullptr, TRUE, FALSE, kBenchReadyEvent));
  UniqueKernelHandle fire(CreateEventA(nullptr, FALSE, FALSE, kBenchFireEvent));
  UniqueKernelHandle stop(CreateEventA(nullptr, TRUE, FALSE, kBenchStopEvent));
  auto* service = new FakeService();
  service->AddRef();
  FakeFactory factory(service);
  DWORD cookie = 0;
  if (FAILED(CoRegisterClassObject(CLSID_BenchVxwmi, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie)))
    return 2;
  SetEvent(ready.get());
  HANDLE waits[] = {fire.get(), stop.get()};
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(2, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) {
      service->Fire(1);
    } else if (r == WAIT_OBJECT_0 + 1) {
      break;
    } else {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  }
  CoRevokeClassObject(cookie);
  service->Release();
  return 0;
}
