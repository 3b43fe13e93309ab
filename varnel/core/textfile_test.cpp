// SPDX-License-Identifier: Apache-2.0
#include "varnel/core/textfile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "varnel/core/faults.h"

namespace varnel {
namespace {

class TextFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Dir = std::filesystem::temp_directory_path() /
                              ("varnel_textfile_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
  void SetUp() override { std::filesystem::create_directories(Dir); }
  void TearDown() override { std::filesystem::remove_all(Dir); }
  std::string PathOf(const char* Name) const { return (Dir / Name).string(); }
  static std::string Contents(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::stringstream S;
    S << In.rdbuf();
    return S.str();
  }
};

TEST_F(TextFileTest, WritesLinesWithCarriageReturnsAndFields) {
  const std::string Path = PathOf("out.txt");
  {
    TTextFile F(Path);
    F.Rewrite();
    F.Write(std::string_view("Cluster"));
    F.Write(std::int64_t{7}, 4);
    F.WriteLn();
    F.Write(3.14159L, 10, 4);
    F.WriteLn(" end");
    F.Close();
    F.Append();
    F.WriteLn("more");
    F.Flush();
  }  // closed by the destructor
  EXPECT_EQ(Contents(Path), "Cluster   7\r\n    3.1416 end\r\nmore\r\n");
  EXPECT_TRUE(FileExists(Path));
  EXPECT_FALSE(FileExists(PathOf("missing.txt")));
  EXPECT_FALSE(FileExists(Dir.string()));  // a folder is not a file
}

TEST_F(TextFileTest, ReadsCharactersIntegersAndLines) {
  const std::string Path = PathOf("in.txt");
  std::ofstream(Path, std::ios::binary) << "2 1 3 rest\r\n1\t\t4\n3 1\n 2\r\n 3";
  TTextFile F(Path);
  F.Reset();
  EXPECT_EQ(F.ReadChar(), '2');
  EXPECT_EQ(F.ReadChar(), ' ');
  EXPECT_EQ(F.ReadInteger(), 1);
  EXPECT_EQ(F.ReadInteger(), 3);
  F.ReadLn();
  EXPECT_EQ(F.ReadChar(), '1');
  EXPECT_EQ(F.ReadChar(), '\t');
  EXPECT_EQ(F.ReadInteger(), 4);
  F.ReadLn();
  EXPECT_EQ(F.ReadChar(), '3');
  F.ReadChar();
  EXPECT_EQ(F.ReadInteger(), 1);
  EXPECT_EQ(F.ReadInteger(), 2);  // line ends are blanks
  EXPECT_EQ(F.ReadInteger(), 3);
  EXPECT_TRUE(F.Eof());
  EXPECT_EQ(F.ReadInteger(), 0);
  EXPECT_EQ(F.ReadChar(), '\x1A');
}

TEST_F(TextFileTest, FailuresRaiseInOutError) {
  TTextFile Missing(PathOf("missing.txt"));
  EXPECT_THROW(Missing.Reset(), EInOutError);
  EXPECT_THROW(Missing.ReadChar(), EInOutError);  // never opened
  TTextFile InMissingFolder(PathOf("no/such/folder.txt"));
  EXPECT_THROW(InMissingFolder.Rewrite(), EInOutError);
  EXPECT_THROW(InMissingFolder.Append(), EInOutError);
  EXPECT_THROW(Missing.Append(), EInOutError);  // appending never creates a file
  EXPECT_FALSE(FileExists(PathOf("missing.txt")));

  const std::string Path = PathOf("bad.txt");
  std::ofstream(Path, std::ios::binary) << "x1 99999999999 " << std::string(500, '7');
  TTextFile F(Path);
  F.Reset();
  EXPECT_THROW(F.ReadInteger(), EInOutError);  // not a number
  EXPECT_THROW(F.ReadInteger(), EInOutError);  // out of range
  EXPECT_THROW(F.ReadInteger(), EInOutError);  // absurdly long
  F.Close();
  F.Close();
}

}  // namespace
}  // namespace varnel
