// SPDX-License-Identifier: Apache-2.0
#include "streamed_analyses.h"

#include <cmath>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

#include <varnel/describe/moments.h>
#include <varnel/dist/distributions.h>

#include <algorithm>

#include "analysis_tables.h"
#include "cluster_errors.h"
#include "models/saved_model.h"
#include "output.h"

namespace varnel::cli {
namespace {

using engine::TBatch;
using engine::TFit;
using engine::TMoments;

// Σe², and Σ(e_t − e_{t−1})² over consecutive complete rows, of a run of
// rows; two runs join across their edge, so that the merged sums are the
// whole file's whatever the blocks.
struct TResidualSums {
  long double Sse = 0, Differences = 0, First = 0, Last = 0;
  bool Any = false;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    for (auto* Member : {&S.Sse, &S.Differences, &S.First, &S.Last}) Each(*Member);
    Each(S.Any);
  }
  void Add(long double e) {
    Sse += e * e;
    if (Any) Differences += (e - Last) * (e - Last);
    if (!Any) First = e;
    Last = e;
    Any = true;
  }
  void Merge(const TResidualSums& Other) {
    if (!Other.Any) return;
    if (!Any) {
      *this = Other;
      return;
    }
    Sse += Other.Sse;
    Differences += Other.Differences + (Other.First - Last) * (Other.First - Last);
    Last = Other.Last;
  }
};

TResidualSums ResidualsOf(const TFit& Fit, const TBatch& Batch) {
  TResidualSums Sums;
  std::vector<double> Row(Batch.Cols());
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (CompleteRow(Batch, i, Row)) Sums.Add(Fit.Residual(Row));
  }
  return Sums;
}

// A weighted fit's residuals: Σ w e², and the plain sums of every complete
// row, zero weights too, as car's durbinWatsonTest takes lm's residuals.
struct TWeightedResiduals {
  TResidualSums Plain;
  long double Sse = 0;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.Plain);
    Each(S.Sse);
  }
  void Merge(const TWeightedResiduals& Other) {
    Plain.Merge(Other.Plain);
    Sse += Other.Sse;
  }
};

// The batch holds the weights last, after the response and any key.
TWeightedResiduals WeightedResidualsOf(const TFit& Fit, const TBatch& Batch) {
  TWeightedResiduals Sums;
  std::vector<double> Row(Batch.Cols());
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!CompleteRow(Batch, i, Row)) continue;
    const long double e = Fit.Residual(Row);
    Sums.Plain.Add(e);
    Sums.Sse += Row.back() * e * e;
  }
  return Sums;
}

// Σ dd' of the differences d of consecutive complete rows, whose quadratic
// form in (−β, 1) is Durbin-Watson's numerator; a run's first and last
// complete rows join it to the runs on either side. Within a block the
// products are summed in double (the differences are near zero on average,
// so nothing cancels there), then carried in long double.
struct TDifferences {
  std::size_t P = 0, Count = 0;
  std::vector<long double> Cross;   // P × P, lower triangle
  std::vector<double> First, Last;  // empty when the run has no complete row
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.P);
    Each(S.Count);
    Each(S.Cross);
    Each(S.First);
    Each(S.Last);
  }

  void AddEdge(const std::vector<double>& From, const std::vector<double>& To) {
    for (std::size_t j = 0; j < P; ++j) {
      for (std::size_t k = 0; k <= j; ++k)
        Cross[j * P + k] += (static_cast<long double>(To[j]) - From[j]) * (static_cast<long double>(To[k]) - From[k]);
    }
    ++Count;
  }
  void Merge(const TDifferences& Other) {
    if (Other.First.empty()) return;
    if (First.empty()) {
      *this = Other;
      return;
    }
    AddEdge(Last, Other.First);
    for (std::size_t i = 0; i < Cross.size(); ++i) Cross[i] += Other.Cross[i];
    Count += Other.Count;
    Last = Other.Last;
  }
};

TDifferences DifferencesOf(const TBatch& Batch) {
  const std::size_t P = Batch.Cols();
  TDifferences D{P, 0, std::vector<long double>(P * P), {}, {}};
  std::vector<double> Sums(P * P), Row(P), d(P);
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!CompleteRow(Batch, i, Row)) continue;
    if (D.First.empty()) {
      D.First = D.Last = Row;
      continue;
    }
    for (std::size_t j = 0; j < P; ++j) d[j] = Row[j] - D.Last[j];
    for (std::size_t j = 0; j < P; ++j) {
      for (std::size_t k = 0; k <= j; ++k) Sums[j * P + k] += d[j] * d[k];
    }
    D.Last.swap(Row);
    Row.resize(P);
    ++D.Count;
  }
  for (std::size_t i = 0; i < Sums.size(); ++i) D.Cross[i] = Sums[i];
  return D;
}

// The moments of every block's batch (P columns), merged in tree order.
TMoments MomentsOf(TStreamedData& Data, std::size_t P) {
  return Data.Reduce<TMoments>([P](const TBatch& Batch) {
    TMoments Part(P);
    Part.Add(Batch);
    return Part;
  });
}

