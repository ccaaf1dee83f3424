// A pool of worker threads running queued function calls at three priorities.
#pragma once
#include <windows.h>
#include <cstdint>

#include "CriticalSection.h"
#include "GrowableCollection.h"
#include "Handles.h"

class TaskList {
 public:
  using TaskFunction = void (*)(UINT_PTR parameter);

  struct TaskListTaskData {
    int32_t taskId;
    TaskFunction function;
    UINT_PTR parameter;
    // By fields: the padding behind the id is not part of a record.
    friend bool operator==(const TaskListTaskData& a, const TaskListTaskData& b) {
      return a.taskId == b.taskId && a.function == b.function && a.parameter == b.parameter;
    }
  };

  // maximumWorkers 0: no limit.
  explicit TaskList(int maximumWorkers);
  // Runs every queued task, then waits for every worker.
  ~TaskList();
  TaskList(const TaskList&) = delete;
  TaskList& operator=(const TaskList&) = delete;

  // Queues function(parameter) at priority 0, 1 or 2 (highest). taskId receives the id
  // taken, also when the priority is invalid. Refused once destruction has begun.
  bool AddTask(int* taskId, TaskFunction function, UINT_PTR parameter, int priority);
  // Withdraws a task that no worker has taken yet.
  bool RemoveTask(int taskId);
  int GetPendingCount();
  int GetWorkerCount();

 private:
  using Queue = GrowableThingCollection<TaskListTaskData>;

  bool StartWorker();  // list lock held
  bool TakeTask(TaskListTaskData* task);
  Queue* QueueFor(int priority);
  static DWORD WINAPI WorkerThread(void* list);

  bool ready_ = false;
  int maximumWorkers_;
  GrowableThingCollection<void*> workers_;  // thread handles, in starting order
  UniqueKernelHandle taskSemaphore_;        // one count per queued task
  UniqueKernelHandle stopEvent_;            // set by the destructor
  volatile LONG busyWorkers_ = 0;           // raised under the list lock when a task is taken
  int32_t nextTaskId_ = 0;
  Queue queue2_;
  Queue queue1_;
  Queue queue0_;
  bool stopping_ = false;
  CriticalSection listLock_;  // queues, next id, stopping and the starting of workers
};
