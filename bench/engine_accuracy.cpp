// SPDX-License-Identifier: Apache-2.0
// The README's accuracy classes at 1,000,000 rows, fitted by the engine
// (moments merged from batches on two threads, SSE from the residual pass)
// and judged against the binary128 QR reference on the same doubles: per
// class the fewest significant digits any of coefficients, standard errors,
// t, sigma, R², F and SSE keeps, and what one unit in the last place of the
// data moves the reference fit. Prints a Markdown table; takes minutes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>

#include "varnel/engine.h"
#include "varnel/testing/data_sets.h"
#include "varnel/testing/quad_reference.h"

namespace {

using varnel::testing::TDataSet;
using varnel::testing::TQuadFit;

constexpr int kRows = 1000000;

double DigitsOf(long double a, long double b) {
  if (a == b) return 20;
  return static_cast<double>(-std::log10(std::fabs(a - b) / std::fabs(b)));
}

// The fewest digits of the fields the tool reports, against a reference.
double Least(const std::vector<long double>& Beta, const std::vector<long double>& StdErr,
             const std::vector<long double>& T, long double Sigma, long double R2, long double F, long double Sse,
             const TQuadFit& Ref) {
  double b = 20, s = 20;
  for (std::size_t j = 0; j < Ref.Beta.size(); ++j) {
    b = std::min(b, DigitsOf(Beta[j], Ref.Beta[j]));
    s = std::min({s, DigitsOf(StdErr[j], Ref.StdErr[j]), DigitsOf(T[j], Ref.TCalc[j])});
  }
  if (std::getenv("VARNEL_FIELDS"))
    std::fprintf(stderr, "beta %.1f se/t %.1f sigma %.1f r2 %.1f F %.1f sse %.1f\n", b, s, DigitsOf(Sigma, Ref.RMSE),
                 DigitsOf(R2, Ref.R2), DigitsOf(F, Ref.F), DigitsOf(Sse, Ref.SSE));
  return std::min({b, s, DigitsOf(Sigma, Ref.RMSE), DigitsOf(R2, Ref.R2), DigitsOf(F, Ref.F), DigitsOf(Sse, Ref.SSE)});
}

double EngineDigits(const TDataSet& D, const TQuadFit& Ref) {
  std::vector<std::vector<double>> Columns = D.Columns;
  Columns.push_back(D.Y);
  const varnel::engine::TBatch Data = varnel::engine::MakeBatch(Columns);
  varnel::engine::TFit Fit = varnel::engine::Solve(varnel::engine::Accumulate(Data, 2));
  if (varnel::engine::WorthRefining(Fit)) Fit = varnel::engine::Refined(Fit, Data, 2);
  const varnel::engine::TInference I = varnel::engine::Infer(Fit, varnel::engine::StreamedSse(Fit, Data, 2));
  return Least(Fit.Coef, I.StdErr, I.T, I.Sigma, I.R2, I.F.value_or(0), I.Sse, Ref);
}

double DeterminedDigits(TDataSet D, const TQuadFit& Ref, std::mt19937& Engine) {
  std::bernoulli_distribution Up;
  const auto Move = [&](double& v) { v = std::nextafter(v, Up(Engine) ? HUGE_VAL : -HUGE_VAL); };
  for (auto& Column : D.Columns) std::for_each(Column.begin(), Column.end(), Move);
  std::for_each(D.Y.begin(), D.Y.end(), Move);
  const TQuadFit Moved = varnel::testing::QuadLeastSquares(D);
  return Least(Moved.Beta, Moved.StdErr, Moved.TCalc, Moved.RMSE, Moved.R2, Moved.F, Moved.SSE, Ref);
}

struct TClass {
  std::string Name;
  std::function<TDataSet(std::mt19937&)> Make;
};

TDataSet Random(std::mt19937& Engine, int k) {
  std::normal_distribution<double> Noise;
  TDataSet D;
  D.Columns.assign(static_cast<std::size_t>(k), std::vector<double>(kRows));
  D.Y.resize(kRows);
  for (int i = 0; i < kRows; ++i) {
    double y = Noise(Engine);
    for (int j = 0; j < k; ++j) y += (j + 1) * (D.Columns[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)] = Noise(Engine));
    D.Y[static_cast<std::size_t>(i)] = y;
  }
  return D;
}

