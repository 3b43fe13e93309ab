// SPDX-License-Identifier: Apache-2.0
// The writer of gnuplot scripts: what reaches gnuplot's parser, and what
// the writer leaves out of a picture because it would draw nothing.
#include "plots/gnuplot_script.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace varnel::cli {
namespace {

// The lines of data block $D<Index> in Script.
std::vector<std::string> Block(const std::string& Script, int Index) {
  const std::string Start = "$D" + std::to_string(Index) + " << EOD\n";
  std::size_t At = Script.find(Start);
  std::vector<std::string> Lines;
  if (At == std::string::npos) return Lines;
  for (At += Start.size(); Script.compare(At, 4, "EOD\n") != 0;) {
    const std::size_t End = Script.find('\n', At);
    Lines.push_back(Script.substr(At, End - At));
    At = End + 1;
  }
  return Lines;
}

TFigure OnePanel(std::vector<TSeries> Series, TAxisRange X = {0, 10}, TAxisRange Y = {0, 10}) {
  TPanel P = PanelOf("t", "x", "y");
  P.XRange = X;
  P.YRange = Y;
  P.Series = std::move(Series);
  return {"figure", 1, 1, {std::move(P)}};
}

TEST(GnuplotScriptTest, StringsAreEscapedAndWellFormed) {
  EXPECT_EQ(GnuplotString("a\"b\\c"), "\"a\\042b\\134c\"");
  EXPECT_EQ(GnuplotString("caf\xC3\xA9"), "\"caf\xC3\xA9\"");
  EXPECT_EQ(GnuplotString("\xFF\xC3"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");  // not UTF-8: U+FFFD each
  EXPECT_EQ(GnuplotString("\xE0\x80\xAF"), "\"\xEF\xBF\xBD\"");           // an overlong form
}

// What gnuplot makes of a double-quoted literal, read as its manual gives
// the syntax: \ooo octal, \n a line end, \\ and \" themselves.
std::string Decoded(const std::string& Literal) {
  std::string Text;
  for (std::size_t i = 1; i + 1 < Literal.size(); ++i) {
    if (Literal[i] != '\\') {
      Text += Literal[i];
    } else if (Literal[i + 1] == 'n') {
      Text += '\n';
      ++i;
    } else if (Literal[i + 1] >= '0' && Literal[i + 1] <= '7') {
      Text += static_cast<char>(std::stoi(Literal.substr(i + 1, 3), nullptr, 8));
      i += 3;
    } else {
      Text += Literal[++i];
    }
  }
  return Text;
}

// gnuplot runs backquoted text and expands @macros in a line before it
// parses its strings, and a line end ends a command (or a data block's
// row): none of those bytes, nor a quote, may stand in a literal as itself.
TEST(GnuplotScriptTest, NoTextFromTheDataIsEverCodeToGnuplot) {
  std::string Every, Shown;
  for (int b = 1; b < 128; ++b) {
    Every += static_cast<char>(b);
    if (b == '\n' || (b >= 0x20 && b < 0x7F)) {
      Shown += static_cast<char>(b);
    } else {
      char Escape[5];
      std::snprintf(Escape, sizeof Escape, "\\x%02x", b);
      Shown += Escape;
    }
  }
  const std::pair<std::string, std::string> Cases[] = {
      {"x`touch PWNED`", "x`touch PWNED`"},
      {"system(\"touch PWNED\") $(touch PWNED) @x 'q' \\", "system(\"touch PWNED\") $(touch PWNED) @x 'q' \\"},
      {"a\nEOD\n!touch PWNED", "a\nEOD\n!touch PWNED"},
      {std::string("n\0l", 3), "n\\x00l"},
      {Every, Shown},
      {"caf\xC3\xA9 \xFF", "caf\xC3\xA9 \xEF\xBF\xBD"},
  };
  for (const auto& [Text, Drawn] : Cases) {
    const std::string Literal = GnuplotString(Text);
    ASSERT_GE(Literal.size(), 2u);
    EXPECT_EQ(Literal.front(), '"');
    EXPECT_EQ(Literal.back(), '"');
    const std::string Inside = Literal.substr(1, Literal.size() - 2);
    EXPECT_EQ(Inside.find_first_of(std::string("`@$\"'!#;\n\r\0", 12)), std::string::npos) << Literal;
    EXPECT_EQ(Decoded(Literal), Drawn) << Literal;
  }
  // The same literal in a data block: its row stays one line.
  TSeries Names = SeriesOf(TStyle::Labels, {1}, {1});
  Names.Texts = {"a\nEOD\nsystem('touch PWNED')"};
  EXPECT_EQ(Block(GnuplotScript(OnePanel({Names}), TImageFormat::Svg, {}), 0),
            (std::vector<std::string>{"1 1 " + GnuplotString(Names.Texts[0])}));
}

TEST(GnuplotScriptTest, TerminalSizeAndFormat) {
  const TFigure F = OnePanel({SeriesOf(TStyle::Points, {1}, {1})});
  EXPECT_NE(GnuplotScript(F, TImageFormat::Png, {}).find("set terminal pngcairo size 1200,900 "), std::string::npos);
  EXPECT_NE(GnuplotScript(F, TImageFormat::Svg, {640, 480}).find("set terminal svg size 640,480 "), std::string::npos);
  EXPECT_NE(GnuplotScript(F, TImageFormat::Pdf, {}).find("set terminal pdfcairo size 8in,6in "), std::string::npos);
}

TEST(GnuplotScriptTest, LeavesOutWhatCannotOrNeedNotBeDrawn) {
  const double Inf = std::numeric_limits<double>::infinity();
  TSeries Line = SeriesOf(TStyle::Smoother, {0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 2, 1});  // a corner at x = 3
  TSeries Cloud = SeriesOf(TStyle::Points, {1, 1.0001, 1.0002, 5, NAN, 6}, {1, 1, 1.0001, 5, 2, Inf});
  TSeries Names = SeriesOf(TStyle::Labels, {1, 9.5}, {1, 1});
  Names.Texts = {"left \"q\"", "right"};
  const std::string Script = GnuplotScript(OnePanel({Line, Cloud, Names}), TImageFormat::Png, {});
  EXPECT_EQ(Block(Script, 0), (std::vector<std::string>{"0 0", "3 3", "5 1"}));
  // Within a quarter pixel of the point before: not drawn; not finite: not drawn.
  EXPECT_EQ(Block(Script, 1), (std::vector<std::string>{"1 1", "5 5"}));
  // A label in the panel's right eighth ends at its point; its quotes are
  // escapes, as in every string.
  EXPECT_EQ(Block(Script, 2), (std::vector<std::string>{"1 1 \"left \\042q\\042\""}));
  EXPECT_EQ(Block(Script, 3), (std::vector<std::string>{"9.5 1 \"right\""}));
  EXPECT_NE(Script.find("$D3 using 1:2:3 with labels right"), std::string::npos);
  // A range the doubles cannot hold is gnuplot's to choose.
  const std::string Wide = GnuplotScript(OnePanel({Cloud}, {-Inf, 1}, {3, 3}), TImageFormat::Png, {});
  EXPECT_NE(Wide.find("set xrange [*:*]\nset yrange [*:*]\n"), std::string::npos);
}

}  // namespace
}  // namespace varnel::cli