// The weighted moments of a batch's P columns, by its last column (the
// weights, after the response and any key).
TMoments WeightedMoments(const TBatch& Batch, std::size_t P) {
  TMoments Part(P);
  TBatch Model = Batch;
  Model.Columns.resize(P);
  Part.Add(Model, Batch.Columns.back());
  return Part;
}

// What one pass gives a fit: the moments of [X y] and of their differences.
struct TRegressionSums {
  TMoments Moments;
  TDifferences Differences;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.Moments);
    Each(S.Differences);
  }
  void Merge(const TRegressionSums& Other) {
    Moments.Merge(Other.Moments);
    Differences.Merge(Other.Differences);
  }
};

// Σ(Δy − Δx'β)² over consecutive complete rows: the intercept cancels in
// the differences, an aliased predictor weighs nothing.
long double DifferenceSquares(const TFit& Fit, const TDifferences& D) {
  if (D.Count == 0) return 0;
  const std::size_t P = Fit.K + 1;
  std::vector<long double> w(P);
  w[Fit.K] = 1;
  for (std::size_t k = 0; k < Fit.Kept.size(); ++k) w[Fit.Kept[k]] = -Fit.Coef[k + (Fit.Intercept ? 1 : 0)];
  long double Sum = 0;
  for (std::size_t a = 0; a < P; ++a) {
    for (std::size_t b = 0; b < a; ++b) Sum += 2 * w[a] * w[b] * D.Cross[a * P + b];
    Sum += w[a] * w[a] * D.Cross[a * P + a];
  }
  return Sum;
}

// sandwich counts a weighted lm's rows of weight 0 in its n, and its HC2
// to HC4 then pair residuals with the hat values of other rows: robust
// errors of such a fit are refused.
TInputError ZeroWeightsRefused(std::size_t Count, const std::string& Option) {
  return TInputError(Option + " with --weights takes no weight of 0 (" + std::to_string(Count) +
                     " here): give those rows a missing weight to leave them out");
}

// The residual sum of squares from the moments keeps 15 or more digits
// while it is not below this share of the total (long double carries 19);
// below it the residuals are formed in a second pass.
constexpr long double kMomentSseShare = 1e-3L;

// The determinant of the submatrix of A (p × p) on the indices Of.
long double SubDeterminant(const std::vector<long double>& A, std::size_t p, const std::vector<std::size_t>& Of) {
  const std::size_t m = Of.size();
  std::vector<long double> S(m * m);
  for (std::size_t a = 0; a < m; ++a) {
    for (std::size_t b = 0; b < m; ++b) S[a * m + b] = A[Of[a] * p + Of[b]];
  }
  long double Det = 1;
  for (std::size_t j = 0; j < m; ++j) {  // Gaussian elimination with partial pivoting
    std::size_t Pivot = j;
    for (std::size_t i = j + 1; i < m; ++i) {
      if (std::fabs(S[i * m + j]) > std::fabs(S[Pivot * m + j])) Pivot = i;
    }
    if (S[Pivot * m + j] == 0) return 0;
    if (Pivot != j) {
      for (std::size_t k = 0; k < m; ++k) std::swap(S[j * m + k], S[Pivot * m + k]);
      Det = -Det;
    }
    Det *= S[j * m + j];
    for (std::size_t i = j + 1; i < m; ++i) {
      const long double f = S[i * m + j] / S[j * m + j];
      for (std::size_t k = j; k < m; ++k) S[i * m + k] -= f * S[j * m + k];
    }
  }
  return Det;
}

// The correlation matrix of the kept predictors and its inverse: VIF_j is
// the inverse's diagonal, and a term's GVIF det(R_tt)·det((R⁻¹)_tt), which
// is car::vif's det(R_tt)·det(R_oo)/det(R) without a determinant of the
// other terms for each term.
struct TCollinearity {
  std::vector<long double> R, Inverse;
  std::size_t p = 0;
  bool Valid = false;
};

TCollinearity CollinearityOf(const TMoments& State, const std::vector<std::size_t>& Kept) {
  TCollinearity C;
  C.p = Kept.size();
  C.R.resize(C.p * C.p);
  for (std::size_t a = 0; a < C.p; ++a) {
    for (std::size_t b = 0; b < C.p; ++b) {
      const long double Caa = State.CoMoment(Kept[a], Kept[a]), Cbb = State.CoMoment(Kept[b], Kept[b]);
      C.R[a * C.p + b] = State.CoMoment(Kept[a], Kept[b]) / std::sqrt(Caa * Cbb);
    }
  }
  std::vector<long double> L = C.R;
  C.Valid = engine::CholeskyFactor(L, C.p);
  if (C.Valid) C.Inverse = engine::InverseFromCholesky(L, C.p);
  return C;
}

std::vector<TCell> CoefficientRow(const std::string& Term, long double Estimate, long double StdErr, long double T,
                                  double P, double Quantile, const TCell& VIF) {
  return {Term, Number(Estimate), Number(StdErr), Number(T), P, Number(Estimate - Quantile * StdErr),
          Number(Estimate + Quantile * StdErr), VIF};
}

