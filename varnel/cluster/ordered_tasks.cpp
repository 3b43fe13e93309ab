// SPDX-License-Identifier: Apache-2.0
#include "varnel/cluster/ordered_tasks.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace varnel {
namespace {

void RunHere(int Count, const std::function<void(int, int)>& Work, const std::function<void(int)>& Finish) {
  for (int Task = 0; Task < Count; ++Task) {
    Work(Task, 0);
    Finish(Task);
  }
}

// What the workers share. A task's error is written before its Done flag
// is raised (release) and read after it is seen raised (acquire).
struct TQueue {
  explicit TQueue(int Count) : Errors(Count), Done(Count) {}
  std::vector<std::exception_ptr> Errors;
  std::vector<std::atomic<bool>> Done;
  std::atomic<int> Next{0};
};

void Serve(TQueue& Q, int Worker, const std::function<void(int, int)>& Work) {
  const int Count = static_cast<int>(Q.Done.size());
  for (int Task; (Task = Q.Next.fetch_add(1)) < Count;) {
    try {
      Work(Task, Worker);
    } catch (...) {
      Q.Errors[Task] = std::current_exception();
    }
    Q.Done[Task].store(true, std::memory_order_release);
    Q.Done[Task].notify_one();
  }
}

void FinishInOrder(TQueue& Q, const std::function<void(int)>& Finish) {
  for (int Task = 0; Task < static_cast<int>(Q.Done.size()); ++Task) {
    Q.Done[Task].wait(false, std::memory_order_acquire);
    if (Q.Errors[Task]) std::rethrow_exception(Q.Errors[Task]);
    Finish(Task);
  }
}

}  // namespace

int WorkerCount(unsigned Threads, int Count) {
  if (Threads == 0) Threads = std::max(1u, std::thread::hardware_concurrency());
  return std::max(1, std::min(static_cast<int>(std::min(Threads, 1024u)), Count));
}

void RunInOrder(int Count, int Workers, const std::function<void(int, int)>& Work,
                const std::function<void(int)>& Finish) {
  if (Workers <= 1 || Count <= 1) return RunHere(Count, Work, Finish);
  TQueue Q(Count);
  std::vector<std::jthread> Pool;  // declared after Q: joined before Q goes
  try {
    for (int w = 0; w < Workers; ++w) Pool.emplace_back(Serve, std::ref(Q), w, std::cref(Work));
  } catch (const std::system_error&) {
    // Fewer threads than asked for: the ones started take every task.
  }
  if (Pool.empty()) return RunHere(Count, Work, Finish);
  try {
    FinishInOrder(Q, Finish);
  } catch (...) {
    Q.Next = Count;  // no new tasks; the running ones end before the pool is joined
    throw;
  }
}

}  // namespace varnel
