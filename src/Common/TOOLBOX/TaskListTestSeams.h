// Test-only control of the task list's workers.
#pragma once

// Called by a worker after it has taken a task and left the list lock, before the task runs.
void TaskListTestSetTakeHook(void (*hook)());