TResultTable CoefficientTable(const TStreamedData& Data, const TFit& Fit, const engine::TInference& I,
                              const TCollinearity& C, const TOptions& Options) {
  TResultTable Table = EmptyCoefficientsTable(Options.Level);
  const double Quantile = StudentTQuantile((1 - Options.Level) / 2, static_cast<double>(Fit.DfResidual), TTail::Upper);
  std::size_t s = 0;
  if (Fit.Intercept) {
    Table.Rows.push_back(CoefficientRow(std::string(kConstantTerm), Fit.Coef[0], I.StdErr[0], I.T[0], I.P[0], Quantile, {}));
    s = 1;
  }
  std::vector<std::size_t> TermSize(Data.TermNames().size());
  for (int t : Data.TermOf()) ++TermSize[static_cast<std::size_t>(t)];
  std::size_t k = 0;
  for (std::size_t j = 0; j < Data.K(); ++j) {
    if (k < Fit.Kept.size() && Fit.Kept[k] == j) {
      // A dummy of a factor of more than two levels has no VIF of its own.
      const bool Alone = TermSize[static_cast<std::size_t>(Data.TermOf()[j])] == 1;
      const TCell VIF = Alone && C.Valid ? Number(C.Inverse[k * C.p + k]) : TCell{};
      Table.Rows.push_back(CoefficientRow(Data.XNames()[j], Fit.Coef[s], I.StdErr[s], I.T[s], I.P[s], Quantile, VIF));
      ++s;
      ++k;
    } else {
      std::vector<TCell> Row(Table.Columns.size());
      Row[0] = Data.XNames()[j];
      Table.Rows.push_back(Row);
    }
  }
  return Table;
}

TResultTable TermsTable(const TStreamedData& Data, const TFit& Fit, const TCollinearity& C) {
  TResultTable Table = EmptyTermsTable();
  std::vector<std::vector<std::size_t>> Members(Data.TermNames().size());
  for (std::size_t k = 0; k < Fit.Kept.size(); ++k) Members[static_cast<std::size_t>(Data.TermOf()[Fit.Kept[k]])].push_back(k);
  for (std::size_t t = 0; t < Members.size(); ++t) {
    if (Members[t].empty()) continue;
    const long double GVIF = C.Valid ? SubDeterminant(C.R, C.p, Members[t]) * SubDeterminant(C.Inverse, C.p, Members[t])
                                     : NAN;
    const auto df = static_cast<long long>(Members[t].size());
    Table.Rows.push_back({Data.TermNames()[t], Count(df), Number(GVIF), Number(std::pow(GVIF, 1.0L / (2 * df)))});
  }
  return Table;
}

TResultTable ModelTable(const TFit& Fit, const engine::TInference& I, long double DurbinWatson) {
  const long double F = I.F ? *I.F : NAN;
  const double FP = I.FP ? *I.FP : NAN;
  TResultTable Table = EmptyModelTable(Fit.Intercept);
  Table.Rows = {{Number(I.R2), Number(I.AdjR2), Number(I.Sigma), Number(F), FP, Count(static_cast<long long>(I.DfModel)),
                 Count(static_cast<long long>(I.DfResidual)), Count(static_cast<long long>(Fit.N)), Number(I.LogLik),
                 Number(I.AIC), Number(I.BIC), Number(I.Sse), Number(DurbinWatson)}};
  return Table;
}

// The complete rows' values of every column, in row order, with each
// column's missing cells: describe's quartiles and lag-1 autocorrelation
// need every value, so memory grows as 8 bytes a value.
struct TColumnValues {
  std::vector<std::vector<double>> Values;
  std::vector<long long> Missing;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.Values);
    Each(S.Missing);
  }
  void Merge(const TColumnValues& Other) {
    if (Values.empty()) {
      *this = Other;
      return;
    }
    for (std::size_t j = 0; j < Values.size(); ++j) {
      Values[j].insert(Values[j].end(), Other.Values[j].begin(), Other.Values[j].end());
      Missing[j] += Other.Missing[j];
    }
  }
};

TColumnValues ValuesOf(const TBatch& Batch) {
  const std::size_t P = Batch.Cols();
  TColumnValues V{std::vector<std::vector<double>>(P), std::vector<long long>(P)};
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    bool Complete = true;
    for (std::size_t j = 0; j < P; ++j) {
      const bool Missing = std::isnan(Batch.Columns[j][i]);
      V.Missing[j] += Missing;
      Complete = Complete && !Missing;
    }
    if (!Complete) continue;
    for (std::size_t j = 0; j < P; ++j) V.Values[j].push_back(Batch.Columns[j][i]);
  }
  return V;
}

// R's quantile of type 7 of sorted values.
double Quantile(const std::vector<double>& Sorted, double p) {
  const double h = static_cast<double>(Sorted.size() - 1) * p;
  const auto Low = static_cast<std::size_t>(std::floor(h));
  if (Low + 1 >= Sorted.size()) return Sorted.back();
  return Sorted[Low] + (h - static_cast<double>(Low)) * (Sorted[Low + 1] - Sorted[Low]);
}

