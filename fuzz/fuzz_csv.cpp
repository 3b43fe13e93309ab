// SPDX-License-Identifier: Apache-2.0
// The tool's reading: arbitrary bytes as the data file, read under any
// separator, decimal mark, missing-value rule and factor choice, must either
// load into the component or raise TInputError (exit status 2), nothing else.
#include <cstdint>
#include <string>
#include <vector>

#include "csv_table.h"
#include "data_set.h"
#include "fuzz_support.h"
#include "varnel/korlen.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace varnel;
  using namespace varnel::cli;
  static TKorlen* Korlen = [] {
    fuzz::WorkFolder();
    fuzz::Silence();
    return new TKorlen;
  }();
  if (Size < 2) return 0;
  // First byte: separator, column choice; second: the reading rules.
  static const char kSeparators[] = {0, ',', ';', '\t', '|', ' ', 0, ','};
  TReadOptions Read;
  Read.Separator = kSeparators[Data[0] & 7];
  Read.Blanks = (Data[0] & 7) == 6;
  TDataRules Rules;
  Rules.Decimal = Data[1] & 1 ? ',' : '.';
  Rules.FailOnMissing = Data[1] & 2;
  if (Data[1] & 4) Rules.Missing.push_back("-");
  fuzz::WriteFile("data.csv", Data + 2, Size - 2);
  try {
    const TCsvTable Table = ReadCsv("data.csv", Read);
    for (const auto& Column : Table.Columns)
      if (static_cast<int>(Column.Size()) != Table.Rows()) fuzz::Fail("a ragged table", "ReadCsv");
    std::string YName;
    std::vector<std::string> XNames;
    if (Data[0] & 8 && !Table.Names.empty()) YName = Table.Names[0];
    if (Data[0] & 16)
      for (std::size_t c = 1; c < Table.Names.size(); c += 2) XNames.push_back(Table.Names[c]);
    if (Data[1] & 8 && Table.Names.size() > 1) Rules.Factors.push_back(Table.Names[Table.Names.size() > 2 ? 1 : 0]);
    const TAnalysisData Selected = SelectColumns(Table, "data.csv", YName, XNames, Rules);
    if (Selected.K() < 1 || Selected.K() > MaxVars) fuzz::Fail("a predictor count out of range", "SelectColumns");
    if (Selected.N() < 1 || Selected.N() >= MaxObs) fuzz::Fail("a row count out of range", "SelectColumns");
    for (const auto& Column : Selected.X)
      if (Column.size() != Selected.Y.size()) fuzz::Fail("a ragged selection", "SelectColumns");
    if (static_cast<int>(Selected.Rows.size()) != Selected.N()) fuzz::Fail("rows without numbers", "SelectColumns");
    Load(*Korlen, Selected);
  } catch (const TInputError&) {
  }
  return 0;
}
