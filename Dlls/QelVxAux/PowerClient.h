// The work behind the exports: one service object per initialisation, its connection
// point and sink, and the registered function, guarded by one process-wide lock.
#pragma once
#include <atomic>
#include <optional>

#include "CallbackSink.h"
#include "ComPtr.h"
#include "CriticalSection.h"
#include "Handles.h"
#include "QelVxAux.h"
#include "QelVxWmiIds.h"

// How long a power call waits for the service's ready event.
constexpr DWORD kReadyWaitMs = 60000;

// Makes the sink with one reference for the caller; on failure *sink stays null.
using SinkFactory = HRESULT (*)(const std::atomic<QelHWCallback>* callback, CVXWMICBSink** sink);
HRESULT CreateCallbackSink(const std::atomic<QelHWCallback>* callback, CVXWMICBSink** sink);

class CPowerClient {
 public:
  CPowerClient() = default;
  CPowerClient(const CPowerClient&) = delete;
  CPowerClient& operator=(const CPowerClient&) = delete;

  HRESULT Initialize();
  void UnInitialize();
  int32_t GetPower(uint32_t* state);
  int32_t SetPower(uint32_t state);
  int32_t RegisterCallback(QelHWCallback callback);

  // Test seams.
  DWORD ReadyWait() const { return readyWaitMs_; }
  void SetReadyWait(DWORD ms) { readyWaitMs_ = ms; }
  void SetSinkFactory(SinkFactory factory) { sinkFactory_ = factory; }

 private:
  enum class Ready { kNotRunning, kTimedOut, kReady };
  Ready WaitForService(UniqueKernelHandle* event) const;
  HRESULT FindCallbackPoint(ComPtr<IConnectionPoint>* point, bool* noContainer);
  HRESULT Connect();
  void Disconnect();
  void Forget();
  int32_t ReadPower(uint32_t* state);
  int32_t WritePower(uint32_t state);

  CriticalSection lock_;
  ComPtr<IVXWMI> vxwmi_;
  ComPtr<CVXWMICBSink> sink_;
  DWORD cookie_ = 0;
  std::atomic<QelHWCallback> callback_{nullptr};  // read by the sink without the lock
  // The CoInitialize of an initialisation, undone on the thread that made it.
  std::optional<ComApartment> apartment_;
  DWORD apartmentThread_ = 0;
  DWORD readyWaitMs_ = kReadyWaitMs;
  SinkFactory sinkFactory_ = CreateCallbackSink;
};

// The library's one client.
CPowerClient& PowerClient();

// Opens "QelVxAux.log" with the library's settings.
void OpenClientLog();