// R's acf at lag 1: Σ (x_t − x̄)(x_{t+1} − x̄) / Σ (x_t − x̄)².
long double Lag1(const std::vector<double>& x, long double Mean) {
  long double Across = 0, Squares = 0;
  for (std::size_t t = 0; t < x.size(); ++t) {
    const long double d = x[t] - Mean;
    Squares += d * d;
    if (t + 1 < x.size()) Across += d * (x[t + 1] - Mean);
  }
  return Across / Squares;
}

std::vector<TCell> VariableRow(const std::string& Name, const std::vector<double>& x, long double Variance,
                               long long Missing) {
  long double Sum = 0;
  for (double v : x) Sum += v;
  const auto n = static_cast<long double>(x.size());
  const long double Mean = Sum / n, Sd = std::sqrt(Variance);
  std::vector<double> Sorted = x;
  std::sort(Sorted.begin(), Sorted.end());
  const TShapeMoments Shape = ShapeMoments(x);
  const double Min = Sorted.front(), Max = Sorted.back();
  return {Name, Count(static_cast<long long>(x.size())), Number(Sum), Min, Max, Number(static_cast<long double>(Max) - Min),
          Number(Mean), Number(Sd), Number(Variance), Number(Shape.Skew), Number(Shape.Kurtosis),
          Number(Shape.Excess), Number(Mean != 0 ? 100 * Sd / std::fabs(Mean) : NAN), Quantile(Sorted, 0.25),
          Quantile(Sorted, 0.5), Quantile(Sorted, 0.75), Number(Lag1(x, Mean)), Count(Missing)};
}

// Correlations (NaN for a column without spread, as R's cor gives NA) or
// covariances of the first K columns of a state.
TResultTable PredictorMatrix(const TStreamedData& Data, const TMoments& State, bool Correlation) {
  const std::size_t K = Data.K();
  TResultTable Table{Correlation ? "correlation" : "covariance",
                     std::string(Correlation ? "Correlation" : "Covariance") + " matrix of the predictors",
                     {"variable"}, {}, {}};
  Table.Columns.insert(Table.Columns.end(), Data.XNames().begin(), Data.XNames().end());
  const long double n1 = static_cast<long double>(State.Count()) - 1;
  for (std::size_t a = 0; a < K; ++a) {
    std::vector<TCell> Row{Data.XNames()[a]};
    for (std::size_t b = 0; b < K; ++b) {
      const long double C = State.CoMoment(a, b);
      const long double Spread = State.CoMoment(a, a) * State.CoMoment(b, b);
      Row.push_back(Correlation ? Number(Spread > 0 ? C / std::sqrt(Spread) : NAN) : Number(C / n1));
    }
    Table.Rows.push_back(std::move(Row));
  }
  return Table;
}

// A complete row's deviations about the means, each formed about the
// column's shift, over the scale: what the scores are sums of.
void Deviations(const TMoments& State, const engine::TComponents& Rec, const std::vector<double>& Row,
                std::vector<long double>& d) {
  for (std::size_t v = 0; v < Rec.K; ++v)
    d[v] = ((static_cast<long double>(Row[v]) - State.Shift(v)) - State.MeanAboutShift(v)) / Rec.Scale[v];
}

double Score(const engine::TComponents& Rec, const std::vector<long double>& d, std::size_t c) {
  long double s = 0;
  for (std::size_t v = 0; v < Rec.K; ++v) s += d[v] * Rec.Rotation[v][c];
  return static_cast<double>(s);
}

// The scores of the complete rows of a batch: Σᵥ (x − x̄ᵥ)·rotation[v][j]/scaleᵥ
// in long double.
std::vector<double> ScoreRows(const TMoments& State, const engine::TComponents& Rec, const TBatch& Batch) {
  const std::size_t K = Rec.K;
  std::vector<double> Rows, Row(Batch.Cols());
  std::vector<long double> d(K);
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!CompleteRow(Batch, i, Row)) continue;
    Deviations(State, Rec, Row, d);
    Rows.push_back(static_cast<double>(Batch.FirstRow + i + 1));
    for (std::size_t c = 0; c < K; ++c) Rows.push_back(Score(Rec, d, c));
  }
  return Rows;
}

// A batch's share of the biplot's series.
struct TScorePart {
  std::vector<double> Score1, Score2;
  std::vector<long long> Rows;
  template <class Self, class Visit>
  static void Members(Self& S, Visit&& Each) {
    Each(S.Score1);
    Each(S.Score2);
    Each(S.Rows);
  }
};

