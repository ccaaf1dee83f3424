// How long the engine lives and who may still reach it. Every caller in flight (an export,
// an SDK or power notification, a timer) holds a reference; WMC_Shutdown unpublishes the
// engine, has a thread of ours stop its SDK and leaves the deletion to the last reference.
// Code of ours that may still run where the host cannot see it (the engine's notifications,
// a pending timer, a thread of ours) holds a reference on this library, so the host's
// FreeLibrary never unmaps code that is about to run.
#pragma once
#include <windows.h>

#include <cstdint>

class CSEVDOEngine;

// A reference on this library. Given back with FreeLibrary only from an export (the host
// holds the library until it has returned) or with FreeLibraryAndExitThread; code that still
// has to return into the library parks it for the next export on its thread.
HMODULE HoldThisModule();
void ParkModule(HMODULE module);
// Gives back the references this thread parked (every export does, as it starts).
void ReleaseParkedModules();
// Gives a reference back from a new thread whose start routine is the system's FreeLibrary,
// so no code of ours runs after it, whatever thread calls this and whenever. Without a
// thread the reference stays: the library then stays loaded, never unmapped under a caller.
void GiveBackModule(HMODULE module);

// Waits for the handle while dispatching the messages that other threads send to this one,
// so that a notification that forwards to this thread with SendMessage is not blocked by the
// wait. Posted messages stay queued.
void WaitDispatchingSent(HANDLE handle);
// The thread runs the handler of a message another thread sent and still waits for.
bool InSentMessage();

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

// WMC_Startup's start and end of an engine's creation: 0 when it may go on, 102 when another
// thread is creating one or an earlier engine is still stopping and this thread cannot wait
// for it (it runs a plug-in delivery, or the handler of a message sent to it).
int BeginEngineCreation();
void EndEngineCreation();
// Publishes the new engine, which holds this library until it is deleted.
void PublishEngine(CSEVDOEngine* engine);
// WMC_Shutdown's work: 107 without an engine. Else the engine is unpublished, the timers this
// thread started for it are killed, a thread of ours stops its SDK, and the answer is 0. The
// caller waits for the stop (dispatching sent messages) unless it runs a plug-in delivery or
// the handler of a sent message; the last reference deletes the engine.
int ShutdownEngine();

// The engine's timers, started on the calling thread; at most one of a kind runs. A timer
// holds this library (the SDK thread's initialisation timer excepted: that thread dispatches
// only while the SDK is open, and the engine closes the SDK before it lets the library go).
enum class EngineTimer { kInit, kFieldTest, kActivation };
void StartEngineTimer(EngineTimer kind, const CSEVDOEngine* engine, DWORD ms, TIMERPROC proc);
// In a timer procedure: the timer's own engine while it is published and the timer is the
// current one of its kind. Otherwise the timer is killed (its library reference parked) and
// the reference is empty.
EngineRef TimerEngine(EngineTimer kind, UINT_PTR id);
// In a timer procedure: kills the calling thread's timer of that kind; its library reference
// is parked until the next export on this thread.
void KillEngineTimerHere(EngineTimer kind);