// The accuracy tests' classes, at a million rows.
TDataSet Timestamps(std::mt19937& Engine, double t0, double Step, double Slope) {
  std::normal_distribution<double> Noise;
  std::uniform_real_distribution<double> Unit;
  return varnel::testing::TimestampData({Engine, Noise, Unit}, t0, Step, kRows, Slope);
}

TDataSet Offset(std::mt19937& Engine, double c) {
  std::normal_distribution<double> Noise;
  std::uniform_real_distribution<double> Unit;
  return varnel::testing::OffsetData({Engine, Noise, Unit}, c, kRows);
}

// x = 0..20 over and over; columns x .. x^5, y = Σ (j + 1)·x^j + Size·noise.
TDataSet Quintic(std::mt19937& Engine, double Size) {
  std::normal_distribution<double> Noise;
  TDataSet D;
  D.Columns.assign(5, {});
  for (int i = 0; i < kRows; ++i) {
    const double x = i % 21;
    double y = 1, Power = 1;
    for (int j = 1; j <= 5; ++j) {
      Power *= x;
      D.Columns[static_cast<std::size_t>(j - 1)].push_back(Power);
      y += (j + 1) * Power;
    }
    D.Y.push_back(y + Size * Noise(Engine));
  }
  return D;
}

TDataSet Collinear(std::mt19937& Engine, double Gap) {
  std::uniform_real_distribution<double> Unit;
  std::normal_distribution<double> Noise;
  TDataSet D;
  D.Columns.assign(2, {});
  for (int i = 0; i < kRows; ++i) {
    const double x = Unit(Engine);
    D.Columns[0].push_back(x);
    D.Columns[1].push_back(x + Gap * Unit(Engine));
    D.Y.push_back(1 + x + 0.01 * Noise(Engine));
  }
  return D;
}

// Longley's 16 rows, repeated to a million.
TDataSet Longley(std::mt19937&) {
  const TDataSet L = varnel::testing::LongleyData();
  TDataSet D;
  D.Columns.assign(L.Columns.size(), {});
  for (int i = 0; i < kRows; ++i) {
    const auto r = static_cast<std::size_t>(i % L.N());
    for (std::size_t j = 0; j < L.Columns.size(); ++j) D.Columns[j].push_back(L.Columns[j][r]);
    D.Y.push_back(L.Y[r]);
  }
  return D;
}

}  // namespace

int main() {
  const TClass Classes[] = {
      {"well-conditioned random data (k = 8)", [](std::mt19937& e) { return Random(e, 8); }},
      {"timestamps in seconds (1.7e9 + 60 i)", [](std::mt19937& e) { return Timestamps(e, 1.7e9, 60, 1e-6); }},
      {"timestamps in milliseconds (1.7e12 + 1000 i)", [](std::mt19937& e) { return Timestamps(e, 1.7e12, 1000, 1e-9); }},
      {"Longley, repeated", Longley},
      {"offset 1e4 × the spread", [](std::mt19937& e) { return Offset(e, 1e4); }},
      {"offset 1e6 × the spread", [](std::mt19937& e) { return Offset(e, 1e6); }},
      {"offset 1e8 × the spread", [](std::mt19937& e) { return Offset(e, 1e8); }},
      {"offset 1e9 × the spread", [](std::mt19937& e) { return Offset(e, 1e9); }},
      {"degree-5 polynomial, noise 1e-2", [](std::mt19937& e) { return Quintic(e, 1e-2); }},
      {"degree-5 polynomial, noise 1", [](std::mt19937& e) { return Quintic(e, 1); }},
      {"near-collinear pair, gap 1/3,000", [](std::mt19937& e) { return Collinear(e, 1.0 / 3000); }},
      {"near-collinear pair, gap 1/30,000", [](std::mt19937& e) { return Collinear(e, 1.0 / 30000); }},
  };
  std::printf("| data (1,000,000 rows) | digits kept | data determine |\n|---|---|---|\n");
  const char* Only = std::getenv("VARNEL_CLASS");  // a part of the names of the classes to run
  for (const TClass& Class : Classes) {
    if (Only && Class.Name.find(Only) == std::string::npos) continue;
    std::mt19937 Engine(20261210);
    const TDataSet D = Class.Make(Engine);
    const TQuadFit Ref = varnel::testing::QuadLeastSquares(D);
    const double Kept = EngineDigits(D, Ref), Determined = DeterminedDigits(D, Ref, Engine);
    std::printf("| %s | %.1f | %.1f |\n", Class.Name.c_str(), Kept, Determined);
    std::fflush(stdout);
  }
  return 0;
}
