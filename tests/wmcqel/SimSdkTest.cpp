// The simulated SDK's own promises that the plug-in's tests rely on: notifications arrive on
// a thread of its own that dispatches messages, with no lock held, and the script decides
// readiness and the failing subscription.
#include <gtest/gtest.h>

#include <atomic>

#include "Handles.h"
#include "PluginTestSupport.h"

namespace {

struct SimSdk {
  UniqueLibrary library;
  PFN_QelApiOpenEx open = nullptr;
  PFN_QelApiClose close = nullptr;
  PFN_QelRegisterCallback registerCallback = nullptr;
  PFN_QelNotify notify = nullptr;
  PFN_QelTimeout isModemReady = nullptr;
  PFN_QelGetRecord getEsn = nullptr;
  explicit SimSdk(const char* variant = "full") {
    library.reset(LoadLibraryA((plugintest::SdkDir(variant) + "\\Qel_Evdomx.dll").c_str()));
    Bind(&open, "QelApiOpenEx");
    Bind(&close, "QelApiClose");
    Bind(&registerCallback, "QelRegisterCallback");
    Bind(&notify, "QelNotify");
    Bind(&isModemReady, "QelIsModemReady");
    Bind(&getEsn, "QelGetESN");
  }
  template <class F>
  void Bind(F* f, const char* name) {
    *f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library.get(), name)));
  }
};

std::atomic<DWORD> g_callbackThread{0};
std::atomic<int> g_timerFired{0};
std::atomic<bool> g_otherThreadGotThrough{false};
SimSdk* g_sdk = nullptr;

void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (GetCurrentThreadId() == g_callbackThread) ++g_timerFired;
}

DWORD WINAPI CallSdk(void*) {
  uint32_t esn = 0;
  g_sdk->getEsn(&esn, 3000);
  return 0;
}

void QELSDK_CALL OnNotification(const SDK_NOTIF* record) {
  g_callbackThread = GetCurrentThreadId();
  if (record->id == 45) SetTimer(nullptr, 0, 10, OnTimer);
  if (record->id == 46) {
    // Another thread's SDK call must get through while this callback runs.
    UniqueKernelHandle t(CreateThread(nullptr, 0, CallSdk, nullptr, 0, nullptr));
    g_otherThreadGotThrough = WaitForSingleObject(t.get(), 5000) == WAIT_OBJECT_0;
  }
}

TEST(SimulatedSdk, DeliversOnItsOwnPumpingThreadWithoutItsLock) {
  SimSdkControl control;
  control.Reset();
  SimSdk sdk;
  g_sdk = &sdk;
  ASSERT_TRUE(sdk.open && sdk.registerCallback);
  ASSERT_EQ(sdk.registerCallback(OnNotification, 0), 0u);
  ASSERT_EQ(sdk.open(18, nullptr), 0u);  // a null record is allowed
  ASSERT_TRUE(control.Inject(45));
  ASSERT_TRUE(control.Inject(46));
  ASSERT_TRUE(qeltest::PumpUntil([] { return g_timerFired.load() == 1 && g_otherThreadGotThrough.load(); }, 5000));
  EXPECT_NE(g_callbackThread.load(), GetCurrentThreadId());
  EXPECT_EQ(g_callbackThread.load(), control->notifyThread);
  EXPECT_EQ(control->delivered, 2u);
  EXPECT_EQ(sdk.close(), 0u);
  ASSERT_TRUE(control.Inject(45));  // closed: forgotten registration, nothing delivered
  Sleep(50);
  EXPECT_EQ(control->delivered, 2u);
}

TEST(SimulatedSdk, ScriptDecidesReadinessAndTheFailingSubscription) {
  SimSdkControl control;
  control.Reset();
  control->notReadyPolls = 2;
  control->notifyFailAt = 3;
  control->notifyFailResult = 77;
  SimSdk sdk;
  EXPECT_EQ(sdk.isModemReady(3000), 1u);
  EXPECT_EQ(sdk.isModemReady(3000), 1u);
  EXPECT_EQ(sdk.isModemReady(3000), 0u);
  EXPECT_EQ(sdk.notify(5, 12000), 0u);
  EXPECT_EQ(sdk.notify(6, 12000), 0u);
  EXPECT_EQ(sdk.notify(9, 12000), 77u);
  EXPECT_EQ(sdk.notify(10, 12000), 0u);
  EXPECT_TRUE(control.Enabled(6));
  EXPECT_FALSE(control.Enabled(9));
  auto calls = control.Calls("QelNotify");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[2].args[0], 9u);
  EXPECT_EQ(calls[2].timeout, 12000u);
  EXPECT_EQ(calls[2].result, 77);
  EXPECT_EQ(control.Calls("QelIsModemReady")[1].result, 1);
}

}  // namespace