// The biplot's series: every complete row's first two scores, as the
// scores table has them, gathered in the file's order.
TComponentSeries ComponentSeriesOf(TStreamedData& Data, const TMoments& State, const engine::TComponents& Rec,
                                   const std::vector<std::string>& Names) {
  TComponentSeries S{Rec.Scaled, Names, Data.XNames(), {}, {}, {}, {}, {}, {}, {}, {}};
  for (std::size_t j = 0; j < Rec.K; ++j) {
    S.SDev.push_back(static_cast<double>(Rec.SDev[j]));
    S.Proportion.push_back(static_cast<double>(Rec.Proportion[j]));
    S.Cumulative.push_back(static_cast<double>(Rec.Cumulative[j]));
  }
  if (Rec.K < 2) return S;
  for (std::size_t v = 0; v < Rec.K; ++v) {
    S.Loading1.push_back(static_cast<double>(Rec.Rotation[v][0]));
    S.Loading2.push_back(static_cast<double>(Rec.Rotation[v][1]));
  }
  Data.InOrder<TScorePart>(
      [&](const TBatch& Batch) {
        TScorePart Part;
        std::vector<double> Row(Batch.Cols());
        std::vector<long double> d(Rec.K);
        for (std::size_t i = 0; i < Batch.Rows(); ++i) {
          if (!CompleteRow(Batch, i, Row)) continue;
          Deviations(State, Rec, Row, d);
          Part.Score1.push_back(Score(Rec, d, 0));
          Part.Score2.push_back(Score(Rec, d, 1));
          Part.Rows.push_back(static_cast<long long>(Batch.FirstRow + i + 1));
        }
        return Part;
      },
      [&S](TScorePart& Part) {
        S.Score1.insert(S.Score1.end(), Part.Score1.begin(), Part.Score1.end());
        S.Score2.insert(S.Score2.end(), Part.Score2.begin(), Part.Score2.end());
        S.Rows.insert(S.Rows.end(), Part.Rows.begin(), Part.Rows.end());
      });
  return S;
}

TRowStream ScoresStream(TStreamedData& Data, const TMoments& State, const engine::TComponents& Components,
                        const std::vector<std::string>& Names) {
  TRowStream Stream{"scores", "Scores of the observations", {"row"}, {}, {}};
  Stream.Columns.insert(Stream.Columns.end(), Names.begin(), Names.end());
  Stream.Counts.assign(Stream.Columns.size(), false);
  Stream.Counts[0] = true;
  auto Shared = std::make_shared<const std::pair<TMoments, engine::TComponents>>(State, Components);
  Stream.Produce = [&Data, Shared](const TRowStream::TPart& Part) {
    Data.InOrder<std::vector<double>>([&](const TBatch& Batch) { return ScoreRows(Shared->first, Shared->second, Batch); },
                                      Part);
  };
  return Stream;
}

// distance's rows of the complete rows of a batch: D², D, the chi-square
// p-value, D² above the quantile Cut, and the component's flag, D above
// its threshold in single precision.
std::vector<double> DistanceRows(const engine::TMahalanobis& Distances, double Cut, Single Threshold,
                                 const TBatch& Batch) {
  const auto k = static_cast<int>(Distances.Kept().size());
  std::vector<double> Rows, Row(Batch.Cols());
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!CompleteRow(Batch, i, Row)) continue;
    const auto D2 = static_cast<double>(Distances.D2(Row));
    const double D = D2 > 0 ? std::sqrt(D2) : 0;
    Rows.insert(Rows.end(), {static_cast<double>(Batch.FirstRow + i + 1), D2, D,
                             ChiSquareProbability(D2, k, TTail::Upper), D2 > Cut ? 1.0 : 0.0, D > Threshold ? 1.0 : 0.0});
  }
  return Rows;
}

}  // namespace

int RunStreamedDistance(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  const std::size_t K = Data.K(), P = K + (Data.Response() ? 1 : 0);
  const TMoments State = MomentsOf(Data, P);
  if (State.Count() < 2) throw TInputError(Data.Source() + ": distance needs two rows that hold a value in every column used");
  bool Varies = false;
  for (std::size_t j = 0; j < K; ++j) Varies = Varies || State.CoMoment(j, j) > 0;
  if (!Varies) throw TInputError(Data.Source() + ": every column is constant; distances need a column that varies");
  auto Distances = std::make_shared<const engine::TMahalanobis>(State, K);
  for (std::size_t j : Distances->Aliased()) {
    std::cerr << "varnel: " << Data.XNames()[j]
              << " left out of the distances: a linear combination of the columns before it (singular covariance)\n";
  }
  Out.Results.Meta.N = static_cast<long long>(State.Count());
  const auto k = static_cast<int>(Distances->Kept().size());
  const double Cut = ChiSquareQuantile(Options.Level, k, TTail::Lower);
  const TResultTable Head = EmptyDistancesTable(Cut, k, Options.Level, Options.Distance.OutlierThreshold);
  TRowStream Stream{Head.Name, Head.Title, Head.Columns, {true, false, false, false, true, true}, {}};
  const auto Threshold = static_cast<Single>(Options.Distance.OutlierThreshold);
  Stream.Produce = [&Data, Distances, Cut, Threshold](const TRowStream::TPart& Part) {
    Data.InOrder<std::vector<double>>([&](const TBatch& Batch) { return DistanceRows(*Distances, Cut, Threshold, Batch); },
                                      Part);
  };
  Out.Results.Stream = std::move(Stream);
  return 0;
}

int RunStreamedPca(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  const std::size_t K = Data.K(), P = K + (Data.Response() ? 1 : 0);
  const TMoments State = MomentsOf(Data, P);
  if (State.Count() < 2) throw TInputError(Data.Source() + ": pca needs two rows that hold a value in every column used");
  Out.Results.Meta.N = static_cast<long long>(State.Count());
  const engine::TComponents Components = engine::PrincipalComponents(State, K, !Options.Pca.Covariance);
  const std::vector<std::string> Names = ComponentNames(static_cast<int>(K));
  Out.Results.Tables = {ComponentsTable(Components, Names), RotationTable(Components, Data.XNames(), Names)};
  Out.Results.Stream = ScoresStream(Data, State, Components, Names);
  if (Options.Picture) Out.Typed.Components = ComponentSeriesOf(Data, State, Components, Names);
  return 0;
}

