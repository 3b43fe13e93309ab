// SPDX-License-Identifier: Apache-2.0
// A regression fitted over the processes of an MPI job, with no process
// holding all the data: each process makes its share of the rows, the
// moments of all of them are reduced across the processes, and process 0
// fits the model from them and prints the coefficients. The figures are the
// same bits for any number of processes.
//
//   mpirun -n 4 ./build/examples/varnel_mpi_regression [rows]
#include <mpi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <varnel/engine.h>
#include <varnel/mpi.h>

namespace {

// Row i of the data, the same whichever process makes it:
// y = 3 + 2·x1 − 1.5·x2 + e.
void MakeRow(std::size_t i, double& X1, double& X2, double& Y) {
  const double t = static_cast<double>(i);
  X1 = 10 * std::sin(0.001 * t);
  X2 = std::cos(0.37 * t) + static_cast<double>(i % 7) / 7;
  Y = 3 + 2 * X1 - 1.5 * X2 + 0.5 * std::sin(1.7 * t);
}

int Run(std::size_t Rows) {
  int Rank = 0, Processes = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &Rank);
  MPI_Comm_size(MPI_COMM_WORLD, &Processes);

  // Each process takes a run of whole batches: a part must start on a
  // multiple of the batch size, so that the batches, and hence the bits of
  // the result, are those of one process reading every row.
  const std::size_t Batches = (Rows + varnel::engine::kBatchRows - 1) / varnel::engine::kBatchRows;
  const std::size_t First = std::min(Rows, Batches * Rank / Processes * varnel::engine::kBatchRows);
  const std::size_t Last = std::min(Rows, Batches * (Rank + 1) / Processes * varnel::engine::kBatchRows);
  std::vector<std::vector<double>> Columns(3, std::vector<double>(Last - First));
  for (std::size_t i = First; i < Last; ++i) {
    MakeRow(i, Columns[0][i - First], Columns[1][i - First], Columns[2][i - First]);
  }

  // The predictors first, the response last, as Solve takes them.
  const varnel::engine::TMoments All =
      varnel::mpi::AccumulateDistributed(MPI_COMM_WORLD, varnel::engine::MakeBatch(Columns, First), Rows);
  if (Rank != 0) return 0;

  const varnel::engine::TFit Fit = varnel::engine::Solve(All);
  // The rows are spread over the processes: the residual sum of squares
  // comes from the moments rather than from a second pass.
  const varnel::engine::TInference Inference = varnel::engine::Infer(Fit, Fit.MomentSse);
  std::printf("Least squares over %zu rows on %d processes\n\n", Fit.N, Processes);
  std::printf("%-12s %22s %22s\n", "term", "estimate", "std.error");
  const char* const Names[] = {"(Intercept)", "x1", "x2"};
  for (std::size_t j = 0; j < Fit.Rank(); ++j) {
    std::printf("%-12s %22.15Lg %22.15Lg\n", Names[j], Fit.Coef[j], Inference.StdErr[j]);
  }
  std::printf("\nsigma %.15Lg on %zu degrees of freedom, R2 %.15Lg\n", Inference.Sigma, Inference.DfResidual,
              Inference.R2);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  MPI_Init(&argc, &argv);
  int Status = 0;
  try {
    Status = Run(argc > 1 ? std::stoul(argv[1]) : 1000000);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "mpi_regression: %s\n", Error.what());
    Status = 1;
  }
  MPI_Finalize();
  return Status;
}
