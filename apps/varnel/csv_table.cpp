// SPDX-License-Identifier: Apache-2.0
#include "csv_table.h"

#include <iostream>

#include "progress_line.h"
#include "reading/row_reader.h"

namespace varnel::cli {

TCsvTable ReadCsv(const std::string& Path, const TReadOptions& Options, const TColumnPicker& Pick) {
  TRowReader Reader(Path, Options, Pick);
  TCsvTable Table = EmptyTable(Reader);
  TProgressLine Progress(std::cerr, "varnel: reading " + Reader.Shown());
  TRowText Block;
  TFieldBlock Fields;
  const std::size_t Rows = BlockRowsFor(Reader.Header().Names.size());
  while (Reader.Next(Rows, Block)) {
    Reader.Split(Block, Fields);
    AddRows(Fields, Table);
    if (const auto Size = Reader.Bytes().RawSize(); Size > 0)
      Progress.Show(static_cast<double>(Reader.Bytes().RawRead()) / static_cast<double>(Size));
  }
  Progress.Show(1);
  return Table;
}

}  // namespace varnel::cli
