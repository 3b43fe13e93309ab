// SPDX-License-Identifier: Apache-2.0
#include "reading/row_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "parsed_csv.h"

namespace varnel::cli {
namespace {

std::string Trim(std::string_view Text) {
  const auto First = Text.find_first_not_of(" \t");
  return First == std::string_view::npos ? "" : std::string(Text.substr(First, Text.find_last_not_of(" \t") - First + 1));
}

// A field, quoted when it holds a separator, quote or line end (its
// quotes doubled), sometimes quoted anyway.
std::string Field(std::mt19937& Engine) {
  static const char* const Pieces[] = {"a", "1.5", " ", ",", "\"", "\n", "\r\n", "x y", "-2e3", ""};
  std::string Text;
  const int Count = std::uniform_int_distribution<int>(0, 4)(Engine);
  for (int i = 0; i < Count; ++i) Text += Pieces[std::uniform_int_distribution<int>(0, 9)(Engine)];
  const bool Special = Text.find_first_of(",\"\r\n") != std::string::npos;
  if (!Special && std::uniform_int_distribution<int>(0, 4)(Engine) != 0) return Text;
  std::string Quoted = "\"";
  for (char c : Text) Quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return Quoted + "\"";
}

// Rows of three fields ending in \n, \r\n or \r, with empty lines between.
std::string Text(std::mt19937& Engine, int Rows) {
  static const char* const Ends[] = {"\n", "\r\n", "\r", "\n\n", "\r\n\r\n"};
  std::string Out = "p,q,r\n";
  for (int r = 0; r < Rows; ++r) {
    Out += Field(Engine) + "," + Field(Engine) + "," + Field(Engine);
    if (r + 1 < Rows || std::uniform_int_distribution<int>(0, 1)(Engine)) Out += Ends[std::uniform_int_distribution<int>(0, 4)(Engine)];
  }
  return Out;
}

// The rows in blocks of three, every field, trimmed as the analyses read it.
TCsvFields ReadInBlocks(const std::string& Path) {
  TRowReader Reader(Path, {});
  TCsvFields Rows{Reader.Header().Names};
  TRowText Block;
  TFieldBlock Fields;
  std::size_t Expected = 0;
  while (Reader.Next(3, Block)) {
    EXPECT_EQ(Block.FirstRow, Expected);
    Expected += Block.Rows();
    Reader.Split(Block, Fields);
    for (std::size_t r = 0; r < Fields.Rows; ++r) {
      std::vector<std::string> Row;
      for (std::size_t c = 0; c < Fields.Picked; ++c) Row.push_back(Trim(Fields.Cell(r, c)));
      Rows.push_back(Row);
    }
  }
  return Rows;
}

// libcsv, reading the whole text at once, is the reference: the rows cut
// by line ends outside quotes, and the fields split in blocks, are its.
TEST(RowReaderTest, BlocksGiveTheRowsAndFieldsOfAWholeParse) {
  const auto Path = std::filesystem::temp_directory_path() / "varnel_row_reader_test.csv";
  std::mt19937 Engine(7);
  for (int Trial = 0; Trial < 200; ++Trial) {
    const std::string Csv = Text(Engine, 1 + Trial % 9);
    std::ofstream(Path, std::ios::binary) << Csv;
    auto Reference = ParseCsv(Csv);
    ASSERT_TRUE(Reference.has_value()) << Csv;
    for (auto& Row : *Reference) {
      for (auto& Cell : Row) Cell = Trim(Cell);
    }
    EXPECT_EQ(ReadInBlocks(Path.string()), *Reference) << Csv;
  }
  std::filesystem::remove(Path);
}

// A file is read again from its first data row; a wide file has shorter
// blocks, so that a block keeps near 4 M cells.
TEST(RowReaderTest, RewindAndBlockSizes) {
  const auto Path = std::filesystem::temp_directory_path() / "varnel_row_reader_rewind.csv";
  std::ofstream(Path, std::ios::binary) << "\xEF\xBB\xBFx;y\r\n1;2\r\n\r\n3;4\r\n";
  TRowReader Reader(Path.string(), {});
  EXPECT_EQ(Reader.Header().Separator, ';');
  EXPECT_EQ(Reader.Header().Names, (std::vector<std::string>{"x", "y"}));
  TRowText First, Again;
  ASSERT_TRUE(Reader.Next(10, First));
  Reader.Rewind();
  ASSERT_TRUE(Reader.Next(10, Again));
  EXPECT_EQ(First.Rows(), 2U);
  EXPECT_EQ(Again.Text, First.Text);
  EXPECT_FALSE(Reader.Next(10, Again));
  std::filesystem::remove(Path);
  EXPECT_EQ(BlockRowsFor(10), 65536U);
  EXPECT_EQ(BlockRowsFor(1000), 2048U);
  EXPECT_EQ(BlockRowsFor(1000000), 256U);
}

}  // namespace
}  // namespace varnel::cli
