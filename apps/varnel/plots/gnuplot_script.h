// SPDX-License-Identifier: Apache-2.0
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

// A text as a gnuplot string literal, the one form in which any text from
// the data (names, levels, titles) reaches a script or a data block. The
// rule: in double quotes, only letters, digits, space and . , _ + - ( ) / :
// stand for themselves, and every other ASCII byte is an octal escape (\140
// for a backquote, \100 for @, \042 for a quote, \044 for $). gnuplot
// expands backquoted commands and @macros in the raw line before it parses
// strings, so a literal without those bytes can only ever be text. UTF-8
// sequences (which hold no ASCII byte) are kept, bytes that are not UTF-8
// become U+FFFD, a line end breaks the line and other control characters
// are shown as \xNN.
std::string GnuplotString(const std::string& Text);

}  // namespace varnel::cli
