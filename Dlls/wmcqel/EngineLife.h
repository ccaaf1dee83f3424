// How long the engine lives and who may still reach it. The engine is in one of four phases,
// changed only under one lock: none, creating (a WMC_Startup builds it, nothing reaches it),
// running (published) and stopping (unpublished, a thread of ours closing its SDK). Every
// caller in flight (an export, an SDK or power notification, a timer) holds a reference;
// WMC_Shutdown unpublishes the engine, has a thread of ours (the stopper) close its SDK once
// the SDK calls in flight have returned, and the stopper deletes it when the last other
// reference has gone.
//
// Library references. Code of ours that may still run where the host cannot see it (an
// engine, a pending timer, a thread of ours) holds a reference on this library, so the host's
// FreeLibrary never unmaps code that is about to run. One rule gives them back: at once with
// FreeLibrary from an export (the host holds the library until it has returned) or from a
// thread of ours that still holds a reference of its own; from anywhere else (a timer
// procedure, a notification) with GiveBackModule; a thread of ours gives back its own with
// FreeLibraryAndExitThread as it ends. A timer whose host thread ends before its next tick is
// given back by the stopper once that thread is gone: no reference waits for a host thread.
#pragma once
#include <windows.h>

#include <cstdint>

class CSEVDOEngine;

// A reference on this library.
HMODULE HoldThisModule();
// Gives a reference back from a new thread whose start routine is the system's FreeLibrary,
// so no code of ours runs after it, whatever thread calls this and whenever. Without a
// thread the reference stays: the library then stays loaded, never unmapped under a caller.
void GiveBackModule(HMODULE module);

// Waits up to ms for the handle while dispatching the messages that other threads send to
// this one, so that a notification that forwards to this thread with SendMessage is not
// blocked by the wait. Posted messages stay queued. False when the time ran out.
bool WaitDispatchingSent(HANDLE handle, DWORD ms = INFINITE);
// The thread runs the handler of a message another thread sent and still waits for.
bool InSentMessage();

// How long WMC_Shutdown waits for the SDK's close (and a start-up for a stopping engine's),
// about one SDK time-out: the close itself waits for the SDK calls still in flight.
constexpr DWORD kStopWaitMs = 3000;

class EngineRef {
 public:
  // Host threads: the exports and the timers they start. Plug-in deliveries: the SDK's and
  // the client library's notifications on their threads, and the timers there.
  enum Kind { kCall, kDelivery };
  // The published engine, or none.
  explicit EngineRef(Kind kind = kCall);
  EngineRef(EngineRef&& other) noexcept : engine_(other.engine_), kind_(other.kind_) { other.engine_ = nullptr; }
  EngineRef& operator=(EngineRef&&) = delete;
  EngineRef(const EngineRef&) = delete;
  ~EngineRef();

  CSEVDOEngine* get() const { return engine_; }
  CSEVDOEngine* operator->() const { return engine_; }
  explicit operator bool() const { return engine_ != nullptr; }
  // The engine was shut down while this reference was held.
  bool Stopped() const;
  // A call during which the host shut the plug-in down answers 107, whatever its work gave.
  int Answer(int result) const;

 private:
  friend struct EngineLifeAccess;
  // Takes over a reference already counted (EngineLife.cpp); null: none.
  EngineRef(CSEVDOEngine* engine, Kind kind) : engine_(engine), kind_(kind) {}
  CSEVDOEngine* engine_;
  Kind kind_;
};

// Marks the calling thread as inside a plug-in delivery (a notification or the SDK thread's
// timer), also where there is no engine to take a reference on.
class DeliveryScope {
 public:
  DeliveryScope();
  ~DeliveryScope();
  DeliveryScope(const DeliveryScope&) = delete;
  DeliveryScope& operator=(const DeliveryScope&) = delete;
};

// WMC_Startup's first step, one decision under the lock: the running engine (the reference
// holds it), or, with an empty reference, *answer 0 when this thread is now the one creating
// the engine (it ends with PublishEngine or EndEngineCreation), 102 when another thread is
// creating one, or an earlier engine is still stopping and this thread cannot wait for it (it
// runs a plug-in delivery or the handler of a sent message, or the close took too long).
EngineRef StartupEngine(int* answer);
// The creation failed: no engine, the next start-up may create one.
void EndEngineCreation();
// Ends the creation: the new engine is published (it holds this library until it is deleted)
// and the reference holds it. When a WMC_Shutdown came during the creation the engine is
// stopped and deleted here instead, and the reference is empty (the start-up answers 107).
EngineRef PublishEngine(CSEVDOEngine* engine);
// WMC_Shutdown's work: 107 without an engine (or with one already stopping). During another
// thread's creation: the creation is undone by its WMC_Startup, and the answer is 0. Else the
// engine is unpublished, the timers this thread started for it are killed, a thread of ours
// stops its SDK, and the answer is 0. The caller waits (dispatching sent messages) for the
// stop, at most kStopWaitMs, unless it runs a plug-in delivery or the handler of a sent
// message; it never waits for other threads' calls.
int ShutdownEngine();

// The engine's timers, started on the calling thread; at most one of a kind runs. A timer
// holds this library (the SDK thread's initialisation timer excepted: that thread dispatches
// only while the SDK is open, and the engine closes the SDK before it lets the library go).
// None starts for an engine that is shut down already.
enum class EngineTimer { kInit, kFieldTest, kActivation };
void StartEngineTimer(EngineTimer kind, const CSEVDOEngine* engine, DWORD ms, TIMERPROC proc);
// In a timer procedure: the timer's own engine while it is published and the timer is the
// current one of its kind. Otherwise the timer is killed (its library reference given back)
// and the reference is empty.
EngineRef TimerEngine(EngineTimer kind, UINT_PTR id);
// In a timer procedure: kills the calling thread's timer of that kind.
void KillEngineTimerHere(EngineTimer kind);
