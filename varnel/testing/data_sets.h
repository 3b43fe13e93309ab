// SPDX-License-Identifier: Apache-2.0
// Data sets shared by the tests: the component's own five-observation
// example, the Longley employment data, and seeded random designs.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "varnel/korlen.h"

namespace varnel::testing {

// A design in observation order: Columns[j][i] is observation i of X(j+1).
struct TDataSet {
  std::vector<std::vector<double>> Columns;
  std::vector<double> Y;
  int K() const { return static_cast<int>(Columns.size()); }
  int N() const { return static_cast<int>(Y.size()); }
};

// X1 = 1..5, X2 = 21, 20, 25, 24, 26, Y = 12, 23, 46, 32, 39.
TDataSet ExampleData();

// The Longley data (16 observations, 6 predictors; Y is total employment).
TDataSet LongleyData();

// R's mtcars (32 observations): Y is mpg, the predictors cyl, disp, hp,
// drat, wt, qsec, vs, am, gear, carb in R's column order.
TDataSet MtcarsData();

// k predictors of n observations: Xj = j × (0.5 + uniform), Y a linear
// combination of the predictors plus noise; the same seed gives the same data.
TDataSet RandomData(int k, int n, std::uint32_t Seed);

// The accuracy classes' data, drawn through the caller's engine and
// distributions (the same draws, in the same order, for the same state):
// y = 12 + Slope·(t − t0) + Noise at t = t0 + Step·i, i < n;
struct TDraws {
  std::mt19937& Engine;
  std::normal_distribution<double>& Noise;      // N(0, 1)
  std::uniform_real_distribution<double>& Unit;  // U(0, 1)
};
TDataSet TimestampData(const TDraws& Draws, double t0, double Step, int n, double Slope);
// two predictors c + u and c/2 + v about a common offset, u, v from Unit,
// y = 3 + 2u − v + 0.1·Noise.
TDataSet OffsetData(const TDraws& Draws, double c, int n);

// A symmetric matrix of order n with entries uniform in [-1, 1]; the same
// seed gives the same matrix.
TMatrix RandomSymmetric(int n, unsigned Seed);

// A vector whose first entries are Values and the rest 0.
TVector Vec(std::initializer_list<long double> Values);

// Writes the data set into rows 1..k of the component's matrix and into Y,
// then calls MVPrepare.
void Load(TKorlen& Korlen, const TDataSet& Data);

}  // namespace varnel::testing