int RunStreamedDescribe(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  TColumnValues V = Data.Reduce<TColumnValues>(ValuesOf);
  const std::size_t K = Data.K(), P = V.Values.size();
  const std::size_t n = P ? V.Values[0].size() : 0;
  if (n < 2) throw TInputError(Data.Source() + ": describe needs two rows that hold a value in every column used");
  const TMoments State = engine::Accumulate(engine::MakeBatch(V.Values), Options.Threads);
  Out.Results.Meta.N = static_cast<long long>(n);
  TResultTable Variables = EmptyVariablesTable();
  for (std::size_t j = 0; j < P; ++j) {
    const std::string& Name = j < K ? Data.XNames()[j] : Data.YName();
    Variables.Rows.push_back(VariableRow(Name, V.Values[j], State.CoMoment(j, j) / static_cast<long double>(n - 1), V.Missing[j]));
  }
  for (std::size_t j = 0; j < K; ++j) {
    if (State.CoMoment(j, j) == 0)
      std::cerr << "varnel: the standard deviation of " << Data.XNames()[j] << " is zero: its correlations are not defined\n";
  }
  Out.Results.Tables = {std::move(Variables), PredictorMatrix(Data, State, true), PredictorMatrix(Data, State, false)};
  if (Options.Picture) {
    TVariableSeries Series{Data.XNames(), std::move(V.Values)};
    Series.Names.push_back(Data.YName());
    Out.Typed.Variables = std::move(Series);
  }
  return 0;
}

namespace {

// The fit of the first pass's moments, saying as R does which predictors
// are aliased, refined from its residuals in a pass of its own where the
// design's condition may have cost digits; nothing when no predictor is
// left.
std::optional<TFit> FitOf(TStreamedData& Data, const TMoments& Moments, const TOptions& Options,
                          TCommandResults& Out) {
  TFit Fit = engine::Solve(Moments, Options.Intercept);
  Out.Results.Meta.N = static_cast<long long>(Fit.N);
  for (std::size_t j : Fit.Aliased) std::cerr << "varnel: " << Data.XNames()[j] << " not defined because of singularities\n";
  if (Fit.Kept.empty()) {
    std::cerr << "varnel: no predictor is left once the aliased ones are out; name others with --x\n";
    return std::nullopt;
  }
  if (!engine::WorthRefining(Fit)) return Fit;
  return engine::Refined(Fit, Data.Reduce<engine::TResidualProducts>([&Fit](const TBatch& Batch) {
    engine::TResidualProducts Part(Fit);
    Part.Add(Fit, Batch);
    return Part;
  }));
}

// Whether the SSE of the moments keeps its digits; a refined fit's, NaN, is not theirs.
bool SseFromMoments(const TFit& Fit) { return Fit.MomentSse >= kMomentSseShare * Fit.Sst; }

TResidualSums ResidualPass(TStreamedData& Data, const TFit& Fit) {
  return Data.Reduce<TResidualSums>([&Fit](const TBatch& Batch) { return ResidualsOf(Fit, Batch); });
}

// diagnose's rows of the complete rows of a batch: the measures of each
// observation, a dfbeta of an aliased predictor not available.

// The measures of row i when it is complete (and of a weight above 0).
bool MeasuredRow(const TFit& Fit, const engine::TObservationMeasures& Measures, const TBatch& Batch, std::size_t i,
                 std::vector<double>& Row, engine::TObservation& O) {
  if (!CompleteRow(Batch, i, Row)) return false;
  if (!Fit.Weighted) {
    Measures.Of(Row, O);
    return true;
  }
  if (Row.back() == 0) return false;
  Measures.Of(Row, Row.back(), O);
  return true;
}
// A weighted fit's batch holds the weights last; a row of weight 0 has no
// measures, as R's influence measures leave it out.
std::vector<double> ObservationRows(const TFit& Fit, const engine::TObservationMeasures& Measures,
                                    std::size_t Columns, const TBatch& Batch) {
  std::vector<double> Rows, Row(Batch.Cols());
  engine::TObservation O;
  for (std::size_t i = 0; i < Batch.Rows(); ++i) {
    if (!MeasuredRow(Fit, Measures, Batch, i, Row, O)) continue;
    const auto D = [](long double v) { return static_cast<double>(v); };
    const std::size_t Start = Rows.size();
    Rows.insert(Rows.end(), {static_cast<double>(Batch.FirstRow + i + 1), Row[Fit.K], D(O.Fitted), D(O.Residual),
                             D(O.Hat), D(O.Sigma), D(O.CooksD), D(O.StdResid), D(O.StudResid), D(O.Dffits),
                             D(O.CovRatio)});
    const std::size_t First = Fit.Intercept ? 1 : 0;
    if (Fit.Intercept) Rows.push_back(D(O.DfBetas[0]));
    for (std::size_t j = 0, k = 0; j < Fit.K; ++j) {
      const bool Kept = k < Fit.Kept.size() && Fit.Kept[k] == j;
      Rows.push_back(Kept ? D(O.DfBetas[First + k++]) : NAN);
    }
    Rows.insert(Rows.end(), {D(O.ConfLow), D(O.ConfHigh), D(O.PredLow), D(O.PredHigh)});
    if (Rows.size() - Start != Columns) throw std::logic_error("an observation's row does not fill its columns");
  }
  return Rows;
}

// The picture's series of every complete row, in the file's order.
TObservationSeries ObservationSeriesOf(TStreamedData& Data, const TFit& Fit, const engine::TInference& Inference,
                                       double Level) {
  TObservationSeries S;
  S.Intercept = Fit.Intercept;
  S.Coefficients = static_cast<int>(Fit.Rank());
  const engine::TObservationMeasures Measures(Fit, Inference, Level);
  Data.InOrder<TObservationSeries>(
      [&](const TBatch& Batch) {
        TObservationSeries Part;
        std::vector<double> Row(Batch.Cols());
        engine::TObservation O;
        for (std::size_t i = 0; i < Batch.Rows(); ++i) {
          if (!MeasuredRow(Fit, Measures, Batch, i, Row, O)) continue;
          Part.Fitted.push_back(static_cast<double>(O.Fitted));
          Part.Residual.push_back(static_cast<double>(O.Residual));
          Part.Hat.push_back(static_cast<double>(O.Hat));
          Part.CooksD.push_back(static_cast<double>(O.CooksD));
          Part.StdResid.push_back(static_cast<double>(O.StdResid));
          Part.Rows.push_back(static_cast<long long>(Batch.FirstRow + i + 1));
        }
        return Part;
      },
      [&S](TObservationSeries& Part) {
        const auto Append = [](auto& To, const auto& From) { To.insert(To.end(), From.begin(), From.end()); };
        Append(S.Fitted, Part.Fitted);
        Append(S.Residual, Part.Residual);
        Append(S.Hat, Part.Hat);
        Append(S.CooksD, Part.CooksD);
        Append(S.StdResid, Part.StdResid);
        Append(S.Rows, Part.Rows);
      },
      Fit.Weighted);
  return S;
}

}  // namespace

