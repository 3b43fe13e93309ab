// A figure as a gnuplot script: the data as inline blocks, one multiplot
// page, the image written to gnuplot's standard output.
#pragma once

#include <string>

#include "plots/figure.h"

namespace varnel::cli {

enum class TImageFormat { Svg, Png, Pdf };

struct TImageSize {
  int Width = 1200, Height = 900;  // pixels; a PDF page is 150 of them to the inch
};

std::string GnuplotScript(const TFigure& Figure, TImageFormat Format, TImageSize Size);

// A text as a gnuplot string in double quotes: backslashes and quotes
// escaped, well-formed UTF-8.
std::string GnuplotString(const std::string& Text);

}  // namespace varnel::cli
