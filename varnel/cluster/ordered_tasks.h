// SPDX-License-Identifier: Apache-2.0
// Independent tasks on several threads whose results are taken in task
// order on the calling thread, so that what the caller makes of them (the
// best so far, the progress it reports, the first failure) is the same for
// any number of threads.
#pragma once

#include <functional>

namespace varnel {

// Workers for Count tasks: Threads of them (0 asks for one per core), no
// more than there are tasks, and at least one.
int WorkerCount(unsigned Threads, int Count);

// Runs Work(Task, Worker) for every Task < Count on Workers threads (Worker
// < Workers names the thread, for a workspace of its own) and Finish(Task)
// on the calling thread, in task order, as soon as the task and every one
// before it are done. A task that throws has its exception rethrown at its
// turn, after the tasks before it have finished; tasks not yet begun are
// then left out. With one worker, or when no thread can be started, the
// calling thread does the work itself.
void RunInOrder(int Count, int Workers, const std::function<void(int Task, int Worker)>& Work,
                const std::function<void(int Task)>& Finish);

}  // namespace varnel
