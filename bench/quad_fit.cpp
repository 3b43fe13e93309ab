// SPDX-License-Identifier: Apache-2.0
// The binary128 least-squares fit of a CSV of numbers (a header row, the
// response last): its coefficients, intercept first, one a line with 21
// significant digits. The reference bench/targets.sh judges varnel and R
// by, on files too large for the tests.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "varnel/testing/quad_reference.h"

int main(int Count, char** Arguments) {
  if (Count != 2) {
    std::fprintf(stderr, "usage: varnel_quad_fit FILE.csv\n");
    return 2;
  }
  std::ifstream In(Arguments[1]);
  std::string Line, Field;
  if (!std::getline(In, Line)) return 2;
  varnel::testing::TDataSet Data;
  std::vector<std::vector<double>> Columns;
  while (std::getline(In, Line)) {
    std::stringstream Fields(Line);
    for (std::size_t j = 0; std::getline(Fields, Field, ','); ++j) {
      if (Columns.size() <= j) Columns.resize(j + 1);
      Columns[j].push_back(std::stod(Field));
    }
  }
  if (Columns.size() < 2) return 2;
  Data.Y = std::move(Columns.back());
  Columns.pop_back();
  Data.Columns = std::move(Columns);
  for (const long double Beta : varnel::testing::QuadLeastSquares(Data).Beta) std::printf("%.21Lg\n", Beta);
  return 0;
}
