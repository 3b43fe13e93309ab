// SPDX-License-Identifier: Apache-2.0
// --plot as a user meets it: real pictures from public data sets, checked
// as images of their kind and size, and the refusals, each one line.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tool_fixture.h"

namespace varnel::cli {
namespace {

const std::string kSwiss = std::string(VARNEL_EXAMPLES) + "/swiss.csv --y Fertility";
const std::string kLongley = std::string(VARNEL_EXAMPLES) + "/longley.csv --no-scan";

struct TImage {
  std::string Kind;
  int Width = 0, Height = 0;
};

std::uint32_t BigEndian(const std::string& Bytes, std::size_t At) {
  std::uint32_t Value = 0;
  for (std::size_t i = 0; i < 4; ++i) Value = Value << 8 | static_cast<unsigned char>(Bytes[At + i]);
  return Value;
}

// What a file is by its own bytes: PNG by its signature and header chunk,
// SVG by its root element's size, PDF by its header, page box and trailer.
TImage ImageOf(const std::string& Bytes) {
  std::smatch M;
  if (Bytes.size() > 24 && Bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 && Bytes.compare(12, 4, "IHDR") == 0)
    return {"png", static_cast<int>(BigEndian(Bytes, 16)), static_cast<int>(BigEndian(Bytes, 20))};
  if (std::regex_search(Bytes, M, std::regex("<svg\\s+width=\"(\\d+)\" height=\"(\\d+)\"")) &&
      Bytes.find("</svg>") != std::string::npos)
    return {"svg", std::stoi(M[1]), std::stoi(M[2])};
  if (Bytes.rfind("%PDF-", 0) == 0 && Bytes.find("%%EOF") != std::string::npos &&
      std::regex_search(Bytes, M, std::regex("/MediaBox \\[ 0 0 (\\d+) (\\d+) \\]")))
    return {"pdf", std::stoi(M[1]), std::stoi(M[2])};
  return {};
}

class PlotTest : public ToolTest {
 protected:
  // The hidden files a write leaves beside its target while it works.
  bool LeftoverFiles() const {
    for (const auto& Entry : std::filesystem::directory_iterator(Dir))
      if (Entry.path().filename().string().find(".varnel-") != std::string::npos) return true;
    return false;
  }
};

TEST_F(PlotTest, EachCommandDrawsAValidImageOfItsKindAndSize) {
  struct TCase {
    std::string Arguments, File;
    TImage Expected;
  };
  const TCase Cases[] = {
      {"diagnose " + kSwiss, "diagnose.png", {"png", 1200, 900}},
      {"pca " + kSwiss, "pca.svg", {"svg", 1200, 900}},
      {"cluster " + kSwiss, "cluster.PDF", {"pdf", 576, 432}},  // 8 x 6 inches
      {"describe " + kLongley + " --plot-size 800x600", "describe.png", {"png", 800, 600}},
  };
  for (const TCase& Case : Cases) {
    const std::string Target = (Dir / Case.File).string();
    const TRun Run = this->Run(Case.Arguments + " --plot " + Target + " --csv");
    EXPECT_EQ(Run.Status, 0) << Case.Arguments << ": " << Run.Err;
    EXPECT_GT(Lines(Run.Out), 1) << "the tables are written as well";
    const TImage Image = ImageOf(Slurp(Target));
    EXPECT_EQ(Image.Kind, Case.Expected.Kind) << Case.File;
    EXPECT_EQ(Image.Width, Case.Expected.Width) << Case.File;
    EXPECT_EQ(Image.Height, Case.Expected.Height) << Case.File;
  }
  EXPECT_FALSE(LeftoverFiles());
}

// Names reach gnuplot as strings: quotes, backslashes, gnuplot's own
// markup, a line end and bytes that are not UTF-8 must not break its script.
TEST_F(PlotTest, AnyColumnNameDrawsAsText) {
  const std::string File = Write("names.csv", "\"q\"\"uote\\back\",\"two\nlines\",x_{2}^@,\xff\xfey\n"
                                              "1,2,3,4\n2,1,4,6\n3,5,4,7\n4,3,8,9\n5,4,1,8\n");
  for (const char* Command : {"diagnose", "pca", "cluster --clusters 2", "describe"}) {
    const std::string Target = (Dir / "names.svg").string();
    const TRun Run = this->Run(std::string(Command) + " " + File + " --no-scan --plot " + Target);
    EXPECT_EQ(Run.Status, 0) << Command << ": " << Run.Err;
    EXPECT_EQ(ImageOf(Slurp(Target)).Kind, "svg") << Command;
  }
}

// Column names, factor levels and the picture's own path carrying shell
// and gnuplot syntax run nothing (the marker file never appears), in every
// picture type, and the SVG shows each name as it was written.
TEST_F(PlotTest, HostileNamesLevelsAndPathsRunNothing) {
  const std::string Marker = (Dir / "PWNED").string(), Touch = "touch " + Marker;
  const std::string Names[] = {"a`" + Touch + "`", "b$(" + Touch + ")", "@c", "g"};
  const std::string Response = "system(\"" + Touch + "\")";
  std::string Csv = Names[0] + "," + Names[1] + "," + Names[2] + "," + Names[3] + ",\"" +
                    std::string("system(\"\"") + Touch + "\"\")\"\n";
  const std::string Levels[] = {"`" + Touch + "`", "@x' ; system('" + Touch + "')"};
  for (int i = 0; i < 12; ++i) {
    Csv += std::to_string(i * 7 % 5) + "," + std::to_string(i * i % 7) + "," + std::to_string(i % 4 + i) + ",\"" +
           Levels[i % 2] + "\"," + std::to_string(i * 3 % 11 + i) + "\n";
  }
  const std::string File = Write("hostile.csv", Csv);
  const char* Formats[] = {"svg", "png", "pdf"};
  // The path's commands would run in the test's folder.
  const std::string Picture = "p`touch PWNED`$(touch PWNED)@x.";
  // What each picture names: the response in diagnose's titles, the columns
  // (a factor's dummies among them) in describe's histograms and pca's
  // biplot; cluster's axes are components.
  const std::pair<const char*, std::string> Commands[] = {
      {"diagnose", Response}, {"describe", Names[0]}, {"pca", "g`" + Touch + "`"}, {"cluster --clusters 2", ""}};
  for (const auto& [Command, Shown] : Commands) {
    for (const char* Format : Formats) {
      const std::string Target = (Dir / (Picture + Format)).string();
      const TRun Run = this->Run(std::string(Command) + " " + File + " --plot '" + Target + "'", "cd " + Dir.string() + " &&");
      EXPECT_EQ(Run.Status, 0) << Command << " " << Format << ": " << Run.Err;
      EXPECT_EQ(ImageOf(Slurp(Target)).Kind, Format) << Command;
      EXPECT_FALSE(std::filesystem::exists(Marker)) << Command << " " << Format << " ran a command";
    }
    const std::string Svg = Slurp(Dir / (Picture + "svg"));
    EXPECT_NE(Svg.find(Shown), std::string::npos) << Command;
  }
}

TEST_F(PlotTest, BadFormatPathOrMissingGnuplotIsExitTwoWithOneLine) {
  std::filesystem::create_directory(Dir / "folder.png");
  const std::pair<std::string, std::string> Cases[] = {
      {"diagnose " + kSwiss + " --plot " + (Dir / "picture.jpg").string(), ".svg, .png or .pdf"},
      {"diagnose " + kSwiss + " --plot " + (Dir / "picture").string(), ".svg, .png or .pdf"},
      {"pca " + kSwiss + " --plot " + (Dir / "no" / "such" / "picture.png").string(), "No such file or directory"},
      {"pca " + kSwiss + " --plot " + (Dir / "folder.png").string(), "not a regular file"},
      {"cluster " + kSwiss + " --report-texts --plot " + (Dir / "picture.png").string(), "--report-texts"},
  };
  for (const auto& [Arguments, Reason] : Cases) {
    const TRun Run = this->Run(Arguments);
    EXPECT_EQ(Run.Status, 2) << Arguments;
    EXPECT_EQ(Lines(Run.Err), 1) << Run.Err;
    EXPECT_NE(Run.Err.find(Reason), std::string::npos) << Run.Err;
    EXPECT_EQ(Run.Out, "");
  }
  // A request refused once the results are there stops the drawing: no picture.
  const TRun Refused = Run("diagnose " + kSwiss + " --csv --table nope --plot " + (Dir / "picture.png").string());
  EXPECT_EQ(Refused.Status, 2);
  EXPECT_EQ(Lines(Refused.Err), 1) << Refused.Err;
  // Without gnuplot the tool says so and does nothing else; without --plot it runs.
  const TRun Missing = Run("describe " + kLongley + " --plot " + (Dir / "picture.png").string(), "PATH=/nonexistent");
  EXPECT_EQ(Missing.Status, 2);
  EXPECT_EQ(Missing.Err, "varnel: --plot needs gnuplot, which is not installed: install gnuplot (Debian: gnuplot-nox)\n");
  EXPECT_EQ(Run("describe " + kLongley, "PATH=/nonexistent").Status, 0);
  EXPECT_FALSE(std::filesystem::exists(Dir / "picture.png"));
  EXPECT_FALSE(LeftoverFiles());
}

TEST_F(PlotTest, AFailingGnuplotIsExitOneAndLeavesTheTargetAsItWas) {
  std::filesystem::create_directory(Dir / "bin");
  const std::string Fake = Write("bin/gnuplot", "#!/bin/sh\ncat >/dev/null\necho 'line 7: out of ink' >&2\nexit 1\n");
  std::filesystem::permissions(Fake, std::filesystem::perms::owner_all);
  const std::string Target = Write("picture.png", "an earlier picture");
  const TRun Run = this->Run("diagnose " + kSwiss + " --plot " + Target, "PATH=" + (Dir / "bin").string() + ":/usr/bin:/bin");
  EXPECT_EQ(Run.Status, 1);
  EXPECT_EQ(Run.Err, "varnel: " + Target + ": gnuplot could not draw the picture: line 7: out of ink\n");
  EXPECT_GT(Lines(Run.Out), 47) << "the tables are written while gnuplot draws";
  EXPECT_EQ(Slurp(Target), "an earlier picture");
  EXPECT_FALSE(LeftoverFiles());
}

TEST_F(PlotTest, OutputRefusesToReplaceAFolderOrADevice) {
  std::filesystem::create_directory(Dir / "folder");
  const TRun Folder = Run("regress " + kSwiss + " -o " + (Dir / "folder").string());
  EXPECT_EQ(Folder.Status, 2);
  EXPECT_NE(Folder.Err.find("not a regular file (a directory)"), std::string::npos) << Folder.Err;
  EXPECT_TRUE(std::filesystem::is_directory(Dir / "folder"));
  const TRun Device = Run("regress " + kSwiss + " -o /dev/null");
  EXPECT_EQ(Device.Status, 2);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_FALSE(LeftoverFiles());
}

}  // namespace
}  // namespace varnel::cli
