// The tool's CSV reading: arbitrary bytes as the data file must either load
// into the component or raise TInputError (exit status 2), nothing else.
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
  if (Size < 1) return 0;
  // First byte: separator, column choice and row limit.
  static const char kSeparators[] = {',', ';', '\t', '|'};
  const char Separator = kSeparators[Data[0] & 3];
  const int MaxRows = Data[0] & 4 ? 3 : MaxObs - 1;
  fuzz::WriteFile("data.csv", Data + 1, Size - 1);
  try {
    const TCsvTable Table = ReadCsv("data.csv", Separator, MaxRows);
    if (Table.Rows() > MaxRows) fuzz::Fail("more rows than the limit", "ReadCsv");
    for (const auto& Column : Table.Columns)
      if (static_cast<int>(Column.size()) != Table.Rows()) fuzz::Fail("a ragged table", "ReadCsv");
    std::string YName;
    std::vector<std::string> XNames;
    if (Data[0] & 8 && !Table.Names.empty()) YName = Table.Names[0];
    if (Data[0] & 16)
      for (std::size_t c = 1; c < Table.Names.size(); c += 2) XNames.push_back(Table.Names[c]);
    const TAnalysisData Selected = SelectColumns(Table, "data.csv", YName, XNames);
    if (Selected.K() < 1 || Selected.K() > MaxVars) fuzz::Fail("a predictor count out of range", "SelectColumns");
    Load(*Korlen, Selected);
  } catch (const TInputError&) {
  }
  return 0;
}
