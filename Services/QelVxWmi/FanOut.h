// Power changes go to the clients from the apartment's own message loop, not from inside
// the call that made them: a client's call returns once its own work is done, and changes
// that come in while a pass is sending are coalesced into one more pass with the newest
// state. Everything here runs on the service's one apartment thread.
#pragma once
#include <windows.h>

class CFanOut {
 public:
  // Sends one state to every connection; may let other clients' calls in while it waits.
  using SendFn = void (*)(BYTE state);
  explicit CFanOut(SendFn send) : send_(send) {}
  CFanOut(const CFanOut&) = delete;
  CFanOut& operator=(const CFanOut&) = delete;

  // Keeps the newest state and asks this thread's message loop for a pass.
  void Post(BYTE state);
  // A client's call is being served: a pass that a nested dispatch would run waits for its end.
  void EnterCall() { ++callDepth_; }
  void LeaveCall();
  // Forgets what is pending and destroys the window; on the thread that posted.
  void Stop();
  bool Pending() const { return pending_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  bool HasWindow();
  void RequestPass();
  void RunPass();

  SendFn send_;
  HWND window_ = nullptr;
  DWORD windowThread_ = 0;
  BYTE latest_ = 0;
  bool pending_ = false;  // a change not yet sent
  bool posted_ = false;   // a pass message is in the queue
  bool running_ = false;  // a pass is sending
  int callDepth_ = 0;     // client calls being served, nested in one another
};

// Counts a client's call for the fan-out for as long as it is in scope.
class FanOutCall {
 public:
  explicit FanOutCall(CFanOut& fanOut) : fanOut_(fanOut) { fanOut_.EnterCall(); }
  ~FanOutCall() { fanOut_.LeaveCall(); }
  FanOutCall(const FanOutCall&) = delete;
  FanOutCall& operator=(const FanOutCall&) = delete;

 private:
  CFanOut& fanOut_;
};
