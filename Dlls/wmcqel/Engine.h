// The CDMA EV-DO engine: the one object through which the plug-in drives the modem, with
// the host blocks it copies out, the flags SDK notifications keep current, its start-up,
// subscription, host notifications and radio power operations.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "EngineSms.h"
#include "HostBlocks.h"
#include "QelSdk.h"
#include "SdkApi.h"

// Waits and periods.
constexpr int kReadyAttempts = 10;
constexpr DWORD kReadyRetryPauseMs = 1000;
constexpr DWORD kInitTimerPeriodMs = 1000;
constexpr int kRestartReadyAttempts = 30;
constexpr DWORD kNdisPollPauseMs = 1000;     // between call-state reads before NDIS mode goes off
constexpr int kNdisPollAttempts = 5;
constexpr DWORD kFieldTestPeriodMs = 1000;
// The programming code built into the plug-in, for NAM writes without a host code.
constexpr uint32_t kFixedProgrammingCode = 123456;

// The SDK notification ids the engine subscribes, in order.
constexpr uint32_t kSubscribedIds[] = {5, 6, 9, 10, 11, 12, 13, 15, 16, 17, 19, 20, 34, 38, 52, 54, 18, 53};

// Process-wide values outside the engine.
struct HostCallbackTable {
  std::atomic<WMC_NOTIFY_CALLBACK> slots[WMC_NOTIFY_SLOTS];
  std::atomic<UINT_PTR> initTimer;
  std::atomic<UINT_PTR> fieldTestTimer;
  std::atomic<WMC_FIELDTEST_CALLBACK> fieldTest;
};
extern HostCallbackTable g_hostCallbacks;
class CSEVDOEngine;
extern std::atomic<UINT_PTR> g_activationTimer;
extern std::atomic<uint32_t> g_ignoreNextDisconnect;
extern std::atomic<uint32_t> g_firstMessageRead;

// The function registered with the SDK and the client library.
extern "C" void QELSDK_CALL NotificationCallback(const void* record);
void CALLBACK InitTimerProc(HWND hwnd, UINT message, UINT_PTR id, DWORD time);
void CALLBACK FieldTestTimerProc(HWND hwnd, UINT message, UINT_PTR id, DWORD time);
// Launches the upgrade program named in the block and waits for its end (WMC_Upgrade).
int LaunchUpgrade(const WMC_UPGRADE_INFO* info);
// Dispatches the calling thread's messages for ms milliseconds, waiting for them in between.
// With an engine to watch it returns false as soon as that engine's shutdown is asked for
// (from a handler it dispatched, or from another thread).
bool PumpMessagesFor(uint32_t ms, const CSEVDOEngine* watch = nullptr);
int ScaleRssi(int rssi);

// Information and activation: the ESN in 11 decimal digits (out holds 12 bytes), the
// automatic-activation time-out and its timer procedure.
void FormatEsnDecimal(uint32_t esn, char* out);
constexpr DWORD kActivationTimeoutMs = 2000;
void CALLBACK ActivationTimerProc(HWND hwnd, UINT message, UINT_PTR id, DWORD time);

// The engine's life (EngineLife.cpp); counts and lists change under its lock.
struct EngineLifeState {
  uint64_t serial = 0;                     // unique per published engine; 0 before
  long refs = 0;                           // the owner's and one per caller in flight
  std::vector<DWORD> callThreads;          // one entry per call reference
  std::atomic<bool> stopRequested{false};  // unpublished by WMC_Shutdown
  bool stopDone = false;                   // its SDK is closed
  HANDLE stopRequestedEvent = nullptr;
  HANDLE stopDoneEvent = nullptr;
  HANDLE drainedEvent = nullptr;           // only the owner's reference is left
  HMODULE module = nullptr;                // this library, held while the engine exists
};

class CSEVDOEngine {
 public:
  CSEVDOEngine();
  virtual ~CSEVDOEngine();
  CSEVDOEngine(const CSEVDOEngine&) = delete;
  CSEVDOEngine& operator=(const CSEVDOEngine&) = delete;

  int Initialize();
  // After WMC_Shutdown, on the stopper thread: the destruction's line, every id unsubscribed
  // and the SDK closed; the binding refuses every call from then on. The deletion (the SDK
  // library freed) waits for the last reference.
  void Stop();
  bool StopRequested() const { return life_.stopRequested; }
  // Radio on but the SDK not open or never subscribed (a start-up with the radio off): opens
  // what is not open and initialises again; Initialize's result.
  int Reinitialize();
  bool Serving() const { return sdk_ && sdk_->IsOpened() && notificationsOn_; }
  int InitNotifications(int on);
  static void SendNotification(int index);
  int Engine_SetPower(int on);
  int Engine_GetPower();
  int Engine_SetRadioPower(int on);
  int Engine_GetRadioPower(int* on);
  // Restart the modem and wait until it is back (0), or the reset's failure.
  uint32_t RestartModemAndWait();

  void ProcessNotification(const SDK_NOTIF* record);
  // Starts the initialisation timer on the calling thread; at most one runs.
  void StartInitTimer();
  int TranslateEndReasonCode(int reason);
  void UpdateActivationState(int otaspState);
  void SetRoamIndicator(int value);

