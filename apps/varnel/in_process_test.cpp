// SPDX-License-Identifier: Apache-2.0
// A command run in this process on text held in memory gives the tables
// the tool writes for a file of that text, byte for byte once written, and
// refuses as the tool does, in its words.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>

#include "command_line.h"
#include "results.h"
#include "tool_fixture.h"

namespace varnel::cli {
namespace {

class InProcessTest : public ToolTest {
 protected:
  static std::string Csv(const TResultTable& Table) {
    std::ostringstream Out;
    WriteCsv(Table, Out);
    return Out.str();
  }

  // The streamed table as a table of cells, counts as counts.
  static TResultTable TableOf(const TStreamedTable& Stream) {
    TResultTable Table{Stream.Name, Stream.Title, Stream.Columns, {}, {}};
    const std::size_t Rows = Stream.Values.empty() ? 0 : Stream.Values[0].size();
    for (std::size_t i = 0; i < Rows; ++i) {
      std::vector<TCell> Row;
      for (std::size_t c = 0; c < Stream.Columns.size(); ++c) {
        const double Value = Stream.Values[c][i];
        if (Stream.Counts[c]) Row.emplace_back(static_cast<long long>(Value));
        else if (!std::isnan(Value)) Row.emplace_back(Value);
        else Row.emplace_back(std::monostate{});
      }
      Table.Rows.push_back(std::move(Row));
    }
    return Table;
  }
};

TEST_F(InProcessTest, TablesAreTheToolsForTheSameText) {
  const std::string Path = std::string(VARNEL_EXAMPLES) + "/longley.csv";
  const auto Text = std::make_shared<const std::string>(Slurp(Path));
  const TInProcessResults Got = RunCommandInProcess({"regress", "--y", "Employed", "--level=0.9"}, Text, "longley");
  ASSERT_EQ(Got.Results.Tables.size(), 4u);
  EXPECT_FALSE(Got.Stream);
  EXPECT_EQ(Got.Results.Meta.File, "longley");
  for (const TResultTable& Table : Got.Results.Tables) {
    const TRun Tool = Run("regress " + Path + " --y Employed --level 0.9 --csv --table " + Table.Name);
    ASSERT_EQ(Tool.Status, 0) << Tool.Err;
    EXPECT_EQ(Csv(Table), Tool.Out) << Table.Name;
  }
}

// Beyond 19,999 rows the rows of the observations' table are made while
// the text is read a second time: the same for any number of threads.
TEST_F(InProcessTest, StreamedTableIsMadeWhole) {
  std::string Text = "a,b,y\n";
  for (long long i = 0; i < 21000; ++i) {
    const double a = Uniform(i, 1), b = Uniform(i, 2);
    Text += std::to_string(a) + "," + (i == 7 ? std::string("NA") : std::to_string(b)) + "," +
            std::to_string(a - 2 * b + Uniform(i, 3)) + "\n";
  }
  const std::string Path = Write("long.csv", Text);
  const auto Held = std::make_shared<const std::string>(Text);
  const TInProcessResults One = RunCommandInProcess({"diagnose", "--threads=1"}, Held, Path);
  const TInProcessResults Three = RunCommandInProcess({"diagnose", "--threads=3"}, Held, Path);
  ASSERT_TRUE(One.Stream && Three.Stream);
  ASSERT_EQ(One.Stream->Values[0].size(), 20999u);
  EXPECT_EQ(One.Stream->Values, Three.Stream->Values);
  const TRun Tool = Run("diagnose " + Path + " --csv --table observations");
  ASSERT_EQ(Tool.Status, 0) << Tool.Err;
  EXPECT_EQ(Csv(TableOf(*One.Stream)), Tool.Out);
}

TEST_F(InProcessTest, RefusalsAreTheToolsLine) {
  const std::string Path = Write("d.csv", "x,y\n1,2\n2,3.5\n3,3\n4,6\n");
  const auto Text = std::make_shared<const std::string>(Slurp(Path));
  const TRun Tool = Run("regress " + Path + " --x nope");
  ASSERT_EQ(Tool.Status, 2);
  try {
    RunCommandInProcess({"regress", "--x", "nope"}, Text, Path);
    FAIL() << "an unknown column was taken";
  } catch (const TCommandFailure& Failure) {
    EXPECT_EQ(Failure.Status(), 2);
    EXPECT_EQ("varnel: " + std::string(Failure.what()) + "\n", Tool.Err);
  }
  for (const char* Writes : {"--csv", "--json", "--report-texts", "--output=out.txt", "--plot=p.svg"}) {
    try {
      RunCommandInProcess({"diagnose", Writes}, Text, Path);
      FAIL() << Writes << " was taken";
    } catch (const TCommandFailure& Failure) {
      EXPECT_EQ(Failure.Status(), 2);
      EXPECT_NE(std::string(Failure.what()).find("is not for a run that returns the tables"), std::string::npos)
          << Failure.what();
    }
  }
  EXPECT_FALSE(std::filesystem::exists("out.txt"));
}

}  // namespace
}  // namespace varnel::cli
