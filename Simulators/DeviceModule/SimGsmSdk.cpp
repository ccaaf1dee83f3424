// Simulated GSM SDK, built as the R4 library ("Qel32_KX450.dll", "Qel64GSMU.dll"; with
// SIM_GSM_R4) or as the newer library ("QelApiInterfaceU.dll"), scripted by the block of
// SimDeviceControl.h. Texts are wide. The SIM status notification comes from a thread of
// the library's own once its id is enabled, after the scripted delay, or never.
#include <windows.h>

#include <atomic>

#include "ModuleSdk.h"
#include "SimDeviceControl.h"

namespace {

// Opened on first use, closed when the library is freed (a view and two handles: nothing
// that loads or waits); every load of the library would otherwise leave one behind.
SimDeviceControl* g_control = nullptr;
SimDeviceControl& Control() {
  if (!g_control) g_control = new SimDeviceControl();
  return *g_control;
}

std::atomic<QelNotifyFn> g_callback{nullptr};
HANDLE g_thread = nullptr;
HANDLE g_stop = nullptr;

SimGsmRead& Read(SimGsmReadIndex i) {
  SimGsmRead& r = Control()->reads[i];
  ++r.calls;
  return r;
}

uint32_t Text(SimGsmReadIndex i, wchar_t* buffer, uint32_t size) {
  SimGsmRead& r = Read(i);
  if (r.result == 0 && buffer && size) lstrcpynW(buffer, r.text, static_cast<int>(size));
  return static_cast<uint32_t>(r.result);
}

DWORD Deliver() {
  SimDeviceBlock* b = Control().operator->();
  if (b->simMode != 0 || WaitForSingleObject(g_stop, b->simDelayMs) != WAIT_TIMEOUT) return 0;
  SDK_NOTIF record = {};
  record.id = b->simNotifyId ? b->simNotifyId : b->notifyId;
  record.data[1] = b->simStatus;
  if (QelNotifyFn fn = g_callback.load()) {
    b->notifyThread = GetCurrentThreadId();
    fn(&record);
    ++b->delivered;
  }
  if (b->simLateMs) {
    // One more, after the caller has closed: whatever function is registered then.
    Sleep(b->simLateMs);
    if (QelNotifyFn fn = g_callback.load()) {
      fn(&record);
      ++b->lateDelivered;
    }
  }
  return 0;
}

// The thread holds a reference on this library, so a caller that frees it without closing
// does not pull the code from under it.
DWORD WINAPI NotifyThread(void* self) { FreeLibraryAndExitThread(static_cast<HMODULE>(self), Deliver()); }

void StopThread() {
  if (!g_thread) return;
  SetEvent(g_stop);
  WaitForSingleObject(g_thread, 5000);
  CloseHandle(g_thread);
  CloseHandle(g_stop);
  g_thread = g_stop = nullptr;
}

void StartThread() {
  StopThread();
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&Deliver), &self);
  g_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_thread = CreateThread(nullptr, 0, NotifyThread, self, 0, nullptr);
}

}  // namespace

