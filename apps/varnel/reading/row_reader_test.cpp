// SPDX-License-Identifier: Apache-2.0
#include "reading/row_reader.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>

#include "data_set.h"
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

// The numbers read as the rows are split are the cell rules' own: every
// spelling near a number (signs, blanks, exponents beyond range, inf and
// nan, hexadecimal, a decimal comma, quotes) reads as ReadCell reads the
// cell of the plain split, and a row of the wrong length fails alike.
TEST(RowReaderTest, NumbersReadWhileSplittingAreTheCellRules) {
  static const char* const Cells[] = {"1.5", "-2e3", "+4", "+-4", " 7", "8 ", "1e400", "-1e-400", "inf", "nan",
                                      "0x1A", ".5", "5.", "-0", "NA", "", "1;5", "\"3\"", "1e", "12abc", "1.5e+07"};
  const auto Path = std::filesystem::temp_directory_path() / "varnel_row_reader_numbers.csv";
  std::mt19937 Engine(11);
  const TDataRules Rules;
  ASSERT_TRUE(PlainNumbersRead(Rules));
  int ReadPlain = 0;
  for (int Trial = 0; Trial < 100; ++Trial) {
    std::string Csv = "a,b,c\n";
    for (int r = 0; r < 20; ++r) {
      const int Fields = Trial % 10 == 9 && r == 13 ? 2 + 2 * (Trial % 20 == 9) : 3;
      for (int c = 0; c < Fields; ++c) Csv += std::string(c ? "," : "") + Cells[std::uniform_int_distribution<int>(0, 20)(Engine)];
      Csv += "\n";
    }
    std::ofstream(Path, std::ios::binary) << Csv;
    TRowReader Reader(Path.string(), {});
    TRowText Block;
    ASSERT_TRUE(Reader.Next(100, Block));
    TFieldBlock General, Plain;
    std::string GeneralError, PlainError;
    try { Reader.Split(Block, General); } catch (const TInputError& Error) { GeneralError = Error.what(); }
    try { Reader.Split(Block, Plain, {true, false, true}); } catch (const TInputError& Error) { PlainError = Error.what(); }
    EXPECT_EQ(PlainError, GeneralError) << Csv;
    if (!GeneralError.empty()) continue;
    for (std::size_t r = 0; r < General.Rows; ++r) {
      for (std::size_t c = 0; c < 3; ++c) {
        double Expected = 0, Got = 0;
        const TCellKind Kind = ReadCell(General.Cell(r, c), Rules, Expected);
        const bool Read = Plain.Number(r, c, Got);
        EXPECT_EQ(Plain.Cell(r, c), General.Cell(r, c));
        if (c == 1) {
          EXPECT_FALSE(Read);  // not asked for
        }
        if (!Read) continue;
        ++ReadPlain;
        EXPECT_EQ(Kind, TCellKind::Number) << General.Cell(r, c);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(Got), std::bit_cast<std::uint64_t>(Expected)) << General.Cell(r, c);
      }
    }
  }
  std::filesystem::remove(Path);
  EXPECT_GT(ReadPlain, 200);  // the rows whose number cells are all plain
  TDataRules Comma;
  Comma.Decimal = ',';
  TDataRules Sentinel;
  Sentinel.Missing.push_back("-999");
  EXPECT_FALSE(PlainNumbersRead(Comma));
  EXPECT_FALSE(PlainNumbersRead(Sentinel));
}

// The block buffer: never a null pointer (memchr of an empty one is then
// defined), its bytes kept as it grows, empty once moved from.
TEST(RowReaderTest, TheBlockBufferKeepsItsBytes) {
  TBytes Bytes;
  EXPECT_NE(Bytes.data(), nullptr);
  const std::string Text = "a,b\n1,2\n";
  Bytes.assign(Text.data(), Text.data() + Text.size());
  Bytes.resize(Bytes.size() + 3 * Bytes.capacity());  // grows, the bytes held kept
  EXPECT_EQ(std::string_view(Bytes.data(), Text.size()), Text);
  Bytes.resize(Text.size());
  Bytes.erase_front(4);
  EXPECT_EQ(std::string_view(Bytes.data(), Bytes.size()), "1,2\n");
  TBytes Copy = Bytes, Moved = std::move(Bytes);
  EXPECT_EQ(Copy, Moved);
  EXPECT_EQ(Bytes.size(), 0U);  // NOLINT(bugprone-use-after-move): moved from, empty
  EXPECT_NE(Bytes.data(), nullptr);
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
