// SPDX-License-Identifier: Apache-2.0
// Resources on failure paths: every operation that takes a work block or
// opens a file is driven through its failures many times; the sanitizer
// build's LeakSanitizer sees any block not released, and the count of open
// descriptors shows any file left open.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "varnel/core/faults.h"
#include "varnel/korlen.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/message_recorder.h"

namespace varnel {
namespace {

namespace fs = std::filesystem;

int OpenDescriptors() {
  return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

constexpr int kRounds = 40;

TEST(ResourceTest, ManyComponentsOwnedAndUnownedReleaseEverything) {
  const int Before = OpenDescriptors();
  for (int Round = 0; Round < 20; ++Round) {
    TComponent Owner;
    std::vector<TKorlen*> Owned;
    for (int i = 0; i < 10; ++i) Owned.push_back(&CreateOwned<TKorlen>(Owner));
    delete Owned[3];  // destroyed before its owner
    EXPECT_EQ(Owner.ComponentCount(), 9);
    auto Nested = std::make_unique<TKorlen>();
    CreateOwned<TKorlen>(*Nested);  // a component owning a component
    for (int i = 0; i < 10; ++i) TKorlen Alone;
  }
  EXPECT_EQ(OpenDescriptors(), Before);
}

// Runs Call kRounds times, expecting it to fail with a message or an
// exception of the library each time, and no descriptor to stay open.
template <class F>
void FailRepeatedly(const char* Name, F&& Call) {
  const int Before = OpenDescriptors();
  testing::TMessageRecorder Messages;
  int Failures = 0;
  for (int Round = 0; Round < kRounds; ++Round) {
    const std::size_t Shown = Messages.Messages().size();
    try {
      Call();
    } catch (const EVarnelError&) {
      ++Failures;
      continue;
    }
    if (Messages.Messages().size() > Shown) ++Failures;
  }
  EXPECT_EQ(Failures, kRounds) << Name << ": the failure path was not taken";
  EXPECT_EQ(OpenDescriptors(), Before) << Name;
}

class ResourceFailureTest : public ::testing::Test {
 protected:
  TKorlen Korlen;
  TRegressData* X = Korlen.PRegressData;
  std::vector<double> Out = std::vector<double>(MaxObs);
  fs::path Dir;
  fs::path Previous = fs::current_path();

  ResourceFailureTest() {
    Korlen.SetScanData(false);
    testing::Load(Korlen, testing::ExampleData());
    std::string Template = (fs::temp_directory_path() / "varnel-resources-XXXXXX").string();
    if (mkdtemp(Template.data()) != nullptr) Dir = Template;
    fs::current_path(Dir);
  }
  ~ResourceFailureTest() override {
    std::error_code Ignored;
    fs::current_path(Previous, Ignored);
    fs::remove_all(Dir, Ignored);
  }
};

TEST_F(ResourceFailureTest, WorkBlocksAreReleasedWhenTheOperationFails) {
  // n = k + 1 leaves no error degree of freedom: the fits fail after their
  // blocks were taken.
  FailRepeatedly("BVQuadraticRegression", [&] { Korlen.BVQuadraticRegression((*X)[1], Korlen.Y, 3); });
  FailRepeatedly("DummyXYRegression", [&] { Korlen.DummyXYRegression((*X)[1], Korlen.Y, (*X)[2], 4, "T"); });
  FailRepeatedly("MVStdResiduals", [&] { Korlen.MVStdResiduals(X, Korlen.Y, Out, 2, 3); });
  FailRepeatedly("MVStudentResiduals", [&] { Korlen.MVStudentResiduals(X, Korlen.Y, Out, 2, 3); });
  FailRepeatedly("MVCooksDistance", [&] { Korlen.MVCooksDistance(X, Korlen.Y, Out, 2, 3); });
  FailRepeatedly("MVPredictedYCIUpper", [&] { Korlen.MVPredictedYCIUpper(X, Korlen.Y, Out, 2, 3); });
  FailRepeatedly("MVPredictedYPILower", [&] { Korlen.MVPredictedYPILower(X, Korlen.Y, Out, 2, 3); });
  FailRepeatedly("MVInteractionRegression", [&] { Korlen.MVInteractionRegression(X, Korlen.Y, 2, 4, 1, 2); });
  // A constant predictor: no determinant to take the logarithm of.
  for (int t = 0; t < 5; ++t) (*X)[2][t] = 7;
  FailRepeatedly("MaximumLikelihoodDistances", [&] { Korlen.MaximumLikelihoodDistances(X, Out, 2, 5, 1); });
  // A NaN in the data.
  (*X)[1][3] = NAN;
  FailRepeatedly("TransformDataPCAs", [&] { Korlen.TransformDataPCAs(X, 2, 5); });
  FailRepeatedly("MVLeverages", [&] { Korlen.MVLeverages(X, Out, 2, 5); });
  std::vector<double> A{1, 2, NAN, 4};
  FailRepeatedly("SmoothData", [&] { Korlen.SmoothData(A, 4); });
}

TEST_F(ResourceFailureTest, FilesAreClosedWhenReadingOrWritingFails) {
  std::ofstream("vars2.txt", std::ios::binary) << "1 1\r\nx 2\r\n";
  FailRepeatedly("MVStepwiseVarSelection (malformed)",
                 [&] { Korlen.MVStepwiseVarSelection(X, Korlen.Y, 2, 5, 1, 1, "T"); });
  std::ofstream("vars2.txt", std::ios::binary) << "1 1\r\n2 1 2\r\n1 2\r\n";
  FailRepeatedly("MVStepwiseVarSelection (fit)",
                 [&] { Korlen.MVStepwiseVarSelection(X, Korlen.Y, 2, 3, 1, 1, "T"); });
  const std::string Missing = "missing/report.txt";
  FailRepeatedly("KMeansClustering (create)", [&] { Korlen.KMeansClustering(X, 2, 5, 2, 1, Missing); });
  const TVector Min{1, 20}, Max{5, 26};
  FailRepeatedly("ComputeInitialClusterCenters", [&] {
    Korlen.ComputeInitialClusterCenters(Min, Min, Max, 2, 2, Missing);
  });
  TClusterAssignment Assignment{};
  Assignment.fill(1);
  FailRepeatedly("ComputeClusterMeans", [&] { Korlen.ComputeClusterMeans(X, Assignment, 2, 2, 5, Missing); });
  // The report file is open when the vector computations fail on a NaN.
  (*X)[1][2] = NAN;
  FailRepeatedly("KMeansClustering (data)", [&] { Korlen.KMeansClustering(X, 2, 5, 2, 1, "report.txt"); });
}

}  // namespace
}  // namespace varnel
