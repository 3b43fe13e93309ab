// SPDX-License-Identifier: Apache-2.0
#include "csv_table.h"

#include <iostream>

#include "progress_line.h"
#include "reading/row_reader.h"

namespace varnel::cli {

TCsvTable ReadCsv(const std::vector<std::string>& Paths, const TReadOptions& Options, const TColumnPicker& Pick) {
  TRowReader Reader(Paths, Options, Pick);
  TCsvTable Table = EmptyTable(Reader);
  TProgressLine Progress(std::cerr, "varnel: reading " + Reader.Shown());
  TRowText Block;
  TFieldBlock Fields;
  const std::size_t Rows = BlockRowsFor(Reader.Header().Names.size());
  while (Reader.Next(Rows, Block)) {
    Reader.Split(Block, Fields);
    AddRows(Fields, Table);
    if (const double Done = Reader.ReadFraction(); Done >= 0) Progress.Show(Done);
  }
  Progress.Show(1);
  return Table;
}

TCsvTable ReadCsv(const std::string& Path, const TReadOptions& Options, const TColumnPicker& Pick) {
  return ReadCsv(std::vector<std::string>{Path}, Options, Pick);
}

}  // namespace varnel::cli