int RunStreamedDiagnose(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  const bool Weighted = Options.Regress.Weighted;
  struct TDiagnosis {
    TFit Fit;
    engine::TInference Inference;
  };
  const std::optional<TStreamedFit> Fit = FitStreamed(Data, Options.Intercept, Weighted);
  if (!Fit) return 1;
  Out.Results.Meta.N = static_cast<long long>(Fit->Fit.N);
  auto Diagnosis = std::make_shared<const TDiagnosis>(TDiagnosis{Fit->Fit, engine::Infer(Fit->Fit, Fit->Sse)});
  const TResultTable Head = EmptyObservationsTable(Options.Level, Terms(Data.XNames(), Options.Intercept));
  TRowStream Stream{Head.Name, Head.Title, Head.Columns, std::vector<bool>(Head.Columns.size()), {}};
  Stream.Counts[0] = true;
  if (Weighted) {
    Out.Results.Meta.Weights = Printable(Options.Regress.WeightsColumn);
    Stream.Title += "; weighted least squares, weights " + *Out.Results.Meta.Weights + " (rows of weight 0 left out)";
  }
  Stream.Produce = [&Data, Diagnosis, Level = Options.Level, Columns = Head.Columns.size()](const TRowStream::TPart& Part) {
    const engine::TObservationMeasures Measures(Diagnosis->Fit, Diagnosis->Inference, Level);
    Data.InOrder<std::vector<double>>(
        [&](const TBatch& Batch) { return ObservationRows(Diagnosis->Fit, Measures, Columns, Batch); }, Part,
        Diagnosis->Fit.Weighted);
  };
  Out.Results.Stream = std::move(Stream);
  if (Options.Picture)
    Out.Typed.Observations = ObservationSeriesOf(Data, Diagnosis->Fit, Diagnosis->Inference, Options.Level);
  return 0;
}