extern "C" {

uint32_t QELSDK_CALL QelApiOpenEx(int32_t device, void* record) {
  SimDeviceBlock* b = Control().operator->();
  ++b->openCalls;
  b->lastOpenDevice = device;
  if (record) {
    auto* open = static_cast<const QelGsmOpenRecord*>(record);
    b->openRecordSize = open->size;
    b->openRecordTail = open->tailBytes;
    lstrcpynW(b->openLogName, open->logName, 128);
  }
  return static_cast<uint32_t>(b->openResult);
}

uint32_t QELSDK_CALL QelApiClose(void) {
  Control()->callbackAtClose = g_callback.load() ? 1 : 0;
  if (!Control()->simLateMs) {
    g_callback.store(nullptr);
    StopThread();
  }
  ++Control()->closeCalls;
  return 0;
}

uint32_t QELSDK_CALL QelRegisterCallback(QelNotifyFn fn, uint64_t mask) {
  g_callback.store(fn);
  if (fn) Control()->registerMask = mask;  // the mask of the registration, not of its undoing
  return 0;
}

uint32_t QELSDK_CALL QelNotify(uint32_t id, uint32_t) {
  Control()->notifyId = id;
  StartThread();
  return 0;
}

uint32_t QELSDK_CALL QelGetHardwareVersion(wchar_t* b, uint32_t s, uint32_t) { return Text(kSimHardware, b, s); }
uint32_t QELSDK_CALL QelGetFirmwareVersion(wchar_t* b, uint32_t s, uint32_t) { return Text(kSimFirmware, b, s); }
uint32_t QELSDK_CALL QelGetFirmwareBuildDate(wchar_t* b, uint32_t s, uint32_t) { return Text(kSimBuildDate, b, s); }
uint32_t QELSDK_CALL QelGetBootVersion(wchar_t* b, uint32_t s, uint32_t) { return Text(kSimBoot, b, s); }

uint32_t QELSDK_CALL QelGetImei(QelImeiRecord* r, uint32_t) {
  if (!r || r->size != sizeof *r) return 87;
  // Writes the whole 36-character room: a text this long is not terminated by the SDK.
  SimGsmRead& read = Read(kSimImei);
  if (read.result) return static_cast<uint32_t>(read.result);
  for (int i = 0; i < 36; ++i) r->text[i] = read.text[i];
  return 0;
}

uint32_t QELSDK_CALL QelGetSerialNumber(QelSerialRecord* r, uint32_t) {
  if (!r || r->size != sizeof *r) return 87;
  SimGsmRead& read = Read(kSimSerial);
  if (read.result) return static_cast<uint32_t>(read.result);
  for (int i = 0; i < 16; ++i) r->text[i] = read.text[i];
  return 0;
}

uint32_t QELSDK_CALL QelGetIMSI(wchar_t* msin, uint32_t size, uint32_t* mcc, uint32_t* mnc, uint32_t) {
  uint32_t rc = Text(kSimImsi, msin, size);
  if (rc == 0) {
    if (mcc) *mcc = Control()->imsiMcc;
    if (mnc) *mnc = Control()->imsiMnc;
  }
  return rc;
}

static uint32_t IccId(QelIccIdRecord* r) {
  if (!r || r->size != sizeof *r) return 87;
  SimGsmRead& read = Read(kSimIccId);
  if (read.result == 0) std::memcpy(r->bytes, Control()->iccid, 10);
  return static_cast<uint32_t>(read.result);
}

#ifdef SIM_GSM_R4
uint32_t QELSDK_CALL QelGetIddId(QelIccIdRecord* r, uint32_t) { return IccId(r); }

uint32_t QELSDK_CALL QelGetZolvanType(QelCardType* r, uint32_t) {
  if (!r || r->size != sizeof *r) return 87;
  SimGsmRead& read = Read(kSimCardType);
  if (read.result == 0) r->type = Control()->cardType;
  return static_cast<uint32_t>(read.result);
}
#else
uint32_t QELSDK_CALL QelGetIccId(QelIccIdRecord* r, uint32_t) { return IccId(r); }

uint32_t QELSDK_CALL QelGetAvailDev(QelDeviceList* list) {
  if (!list || list->size != sizeof *list) return 87;
  SimGsmRead& read = Read(kSimAvailDev);
  if (read.result == 0) {
    list->count = Control()->availCount;
    list->ids[0] = Control()->availId;
  }
  return static_cast<uint32_t>(read.result);
}

// The CDMA facts, for the module's fallback from the EV-DO library.
uint32_t QELSDK_CALL QelGetCarrierID(uint32_t* id, uint32_t) {
  SimGsmRead& read = Read(kSimCarrier);
  if (read.result == 0 && id) *id = Control()->carrierId;
  return static_cast<uint32_t>(read.result);
}
uint32_t QELSDK_CALL QelGetESN(uint32_t* esn, uint32_t) {
  SimGsmRead& read = Read(kSimEsn);
  if (read.result == 0 && esn) *esn = Control()->esn;
  return static_cast<uint32_t>(read.result);
}
uint32_t QELSDK_CALL QelGetPRLVersion(uint16_t* prl, uint32_t) {
  SimGsmRead& read = Read(kSimPrl);
  if (read.result == 0 && prl) *prl = Control()->prlVersion;
  return static_cast<uint32_t>(read.result);
}
#endif

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    delete g_control;
    g_control = nullptr;
  }
  return TRUE;
}
