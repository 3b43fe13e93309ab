// SPDX-License-Identifier: Apache-2.0
#include "varnel/cluster/ordered_tasks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace varnel {
namespace {

// Early tasks take longest, so that with several workers later ones finish
// first. The tasks are finished in task order, each after its work, and the
// failure reported is the first task's that failed, after every task before
// it has finished and none after; no two tasks run at once under one
// worker's number (its workspace).
TEST(OrderedTasksTest, FinishesInTaskOrderAndReportsTheFirstFailure) {
  constexpr int Count = 16;
  for (const int Workers : {1, 4}) {
    std::vector<std::atomic<bool>> Done(Count), Busy(Workers);
    std::atomic<int> Shared{0};
    std::vector<int> Finished;
    const auto Work = [&](int Task, int Worker) {
      if (Busy.at(Worker).exchange(true)) ++Shared;
      std::this_thread::sleep_for(std::chrono::microseconds(300 * (Count - Task)));
      Busy[Worker] = false;
      Done[Task] = true;
      if (Task == 9 || Task == 12) throw std::runtime_error("task " + std::to_string(Task));
    };
    const auto Finish = [&](int Task) {
      EXPECT_TRUE(Done[Task]) << Task << " finished before its work was done";
      Finished.push_back(Task);
    };
    try {
      RunInOrder(Count, Workers, Work, Finish);
      ADD_FAILURE() << "no failure reported";
    } catch (const std::runtime_error& Error) {
      EXPECT_EQ(std::string(Error.what()), "task 9");
    }
    EXPECT_EQ(Finished, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8})) << Workers << " workers";
    EXPECT_EQ(Shared, 0) << Workers << " workers";
  }
}

}  // namespace
}  // namespace varnel
