// A picture the tool writes: its file, checked before any analysis runs,
// and gnuplot, the program that draws it.
#pragma once

#include <string>

#include "plots/gnuplot_script.h"
#include "posix_io.h"

namespace varnel::cli {

class TPlotFile {
 public:
  // The format from Path's extension (.svg, .png or .pdf, in any case); a
  // TInputError when it is none of them, when gnuplot is not on the PATH,
  // or when no file can be made beside Path.
  TPlotFile(const std::string& Path, TImageSize Size);
  TImageFormat Format() const { return FFormat; }
  TImageSize Size() const { return FSize; }
  // Has gnuplot draw Script into a new file beside Path, which then takes
  // Path's place; TWriteError, naming gnuplot's first complaint, when it fails.
  void Draw(const std::string& Script);

 private:
  std::string FShown;
  TImageFormat FFormat;
  std::string FGnuplot;
  TImageSize FSize;
  TReplacement FFile;
};

// The executable Name in a folder of the PATH, or "".
std::string FindProgram(const std::string& Name);

}  // namespace varnel::cli
