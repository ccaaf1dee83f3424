#include "TaskList.h"

#include <atomic>

#include "TaskListTestSeams.h"

namespace {

std::atomic<void (*)()> g_takeHook{nullptr};

constexpr LONG kMaximumSemaphoreCount = 2147483647;

}  // namespace

void TaskListTestSetTakeHook(void (*hook)()) { g_takeHook.store(hook); }

TaskList::TaskList(int maximumWorkers)
    : maximumWorkers_(maximumWorkers), workers_(10), queue2_(10), queue1_(10), queue0_(10) {
  stopEvent_.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!stopEvent_) return;
  taskSemaphore_.reset(::CreateSemaphoreA(nullptr, 0, kMaximumSemaphoreCount, nullptr));
  ready_ = static_cast<bool>(taskSemaphore_);
}

TaskList::~TaskList() {
  {
    CriticalSectionLock hold(listLock_);
    stopping_ = true;
  }
  if (stopEvent_) {
    // Workers drain the semaphore, so every queued task runs before its worker ends.
    ::SetEvent(stopEvent_.get());
    for (int i = workers_.GetCount() - 1; i >= 0; --i) {
      UniqueKernelHandle worker(static_cast<HANDLE>(workers_.GetAt(i)));
      if (worker) ::WaitForSingleObject(worker.get(), INFINITE);
    }
    stopEvent_.reset();
  }
  taskSemaphore_.reset();
}

TaskList::Queue* TaskList::QueueFor(int priority) {
  switch (priority) {
    case 2: return &queue2_;
    case 1: return &queue1_;
    case 0: return &queue0_;
    default: return nullptr;
  }
}

bool TaskList::AddTask(int* taskId, TaskFunction function, UINT_PTR parameter, int priority) {
  if (!ready_) return false;
  CriticalSectionLock hold(listLock_);
  if (stopping_) return false;
  if (workers_.GetCount() == 0 && !StartWorker()) return false;

  int32_t id = nextTaskId_++;
  if (taskId) *taskId = id;
  Queue* queue = QueueFor(priority);
  bool queued = queue && queue->Add(TaskListTaskData{id, function, parameter});

  uint32_t idle = static_cast<uint32_t>(workers_.GetCount() - busyWorkers_);
  if (idle < static_cast<uint32_t>(GetPendingCount())) StartWorker();  // at the maximum the task waits
  if (queued) ::ReleaseSemaphore(taskSemaphore_.get(), 1, nullptr);
  return queued;
}

bool TaskList::RemoveTask(int taskId) {
  if (!ready_) return false;
  CriticalSectionLock hold(listLock_);
  for (Queue* queue : {&queue2_, &queue1_, &queue0_}) {
    for (int i = queue->GetCount() - 1; i >= 0; --i)
      if (queue->GetAt(i).taskId == taskId && queue->RemoveAt(i)) return true;
  }
  return false;
}

int TaskList::GetPendingCount() {
  if (!ready_) return 0;
  CriticalSectionLock hold(listLock_);
  return queue2_.GetCount() + queue1_.GetCount() + queue0_.GetCount();
}

int TaskList::GetWorkerCount() {
  CriticalSectionLock hold(listLock_);
  return workers_.GetCount();
}

bool TaskList::StartWorker() {
  if (maximumWorkers_ != 0 &&
      static_cast<uint32_t>(workers_.GetCount()) >= static_cast<uint32_t>(maximumWorkers_))
    return false;
  // The handle's slot comes first: a thread is never started without one.
  if (!workers_.Add(nullptr)) return false;
  int slot = workers_.GetCount() - 1;
  HANDLE thread = ::CreateThread(nullptr, 0, WorkerThread, this, 0, nullptr);
  if (!thread) {
    workers_.RemoveAt(slot);
    return false;
  }
  workers_.SetAt(thread, slot);
  return true;
}

bool TaskList::TakeTask(TaskListTaskData* task) {
  CriticalSectionLock hold(listLock_);
  for (Queue* queue : {&queue2_, &queue1_, &queue0_}) {
    if (queue->GetCount() == 0) continue;
    *task = queue->GetAt(0);
    queue->RemoveAt(0);
    ::InterlockedIncrement(&busyWorkers_);  // counted before AddTask can see the queue shrink
    return true;
  }
  return false;
}

DWORD WINAPI TaskList::WorkerThread(void* context) {
  auto* list = static_cast<TaskList*>(context);
  const HANDLE handles[2] = {list->taskSemaphore_.get(), list->stopEvent_.get()};
  // The semaphore comes first: queued tasks win over the stop event.
  while (::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0) {
    TaskListTaskData task;
    if (!list->TakeTask(&task)) continue;  // withdrawn after its count was released
    if (auto hook = g_takeHook.load()) hook();
    task.function(task.parameter);
    ::InterlockedDecrement(&list->busyWorkers_);
  }
  return 0;
}