namespace {

// regress's first pass: the moments of [X y] and, unweighted, of their
// differences; weighted, by the batch's last column (after the response
// and any key), the differences then taken from the residuals' pass.
TRegressionSums RegressionSumsOf(TStreamedData& Data, bool Weighted) {
  const std::size_t P = Data.K() + 1;
  return Data.Reduce<TRegressionSums>(
      [P, Weighted](const TBatch& Batch) {
        if (Weighted) return TRegressionSums{WeightedMoments(Batch, P), {}};
        TRegressionSums Part{TMoments(P), DifferencesOf(Batch)};
        Part.Moments.Add(Batch);
        return Part;
      },
      Weighted);
}

// The residual sum of squares (Σ w e² when weighted) and Durbin-Watson's d.
std::pair<long double, long double> ResidualFigures(TStreamedData& Data, const TFit& Fit,
                                                    const TRegressionSums& State) {
  if (Fit.Weighted) {
    const TWeightedResiduals W = Data.Reduce<TWeightedResiduals>(
        [&Fit](const TBatch& Batch) { return WeightedResidualsOf(Fit, Batch); }, true);
    return {W.Sse, W.Plain.Differences / W.Plain.Sse};
  }
  TResidualSums Sums;
  if (SseFromMoments(Fit)) {
    Sums.Sse = Fit.MomentSse;
    Sums.Differences = DifferenceSquares(Fit, State.Differences);
  } else {
    Sums = ResidualPass(Data, Fit);
  }
  return {Sums.Sse, Sums.Differences / Sums.Sse};
}

// The coefficients with the standard errors --vcov or --cluster asks for,
// in a pass of their own; the title and the meta say which.
TResultTable CoefficientsOf(TStreamedData& Data, const TFit& Fit, const engine::TInference& I,
                            const TCollinearity& C, const TOptions& Options, TMeta& Meta) {
  const TRobustKind Kind = Options.Regress.Vcov;
  const bool Weighted = Fit.Weighted;
  if (!Options.Regress.Cluster.empty()) {
    const TGroupScores Scores =
        Data.Reduce<TGroupScores>([&Fit](const TBatch& Batch) { return GroupScoresOf(Fit, Batch); }, true);
    if (Scores.ZeroWeights > 0) throw ZeroWeightsRefused(Scores.ZeroWeights, "--cluster");
    const std::vector<long double> StdErr = ClusteredStdErrors(Fit, Kind, Scores);
    TResultTable Table = CoefficientTable(Data, Fit, WithRobustErrors(I, Fit, StdErr), C, Options);
    const std::string Column = Printable(Options.Regress.Cluster);
    Table.Title += "; standard errors " + RobustKindName(Kind) + " clustered by " + Column + " (" +
                   std::to_string(Scores.Keys.size()) + " clusters)";
    Meta.Vcov = ClusteredVcovName(Kind, Column);
    return Table;
  }
  if (Kind == TRobustKind::None) return CoefficientTable(Data, Fit, I, C, Options);
  const TMeat Meat =
      Data.Reduce<TMeat>([&Fit, Kind](const TBatch& Batch) { return MeatOf(Fit, Kind, Batch); }, Weighted);
  if (Meat.ZeroWeights > 0) throw ZeroWeightsRefused(Meat.ZeroWeights, "--vcov");
  const std::vector<long double> StdErr = RobustStdErrors(Fit, Kind, Meat);
  TResultTable Table = CoefficientTable(Data, Fit, WithRobustErrors(I, Fit, StdErr), C, Options);
  Table.Title += "; standard errors " + RobustKindName(Kind) + " (heteroskedasticity-consistent)";
  Meta.Vcov = RobustKindName(Kind);
  return Table;
}

}  // namespace

std::optional<TStreamedFit> FitStreamed(TStreamedData& Data, bool Intercept, bool Weighted) {
  TOptions Options;
  Options.Intercept = Intercept;
  TCommandResults Unused;
  const std::size_t P = Data.K() + 1;
  const TMoments Moments =
      Weighted ? Data.Reduce<TMoments>([P](const TBatch& Batch) { return WeightedMoments(Batch, P); }, true)
               : MomentsOf(Data, P);
  const std::optional<TFit> Fit = FitOf(Data, Moments, Options, Unused);
  if (!Fit) return std::nullopt;
  if (Weighted) {
    const auto Sums = [&Fit](const TBatch& Batch) { return WeightedResidualsOf(*Fit, Batch); };
    return TStreamedFit{*Fit, Data.Reduce<TWeightedResiduals>(Sums, true).Sse};
  }
  return TStreamedFit{*Fit, SseFromMoments(*Fit) ? Fit->MomentSse : ResidualPass(Data, *Fit).Sse};
}

int RunStreamedRegress(TStreamedData& Data, const TOptions& Options, TCommandResults& Out) {
  const bool Weighted = Options.Regress.Weighted;
  const TRegressionSums State = RegressionSumsOf(Data, Weighted);
  const std::optional<TFit> Found = FitOf(Data, State.Moments, Options, Out);
  if (!Found) return 1;
  const TFit& Fit = *Found;
  const auto [Sse, DurbinWatson] = ResidualFigures(Data, Fit, State);
  const engine::TInference I = engine::Infer(Fit, Sse);
  const TCollinearity C = CollinearityOf(State.Moments, Fit.Kept);
  Out.Results.Tables = {CoefficientsOf(Data, Fit, I, C, Options, Out.Results.Meta)};
  if (Weighted) {
    Out.Results.Meta.Weights = Printable(Options.Regress.WeightsColumn);
    Out.Results.Tables[0].Title += "; weighted least squares, weights " + *Out.Results.Meta.Weights;
  }
  Out.Results.Tables.push_back(ModelTable(Fit, I, DurbinWatson));
  Out.Results.Tables.push_back(TermsTable(Data, Fit, C));
  if (!Options.Regress.SaveModel.empty()) Out.ModelFile = ModelJson(SavedModelOf(Data, Fit, I));
  if (Fit.Intercept) Out.Results.Tables.push_back(AnovaTable(Data.TermNames(), Data.TermOf(), State.Moments, I.Sse, I.DfResidual));
  return 0;
}

}  // namespace varnel::cli
