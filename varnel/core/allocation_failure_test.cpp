// SPDX-License-Identifier: Apache-2.0
// Out of memory as a failure like any other: the test program's allocator
// (testing/failing_allocator) fails the N-th allocation from now, or every
// allocation from the N-th on. Every public operation is swept over every N
// until it runs to its end; a guarded operation must show its message and
// return, never let std::bad_alloc out.
#include <gtest/gtest.h>

#include <new>
#include <set>
#include <string>

#include "varnel/core/faults.h"
#include "varnel/core/messages.h"
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
    long After = 0;
    for (; After < 5000; ++After) {
      TInputs Inputs;
      const TScopedMessageHandler Quiet([](const TMessage&) {});
      if (!RunFailingAt(Operation, Inputs, After, Always, Escaped) || Escaped) break;
    }
    EXPECT_FALSE(Escaped) << Operation.first << ": std::bad_alloc escaped at allocation " << After + 1;
    EXPECT_LT(After, 5000) << Operation.first;
  }
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
