// SPDX-License-Identifier: Apache-2.0
// The examples' data: R's swiss set (47 provinces), read from swiss.csv
// into a component. Its first column, Fertility, goes to Y; with
// AllInX it also goes to X as variable 1, ahead of the five indicators.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <varnel/korlen.h>

namespace example {

inline const char* kNames[] = {"Fertility", "Agriculture", "Examination", "Education", "Catholic", "Infant.Mortality"};

// The number of rows read (0 when the file cannot be read); the variables
// in X are 1..5 (the indicators) or, with AllInX, 1..6.
inline int LoadSwiss(varnel::TKorlen& Korlen, const std::string& Path, bool AllInX = false) {
  std::ifstream In(Path);
  std::string Line;
  if (!std::getline(In, Line)) {
    std::fprintf(stderr, "cannot read %s\n", Path.c_str());
    return 0;
  }
  int Row = 0;
  for (; std::getline(In, Line) && Row < varnel::MaxObs; ++Row) {
    std::stringstream Fields(Line);
    std::string Cell;
    for (int Column = 0; std::getline(Fields, Cell, ','); ++Column) {
      const double Value = std::strtod(Cell.c_str(), nullptr);
      if (Column == 0) Korlen.Y[Row] = Value;
      const int Variable = AllInX ? Column + 1 : Column;
      if (Variable >= 1) (*Korlen.PRegressData)[Variable][Row] = Value;
    }
  }
  Korlen.MVPrepare();  // the working copy the fits read
  return Row;
}

// The data file: the first argument, else the copy beside the sources.
inline std::string DataPath(int argc, char** argv) { return argc > 1 ? argv[1] : VARNEL_EXAMPLE_DATA "/swiss.csv"; }

}  // namespace example
