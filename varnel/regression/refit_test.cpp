// SPDX-License-Identifier: Apache-2.0
// The leverages formed four observations at a time against the plain loop
// over one observation at a time, both in the shifted design: the same bits,
// whatever n is modulo four.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "varnel/core/checked.h"
#include "varnel/korlen.h"
#include "varnel/regression/refit.h"

namespace varnel {
namespace {

std::vector<double> PlainLeverages(const TShiftedInverse& S, int k, int n) {
  std::vector<double> H(n);
  for (int i = 0; i < n; ++i) {
    double T[MaxVars + 1];
    for (int j = 0; j <= k; ++j) {
      Extended s = 0;
      for (int m = 0; m <= k; ++m) s += S.G[j][m] * S.Row(m)[i];
      T[j] = ToDouble(s);
    }
    Extended h = 0;
    for (int j = 0; j <= k; ++j) h += Extended(T[j]) * S.Row(j)[i];
    H[i] = ToDouble(h);
  }
  return H;
}

TEST(LeveragesFromInverseTest, MatchesOneObservationAtATimeBitForBit) {
  TKorlen Korlen;
  std::mt19937 Engine(29);
  std::normal_distribution<double> Exponent(0, 4);
  std::uniform_real_distribution<double> Unit(-1, 1);
  for (const auto& [k, n] : {std::pair{1, 3}, std::pair{2, 5}, std::pair{5, 7}, std::pair{7, 102}, std::pair{24, 999}}) {
    auto X = std::make_unique<TRegressData>();
    for (int j = 1; j <= k; ++j) {
      for (int i = 0; i < n; ++i) (*X)[j][i] = Unit(Engine) * std::exp(Exponent(Engine));
    }
    (*X)[0].fill(1.0);
    const TShiftedInverse Inv = ShiftedInverse(*X, k, n);
    std::vector<double> H(n + 1, -7.0);
    LeveragesFromInverse(Inv, k, n, H);
    const std::vector<double> Plain = PlainLeverages(Inv, k, n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(H[i], Plain[i]) << "k " << k << " n " << n << " i " << i;
    EXPECT_EQ(H[n], -7.0) << "written past n";
  }
}

// The confidence limits, whose x · Inv is formed four observations at a time,
// against the same steps taken one observation at a time.
TEST(LeveragesFromInverseTest, ConfidenceLimitsMatchOneObservationAtATime) {
  TKorlen Korlen;
  Korlen.SetScanData(false);
  std::mt19937 Engine(31);
  std::normal_distribution<double> Noise(0, 1);
  for (const auto& [k, n] : {std::pair{1, 3}, std::pair{3, 6}, std::pair{8, 103}, std::pair{24, 401}}) {
    for (int j = 1; j <= k; ++j) {
      for (int i = 0; i < n; ++i) (*Korlen.PRegressData)[j][i] = j + Noise(Engine) * std::exp(Noise(Engine));
    }
    for (int i = 0; i < n; ++i) Korlen.Y[i] = Noise(Engine);
    Korlen.MVPrepare();
    const TRegressData& X = *Korlen.PRegressData;
    std::vector<double> Upper(MaxObs);
    Korlen.MVPredictedYCIUpper(Korlen.PRegressData, Korlen.Y, Upper, k, n);
    const TMultStatRec R = Korlen.MVRegression(Korlen.PRegressData, Korlen.Y, k, n);
    const TShiftedInverse Inv = ShiftedInverse(X, k, n);
    const Extended t = Korlen.TTableValue2(n - (k + 1));
    for (int i = 0; i < n; ++i) {
      Extended q = 0;
      for (int j = 0; j <= k; ++j) {
        Extended r = 0;
        for (int m = 0; m <= k; ++m) r += Inv.Row(m)[i] * Inv.G[m][j];
        q += r * Inv.Row(j)[i];
      }
      const double Fitted = ToDouble(FittedValue(R, X, i));
      EXPECT_EQ(Upper[i], ToDouble(Fitted + t * (Sqrt(q) * Sqrt(R.MSE)))) << "k " << k << " n " << n << " i " << i;
    }
  }
}

}  // namespace
}  // namespace varnel
