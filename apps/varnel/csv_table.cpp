// SPDX-License-Identifier: Apache-2.0
#include "csv_table.h"

#include <iostream>

#include "progress_line.h"
#include "reading/row_reader.h"

namespace varnel::cli {

TCsvTable ReadCsv(const std::string& Path, const TReadOptions& Options, const TColumnPicker& Pick) {
  TRowReader Reader(Path, Options, Pick);
  const THeader& Header = Reader.Header();
  TCsvTable Table;
  Table.Header = Header.Names;
  for (const int c : Header.Picked) Table.Names.push_back(Header.Names[static_cast<std::size_t>(c)]);
  Table.Columns.assign(Header.Picked.size(), {});
  Table.Separator = Header.Separator;
  Table.Guessed = Header.Guessed;
  TProgressLine Progress(std::cerr, "varnel: reading " + Reader.Shown());
  TRowText Block;
  TFieldBlock Fields;
  const std::size_t Rows = BlockRowsFor(Header.Names.size());
  while (Reader.Next(Rows, Block)) {
    Reader.Split(Block, Fields);
    for (std::size_t r = 0; r < Fields.Rows; ++r) {
      for (std::size_t c = 0; c < Fields.Picked; ++c) Table.Columns[c].Add(Fields.Cell(r, c));
    }
    if (const auto Size = Reader.Bytes().RawSize(); Size > 0)
      Progress.Show(static_cast<double>(Reader.Bytes().RawRead()) / static_cast<double>(Size));
  }
  Progress.Show(1);
  return Table;
}

}  // namespace varnel::cli
