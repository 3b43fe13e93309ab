// SPDX-License-Identifier: Apache-2.0
// Out of memory as a failure like any other: the test program's allocator
// (testing/failing_allocator) fails the N-th allocation from now, or every
// allocation from the N-th on. Every public operation is swept over every N
// until it runs to its end; a guarded operation must show its message
// through the application's handler and return, never let std::bad_alloc
// out.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <unistd.h>
#include <set>
#include <string>

#include "varnel/core/faults.h"
#include "varnel/core/messages.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/every_operation.h"
#include "varnel/testing/failing_allocator.h"

namespace varnel {
namespace {

using testing::EveryOperation;
using testing::TInputs;

// The operations (or groups of them) that pass an exhausted heap on to the
// caller, as they pass on every other fault: the unguarded ones.
const std::set<std::string> kUnguarded = {
    "Matrices", "TransformDataPCAs", "Univariate" /* GetMedian */, "BVQuadraticRegression", "MVRegression",
    "CrossProducts", "MVLeverages", "DummyXYRegression", "MVStepwiseForward", "MVStepwiseBackward",
    "MVOptimalForwardModel", "Texts"};

// Runs the operation with allocation After + 1 failing (and every one after
// it when Sustained). Returns whether the failure was reached, and records
// an escaped bad_alloc.
bool RunFailingAt(const testing::TOperation& Operation, TInputs& Inputs, long After, bool Always, bool& Escaped) {
  testing::FailAllocationAfter(After, Always);
  try {
    Operation.second(Inputs);
  } catch (const std::bad_alloc&) {
    Escaped = true;
  } catch (const std::exception&) {
  }
  return testing::StopFailingAllocations();
}

class AllocationFailureTest : public ::testing::TestWithParam<bool> {};

TEST_P(AllocationFailureTest, GuardedOperationsShowTheirMessageInsteadOfThrowing) {
  const bool Always = GetParam();
  for (const testing::TOperation& Operation : EveryOperation()) {
    if (kUnguarded.count(Operation.first)) continue;
    bool Escaped = false;
    long After = 0, Unheard = -1;
    for (; After < 5000; ++After) {
      TInputs Inputs;
      int Heard = 0;  // the handler allocates nothing: it may run with no memory left
      const TScopedMessageHandler Counting([&Heard](const TMessage&) { ++Heard; });
      if (!RunFailingAt(Operation, Inputs, After, Always, Escaped) || Escaped) break;
      if (Heard == 0 && Unheard < 0) Unheard = After;
    }
    EXPECT_FALSE(Escaped) << Operation.first << ": std::bad_alloc escaped at allocation " << After + 1;
    EXPECT_LT(After, 5000) << Operation.first;
    EXPECT_EQ(Unheard, -1) << Operation.first << ": allocation " << Unheard + 1 << " failed and the handler heard nothing";
  }
}

// The selection reads its combinations from a file in the working folder
// and returns its report by value: no allocation on the way out may fail
// past its guard.
TEST_P(AllocationFailureTest, StepwiseSelectionFromAFileKeepsOutOfMemoryInside) {
  namespace fs = std::filesystem;
  const fs::path Previous = fs::current_path();
  const fs::path Dir = fs::temp_directory_path() / ("varnel-selection-" + std::to_string(::getpid()));
  fs::create_directories(Dir);
  fs::current_path(Dir);
  std::ofstream("vars2.txt", std::ios::binary) << "1 1\r\n1 2\r\n2 1 2\r\n";
  TKorlen Korlen;
  Korlen.SetScanData(false);
  testing::Load(Korlen, testing::RandomData(2, 30, 5));
  const std::string Whole = Korlen.MVStepwiseVarSelection(Korlen.PRegressData, Korlen.Y, 2, 30, 0.5f, 0.5f, "T");
  EXPECT_NE(Whole.find("Model#"), std::string::npos) << Whole;
  long After = 0;
  for (; After < 5000; ++After) {
    int Heard = 0;
    const TScopedMessageHandler Counting([&Heard](const TMessage&) { ++Heard; });
    std::string Report;
    bool Escaped = false;
    testing::FailAllocationAfter(After, GetParam());
    try {
      Report = Korlen.MVStepwiseVarSelection(Korlen.PRegressData, Korlen.Y, 2, 30, 0.5f, 0.5f, "T");
    } catch (const std::bad_alloc&) {
      Escaped = true;
    }
    if (!testing::StopFailingAllocations()) break;
    ASSERT_FALSE(Escaped) << "std::bad_alloc escaped at allocation " << After + 1;
    EXPECT_TRUE(Report.empty() ? Heard == 1 : Report == Whole) << "allocation " << After + 1;
  }
  EXPECT_GT(After, 10);
  EXPECT_LT(After, 5000);
  fs::current_path(Previous);
  fs::remove_all(Dir);
}

INSTANTIATE_TEST_SUITE_P(OnceAndSustained, AllocationFailureTest, ::testing::Bool());

TEST(HotPathTest, UnivariateStatisticsAllocateNothing) {
  TInputs Inputs;
  TKorlen& K = *Inputs.Korlen;
  testing::FailAllocationAfter(0, true);  // the first allocation would fail
  const Extended Sum = K.GetSum(Inputs.A, 60), Mean = K.GetMean(Inputs.A, 60);
  const Extended Variance = K.GetVariance(Inputs.A, 60), Cv = K.GetCoefficientOfVariation(Inputs.A, 60);
  const Extended Min = K.GetMin(Inputs.A, 60), Max = K.GetMax(Inputs.A, 60);
  EXPECT_FALSE(testing::StopFailingAllocations());
  EXPECT_NE(Sum * Mean * Variance * Cv * Min * Max, 0);
}

}  // namespace
}  // namespace varnel
