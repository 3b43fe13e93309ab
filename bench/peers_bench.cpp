// SPDX-License-Identifier: Apache-2.0
// The same least-squares fits by peer libraries, in double: coefficients,
// their standard errors and the residual sum of squares, as MVRegression
// reports them. Each peer gets the data in its own layout, built outside the
// timed loop, and keeps its workspace between calls.
#include <cmath>

#include "bench_data.h"

#ifdef VARNEL_BENCH_GSL
#include <gsl/gsl_multifit.h>
#endif
#ifdef VARNEL_BENCH_EIGEN
#include <Eigen/Dense>
#endif

namespace varnel::bench {
namespace {

#ifdef VARNEL_BENCH_GSL
void BM_GslMultifitLinear(benchmark::State& State) {
  const TBenchData D = MakeData(K(State), N(State));
  const int p = D.k + 1;
  gsl_matrix* X = gsl_matrix_alloc(D.n, p);
  gsl_vector* Y = gsl_vector_alloc(D.n);
  gsl_vector* C = gsl_vector_alloc(p);
  gsl_matrix* Cov = gsl_matrix_alloc(p, p);
  gsl_multifit_linear_workspace* Work = gsl_multifit_linear_alloc(D.n, p);
  for (int i = 0; i < D.n; ++i) {
    gsl_matrix_set(X, i, 0, 1.0);
    for (int j = 0; j < D.k; ++j) gsl_matrix_set(X, i, j + 1, D.X[j][i]);
    gsl_vector_set(Y, i, D.Y[i]);
  }
  double ChiSq = 0;
  for (auto _ : State) {
    gsl_multifit_linear(X, Y, C, Cov, &ChiSq, Work);
    benchmark::DoNotOptimize(ChiSq);
  }
  gsl_multifit_linear_free(Work);
  gsl_matrix_free(Cov);
  gsl_vector_free(C);
  gsl_vector_free(Y);
  gsl_matrix_free(X);
}
BENCHMARK(BM_GslMultifitLinear)->Apply(Grid);
#endif

#ifdef VARNEL_BENCH_EIGEN
struct TEigenData {
  Eigen::MatrixXd X;
  Eigen::VectorXd Y;
};

TEigenData EigenData(const TBenchData& D) {
  TEigenData E{Eigen::MatrixXd(D.n, D.k + 1), Eigen::VectorXd(D.n)};
  for (int i = 0; i < D.n; ++i) {
    E.X(i, 0) = 1.0;
    for (int j = 0; j < D.k; ++j) E.X(i, j + 1) = D.X[j][i];
    E.Y(i) = D.Y[i];
  }
  return E;
}

// X'X by a symmetric rank update, factored by LDLT.
void BM_EigenNormalLdlt(benchmark::State& State) {
  const TEigenData E = EigenData(MakeData(K(State), N(State)));
  const Eigen::Index p = E.X.cols(), n = E.X.rows();
  Eigen::MatrixXd A(p, p);
  for (auto _ : State) {
    A.setZero();
    A.selfadjointView<Eigen::Lower>().rankUpdate(E.X.transpose());
    const Eigen::LDLT<Eigen::MatrixXd> Ldlt(A);
    const Eigen::VectorXd Beta = Ldlt.solve(E.X.transpose() * E.Y);
    const double Mse = (E.Y - E.X * Beta).squaredNorm() / static_cast<double>(n - p);
    const Eigen::VectorXd StdErr = (Ldlt.solve(Eigen::MatrixXd::Identity(p, p)).diagonal() * Mse).cwiseSqrt();
    benchmark::DoNotOptimize(Beta.data());
    benchmark::DoNotOptimize(StdErr.data());
  }
}
BENCHMARK(BM_EigenNormalLdlt)->Apply(Grid);

// Householder QR with column pivoting on X itself.
void BM_EigenColPivQr(benchmark::State& State) {
  const TEigenData E = EigenData(MakeData(K(State), N(State)));
  const Eigen::Index p = E.X.cols(), n = E.X.rows();
  for (auto _ : State) {
    const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> Qr(E.X);
    const Eigen::VectorXd Beta = Qr.solve(E.Y);
    const double Mse = (E.Y - E.X * Beta).squaredNorm() / static_cast<double>(n - p);
    const Eigen::MatrixXd RInv = Qr.matrixR().topLeftCorner(p, p).triangularView<Eigen::Upper>().solve(
        Eigen::MatrixXd::Identity(p, p));
    const Eigen::VectorXd StdErr =
        Qr.colsPermutation() * (RInv.rowwise().squaredNorm() * Mse).cwiseSqrt();
    benchmark::DoNotOptimize(Beta.data());
    benchmark::DoNotOptimize(StdErr.data());
  }
}
BENCHMARK(BM_EigenColPivQr)->Apply(Grid);
#endif

}  // namespace
}  // namespace varnel::bench
