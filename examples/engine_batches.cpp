// SPDX-License-Identifier: Apache-2.0
// The engine fed batch by batch, as an application that reads its data in
// pieces would: no capacity, no component. The rows of swiss.csv are read
// ten at a time; each batch's moments merge in the fixed order of the
// merge tree (TMergeStack), so that the fit is the same bits however the
// rows were cut into threads, files or processes that keep that order.
// Then the least-squares fit of Fertility on the five indicators and its
// inference, as R's lm gives them.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <varnel/engine.h>

#include "swiss_data.h"

namespace engine = varnel::engine;

namespace {

// Up to Rows rows of the file into columns: the five predictors, then the
// response, as Solve takes them.
bool ReadBatch(std::ifstream& In, std::size_t Rows, std::vector<std::vector<double>>& Columns) {
  for (auto& Column : Columns) Column.clear();
  std::string Line;
  while (Columns[0].size() < Rows && std::getline(In, Line)) {
    std::stringstream Fields(Line);
    std::string Cell;
    std::vector<double> Row;
    while (std::getline(Fields, Cell, ',')) Row.push_back(std::strtod(Cell.c_str(), nullptr));
    for (std::size_t j = 1; j < 6; ++j) Columns[j - 1].push_back(Row.at(j));
    Columns[5].push_back(Row.at(0));
  }
  return !Columns[0].empty();
}

}  // namespace

int main(int argc, char** argv) try {
  std::ifstream In(example::DataPath(argc, argv));
  std::string Header;
  if (!std::getline(In, Header)) return 1;
  engine::TMergeStack<engine::TMoments> Merged;
  std::vector<std::vector<double>> Columns(6);
  for (std::size_t First = 0; ReadBatch(In, 10, Columns); First += Columns[0].size()) {
    engine::TMoments Part(6);
    Part.Add(engine::MakeBatch(Columns, First));
    Merged.Push(std::move(Part));
  }
  const engine::TMoments All = Merged.Result();
  const engine::TFit Fit = engine::Solve(All);
  const engine::TInference Inference = engine::Infer(Fit, Fit.MomentSse);
  std::printf("%-17s %20s %20s\n", "term", "estimate", "std.error");
  for (std::size_t j = 0; j < Fit.Rank(); ++j) {
    std::printf("%-17s %20.15Lg %20.15Lg\n", j == 0 ? "(Intercept)" : example::kNames[j], Fit.Coef[j],
                Inference.StdErr[j]);
  }
  std::printf("\n%zu rows; sigma %.15Lg on %zu df, R2 %.15Lg\n", Fit.N, Inference.Sigma, Inference.DfResidual,
              Inference.R2);
  return 0;
} catch (const std::exception& Error) {  // the engine's faults are exceptions of its hierarchy
  std::fprintf(stderr, "engine_batches: %s\n", Error.what());
  return 1;
}