  // Network, connection and device information.
  void UpdateConnectionDurations();
  void GetNetworkInfo();
  // The service type the host is given: 0, 6 or 7 from the service flags (a revision
  // notification writes 2 or 3 into the network block for the field-test trace).
  uint32_t HostServiceType() const;
  void GetNetworkTime();
  uint16_t GetPRLVer();
  std::string GetFirmwareVer();
  std::string GetHardwareVer();
  void GetDeviceInfo();
  // The home SID and NID (both 0 when unreadable) and the MDN (empty when unreadable).
  void ReadHomeSidNid();
  std::string ReadMobileDirNum();
  // The connection state a call-connection state read gives.
  static uint32_t ConnectionStateOf(uint32_t callState);

  // Activation and modem lock.
  int IsActivated();
  int AutoActivation();
  void OnActivationTimeout();
  int ManualActivation(uint32_t spc);
  int DeActivate();
  int SetLock(int lock, const char* code);
  int ChangeLockCode(const char* oldCode, const char* newCode);
  // The activation status: 1 activated, 0 not, -1 unreadable.
  int ReadActivationStatus();
  // Programs the NAM from the activation copy and restarts the modem: 1 when the restart
  // ran, 0 at the first step that stops. resetPattern tells whether the copy's numbers are
  // the factory reset numbers.
  int ProgramNam(uint32_t spc, bool* resetPattern);

  // Parameters, NDIS mode and upgrade.
  int Engine_GetParameters(WMC_PARAMETERS* out);
  int Engine_SetParameters(const WMC_PARAMETERS* in);
  int GetNDISMode(int* on);
  int SetNDISMode(uint32_t mode);
  // WMC_SetNDISMode's work: the mode switch with the packet data call started or ended.
  int SwitchNDISMode(uint32_t mode);
  int CheckForUpgrade(WMC_UPGRADE_INFO* info);
  // WMC_SetPower's work: through the client library, else through the SDK.
  int SwitchPower(int on);

  // Field-test trace.
  void CallFieldTestHeader();
  void CallFieldTest();
  static const char* SystemPrefString(int value);
  static const char* ATStateString(int value);
  static const char* YesNoString(int value);

  // Short messages.
  int GetUnreadCount();
  int GetMessageCount(int* waiting);
  int GetNextMessage(WMC_SMS_MESSAGE* msg);
  int SendSmsMessage(const WMC_SMS_MESSAGE* msg);
  static int TranslateSmsCause(int cause);
  int DeleteMessage(uint16_t id);
  int DeleteAllMessages();
  void StartMessageNotifyThread();
  // Waits for the status of an earlier send that timed out, so that it is not taken for
  // the next send's.
  void DropLeftoverSendStatus();
  DWORD smsSendWaitMs_ = kSmsSendWaitMs;
  DWORD smsLeftoverWaitMs_ = kSmsSendWaitMs;  // for a status still owed: as long again
  bool smsStatusOwed_ = false;  // the last send timed out while its status could still come
  CMessageNotifyStop messageNotifyStop_;

  EngineLifeState life_;

  CVeltraSdkApiEVDO* Sdk() const { return sdk_; }
  bool NotificationsOn() const { return notificationsOn_ != 0; }

  // State read and written by the exports and the notification handlers (no lock: a host
  // may see a block in the middle of an update).
  CVeltraSdkApiEVDO* sdk_ = nullptr;
  WMC_CONNECTION_INFO connection_{};
  WMC_NETWORK_INFO network_{};
  WMC_DEVICE_INFO device_{};
  WMC_ACTIVATION_INFO activation_{};
  uint32_t connectTick_ = 0;
  uint32_t dormantStartTick_ = 0;
  uint32_t dormantTotal_ = 0;
  uint32_t messagesWaiting_ = 0;
  uint16_t systemPreference_ = 0;
  int32_t temperature_ = 0;
  uint32_t dormant_ = 0;
  uint16_t cdmaRssi_ = 0, cdmaEcio_ = 0, hdrRssi_ = 0, hdrEcio_ = 0;
  uint32_t hdrPowerSave_ = 0;
  uint16_t accolc_ = 0, preferredMode_ = 0;
  uint16_t hdrRoamStatus_ = 0, hdrHybridPreference_ = 0;
  char nai_[128] = {};
  uint16_t haSpiEnable_ = 0;
  uint32_t haSpi_ = 0;
  uint16_t aaaSpiEnable_ = 0;
  uint32_t aaaSpi_ = 0;
  uint16_t reverseTunneling_ = 0;
  uint32_t homeAddress_ = 0, primaryHa_ = 0, secondaryHa_ = 0;
  uint16_t slotCycleIndex_ = 0, eriVersion_ = 0, packetZone_ = 0;
  char uati_[16] = {};
  uint16_t colorCode_ = 0, atState_ = 0;
  HANDLE smsSendEvent_ = nullptr;
  uint32_t smsSendStatus_[4] = {};
  uint32_t notificationsOn_ = 0;
  uint32_t hdrService_ = 0;
  uint32_t oneXService_ = 0;
  uint32_t refreshNeeded_ = 1;  // nothing read yet: the first query reads everything
  uint32_t radioOn_ = 0;
  uint32_t firstRegistration_ = 1;
  uint32_t esn_ = 0;
  uint64_t meid_ = 0;
  std::string mdn_, sipUserId_, sipPassword_, imsi_;
  int32_t homeSid_ = 0, homeNid_ = 0;
  uint32_t activationInProgress_ = 0;
  uint32_t automaticActivationPending_ = 0;
  uint32_t renotifyDelayMs_ = 2000;
};

// Retains the client library for the process when it is not retained yet: loads, probes and
// registers NotificationCallback; a failed probe is undone (callback removed, uninitialised,
// freed).
void RetainClientLibrary();
