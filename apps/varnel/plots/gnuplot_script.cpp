// SPDX-License-Identifier: Apache-2.0
#include "plots/gnuplot_script.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <sstream>

#include "output.h"
#include "plots/plot_statistics.h"
#include "results.h"

namespace varnel::cli {
namespace {

// Colours that stay apart in greyscale print (their lightness differs),
// and symbols, for the groups of a cluster plot: group g has colour g mod 8
// and symbol (g + g / 8) mod 8, so that 64 groups are told apart.
constexpr std::array<const char*, 8> kGroupColours{"#0072B2", "#E69F00", "#009E73", "#CC79A7",
                                                   "#000000", "#56B4E9", "#D55E00", "#999999"};
constexpr std::array<int, 8> kGroupSymbols{7, 5, 9, 13, 6, 4, 8, 12};

// The font size that keeps a page of many panels legible.
int FontSize(const TFigure& Figure, TImageFormat Format) {
  const std::size_t Panels = Figure.Panels.size();
  const int Pixels = Panels <= 4 ? 12 : Panels <= 9 ? 10 : 9;
  // cairo's PDF takes points: a 150-pixel inch holds 72 of them.
  return Format == TImageFormat::Pdf ? std::max(4, Pixels * 72 / 150 + 1) : Pixels;
}

std::string Terminal(const TFigure& Figure, TImageFormat Format, TImageSize Size) {
  const std::string Font = "font \"DejaVu Sans," + std::to_string(FontSize(Figure, Format)) + "\" noenhanced";
  std::ostringstream Out;
  switch (Format) {
    case TImageFormat::Svg:
      Out << "set terminal svg size " << Size.Width << "," << Size.Height << " " << Font
          << " background rgb \"white\"";
      break;
    case TImageFormat::Png:
      Out << "set terminal pngcairo size " << Size.Width << "," << Size.Height << " " << Font
          << " background rgb \"white\"";
      break;
    case TImageFormat::Pdf:
      Out << "set terminal pdfcairo size " << Size.Width / 150.0 << "in," << Size.Height / 150.0 << "in " << Font;
      break;
  }
  return Out.str();
}

// Each series' points as an inline data block $D<i>: the rows with every
// coordinate finite.
void WriteData(const TSeries& S, int Index, std::ostream& Out) {
  Out << "$D" << Index << " << EOD\n";
  for (std::size_t i = 0; i < S.X.size() && i < S.Y.size(); ++i) {
    const bool HasWidth = i < S.Width.size();
    if (!std::isfinite(S.X[i]) || !std::isfinite(S.Y[i]) || (HasWidth && !std::isfinite(S.Width[i]))) continue;
    Out << ShortestNumber(S.X[i]) << ' ' << ShortestNumber(S.Y[i]);
    if (HasWidth) Out << ' ' << ShortestNumber(S.Width[i]);
    if (i < S.Texts.size()) Out << ' ' << GnuplotString(S.Texts[i]);
    Out << '\n';
  }
  Out << "EOD\n";
}

// Symbols shrink as they crowd; open circles of a large cloud are drawn
// with thin lines, which also halves the time cairo takes over a PDF.
std::string PointSize(std::size_t Points, bool Filled) {
  if (Points > 2000) return Filled ? "0.5" : "0.45 lw 0.5";
  if (Points > 200) return Filled ? "0.8" : "0.6";
  return Filled ? "1.3" : "0.9";
}

// How a series is drawn: one or more of gnuplot's plot elements.
std::vector<std::string> Looks(const TSeries& S) {
  const std::size_t Points = S.X.size();
  const auto Group = static_cast<std::size_t>(S.Group) % kGroupColours.size();
  const auto Symbol = (static_cast<std::size_t>(S.Group) + static_cast<std::size_t>(S.Group) / 8) % kGroupSymbols.size();
  switch (S.Style) {
    case TStyle::Points: return {"using 1:2 with points pt 6 ps " + PointSize(Points, false) + " lc rgb \"#000000\""};
    case TStyle::Smoother: return {"using 1:2 with lines lw 2 lc rgb \"#D62728\""};
    case TStyle::Reference: return {"using 1:2 with lines dt 3 lw 1.5 lc rgb \"#6E6E6E\""};
    case TStyle::Contour: return {"using 1:2 with lines dt 2 lw 1.5 lc rgb \"#D62728\""};
    case TStyle::Labels: return {"using 1:2:3 with labels left offset char 0.5,0.4 tc rgb \"#000000\""};
    case TStyle::RightLabels: return {"using 1:2:3 with labels right offset char -0.5,0.4 tc rgb \"#000000\""};
    case TStyle::Bars: return {"using 1:2:3 with boxes lc rgb \"#7F9CC4\" fs solid 0.6 border lc rgb \"#000000\""};
    case TStyle::Profile: return {"using 1:2 with linespoints pt 7 ps 1.2 lw 2 lc rgb \"#000000\""};
    case TStyle::Arrows:
      return {"using (0):(0):1:2 with vectors head filled size char 0.7,20 lw 1.5 lc rgb \"#D62728\""};
    case TStyle::Group:
      return {"using 1:2 with points pt " + std::to_string(kGroupSymbols[Symbol]) + " ps " + PointSize(Points, true) +
              " lc rgb \"" + kGroupColours[Group] + "\""};
    case TStyle::Centres:
      return {"using 1:2 with points pt 7 ps 3.6 lc rgb \"#FFFFFF\"",
              "using 1:2 with points pt 6 ps 3.6 lw 2 lc rgb \"#000000\"",
              "using 1:2:3 with labels center tc rgb \"#000000\""};
  }
  return {"using 1:2 with points"};
}

std::string Range(const std::optional<TAxisRange>& R) {
  // A range the numbers cannot hold (beyond the doubles, or empty) is left to gnuplot.
  const bool Usable = R && std::isfinite(R->Low) && std::isfinite(R->High) && R->Low < R->High;
  return Usable ? "[" + ShortestNumber(R->Low) + ":" + ShortestNumber(R->High) + "]" : "[*:*]";
}

// The step between an axis' tics: a round one that leaves each tic label
// about Spacing pixels of the panel's Pixels, in at least Fewest steps;
// "autofreq" without a range.
std::string TicStep(const std::optional<TAxisRange>& R, double Pixels, double Spacing, int Fewest) {
  if (!R || !std::isfinite(R->High - R->Low) || R->Low >= R->High) return "autofreq";
  const std::vector<double> Breaks =
      PrettyBreaks(R->Low, R->High, std::max(Fewest, static_cast<int>(Pixels / Spacing)));
  return ShortestNumber(Breaks[1] - Breaks[0]);
}

void WriteAxes(const TPanel& P, double PixelsWide, double PixelsHigh, std::ostream& Out) {
  Out << (P.Square ? "set size ratio 1\n" : "set size noratio\n");
  Out << "set title " << GnuplotString(P.Title) << "\nset xlabel " << GnuplotString(P.XLabel) << "\nset ylabel "
      << GnuplotString(P.YLabel) << "\nset xrange " << Range(P.XRange) << "\nset yrange " << Range(P.YRange)
      << "\nunset x2tics\nunset y2tics\nset xtics nomirror out\nset ytics nomirror out "
      << TicStep(P.YRange, PixelsHigh, 60, 3) << "\n";
  if (!P.XTicNames.empty()) {
    Out << "set xtics (";
    for (std::size_t i = 0; i < P.XTicNames.size(); ++i)
      Out << (i ? ", " : "") << GnuplotString(P.XTicNames[i]) << ' ' << i + 1;
    Out << ")" << (P.XTicNames.size() > 12 ? " rotate by 90 right" : " norotate") << "\n";
  } else {
    Out << "set xtics " << TicStep(P.XRange, PixelsWide, 55, 4) << " norotate\n";
  }
  if (P.SecondScale && std::isfinite(*P.SecondScale) && P.XRange && P.YRange) {
    const double s = *P.SecondScale;
    Out << "set x2tics nomirror out textcolor rgb \"#D62728\"\nset y2tics nomirror out textcolor rgb \"#D62728\"\n"
        << "set x2range [" << ShortestNumber(P.XRange->Low * s) << ":" << ShortestNumber(P.XRange->High * s) << "]\n"
        << "set y2range [" << ShortestNumber(P.YRange->Low * s) << ":" << ShortestNumber(P.YRange->High * s) << "]\n";
  }
  const bool Keyed = std::any_of(P.Series.begin(), P.Series.end(), [](const TSeries& S) { return !S.Key.empty(); });
  if (Keyed) {
    Out << "set key " << P.KeyPlace << " nobox samplen 3\n";
  } else {
    Out << "unset key\n";
  }
}

// A line's vertices that lie on the line between their neighbours (to a
// millionth of the panel) draw nothing: lowess interpolates most of its
// points, and a smoother of 20,000 points is a few hundred segments.
void DropStraightVertices(TSeries& S, const TPanel& P) {
  if (S.X.size() < 3 || !P.XRange || !P.YRange) return;
  const double Wide = P.XRange->High - P.XRange->Low, High = P.YRange->High - P.YRange->Low;
  std::size_t Kept = 0;
  for (std::size_t i = 1; i + 1 < S.X.size(); ++i) {
    const double Dx = (S.X[i + 1] - S.X[Kept]) / Wide, Dy = (S.Y[i + 1] - S.Y[Kept]) / High;
    const double Ex = (S.X[i] - S.X[Kept]) / Wide, Ey = (S.Y[i] - S.Y[Kept]) / High;
    const double Length = std::hypot(Dx, Dy);
    const double Off = Length > 0 ? std::fabs(Ex * Dy - Ey * Dx) / Length : std::hypot(Ex, Ey);
    if (Off > 1e-6) {
      ++Kept;
      S.X[Kept] = S.X[i];
      S.Y[Kept] = S.Y[i];
    }
  }
  S.X[++Kept] = S.X.back();
  S.Y[Kept] = S.Y.back();
  S.X.resize(Kept + 1);
  S.Y.resize(Kept + 1);
}

// A point within a quarter of a pixel of the one drawn before it draws
// nothing new: the sorted points of a Q-Q plot of 20,000 residuals are a few
// thousand symbols, which matters to the time a PDF takes.
void DropCoveredPoints(TSeries& S, const TPanel& P, double PixelsWide, double PixelsHigh) {
  if (!P.XRange || !P.YRange || S.X.empty()) return;
  const double Dx = 0.25 * (P.XRange->High - P.XRange->Low) / PixelsWide;
  const double Dy = 0.25 * (P.YRange->High - P.YRange->Low) / PixelsHigh;
  std::size_t Kept = 0;
  for (std::size_t i = 1; i < S.X.size(); ++i) {
    if (std::fabs(S.X[i] - S.X[Kept]) <= Dx && std::fabs(S.Y[i] - S.Y[Kept]) <= Dy) continue;
    ++Kept;
    S.X[Kept] = S.X[i];
    S.Y[Kept] = S.Y[i];
  }
  S.X.resize(Kept + 1);
  S.Y.resize(Kept + 1);
}

// Labels in the right eighth of a panel end at their points, so that none
// runs off the edge; lines and clouds lose the vertices and points that
// draw nothing.
TFigure Placed(TFigure Figure, TImageSize Size) {
  const double PixelsWide = 0.8 * Size.Width / Figure.Columns, PixelsHigh = 0.8 * Size.Height / Figure.Rows;
  for (TPanel& P : Figure.Panels) {
    for (TSeries& S : P.Series) {
      if (S.Style == TStyle::Smoother || S.Style == TStyle::Contour) DropStraightVertices(S, P);
      if (S.Style == TStyle::Points || S.Style == TStyle::Group) DropCoveredPoints(S, P, PixelsWide, PixelsHigh);
    }
    if (!P.XRange) continue;
    const double Edge = P.XRange->High - (P.XRange->High - P.XRange->Low) / 8;
    const std::size_t Count = P.Series.size();
    for (std::size_t s = 0; s < Count; ++s) {
      if (P.Series[s].Style != TStyle::Labels) continue;
      TSeries Left = SeriesOf(TStyle::Labels, {}, {}), Right = SeriesOf(TStyle::RightLabels, {}, {});
      const TSeries& S = P.Series[s];
      for (std::size_t i = 0; i < S.X.size(); ++i) {
        TSeries& To = S.X[i] > Edge ? Right : Left;
        To.X.push_back(S.X[i]);
        To.Y.push_back(S.Y[i]);
        To.Texts.push_back(S.Texts[i]);
      }
      P.Series[s] = std::move(Left);
      if (!Right.X.empty()) P.Series.push_back(std::move(Right));
    }
  }
  return Figure;
}

}  // namespace

std::string GnuplotString(const std::string& Text) {
  // Control characters other than the line end are shown as Printable
  // shows them on a terminal; the line end breaks the line.
  std::string Shown;
  for (std::size_t Start = 0; Start <= Text.size();) {
    const std::size_t End = std::min(Text.find('\n', Start), Text.size());
    Shown += (Start ? "\n" : "") + Printable(Text.substr(Start, End - Start));
    Start = End + 1;
  }
  std::string Out = "\"";
  for (const char c : ValidUtf8(Shown)) {
    const auto Byte = static_cast<unsigned char>(c);
    if (Byte >= 0x80 || std::isalnum(Byte) || std::strchr(" .,_+-()/:", c) != nullptr) {
      Out += c;
    } else {
      const char Octal[] = {'\\', static_cast<char>('0' + (Byte >> 6)), static_cast<char>('0' + (Byte >> 3 & 7)),
                            static_cast<char>('0' + (Byte & 7))};
      Out.append(Octal, sizeof Octal);
    }
  }
  return Out + '"';
}

std::string GnuplotScript(const TFigure& Drawn, TImageFormat Format, TImageSize Size) {
  const TFigure Figure = Placed(Drawn, Size);
  std::ostringstream Out;
  Out << "set encoding utf8\n" << Terminal(Figure, Format, Size) << "\n";
  int Block = 0;
  for (const TPanel& P : Figure.Panels)
    for (const TSeries& S : P.Series) WriteData(S, Block++, Out);
  // Autoscaled axes end at the data, widened by 4 % as R's axes are.
  Out << "set autoscale fix\nset offsets graph 0.04, graph 0.04, graph 0.04, graph 0.04\n"
      << "set border 15 lw 1\nset style fill solid 0.6\n"
      << "set multiplot layout " << Figure.Rows << "," << Figure.Columns << " title "
      << GnuplotString(Figure.Title) << " font \"," << FontSize(Figure, Format) + 2 << "\"\n";
  Block = 0;
  for (const TPanel& P : Figure.Panels) {
    WriteAxes(P, 0.8 * Size.Width / Figure.Columns, 0.8 * Size.Height / Figure.Rows, Out);
    std::string Elements;
    for (const TSeries& S : P.Series) {
      const std::vector<std::string> Parts = Looks(S);
      for (std::size_t e = 0; e < Parts.size(); ++e) {
        // The legend shows the series once, by its last element.
        const bool Keyed = !S.Key.empty() && e + 1 == Parts.size() - (S.Style == TStyle::Centres ? 1 : 0);
        Elements += (Elements.empty() ? "" : ", \\\n     ") + ("$D" + std::to_string(Block)) + ' ' + Parts[e] +
                    (Keyed ? " title " + GnuplotString(S.Key) : " notitle");
      }
      ++Block;
    }
    Out << "plot " << Elements << "\n";
  }
  Out << "unset multiplot\n";
  return Out.str();
}

}  // namespace varnel::cli
