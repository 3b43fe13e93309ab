// A picture the tool writes: its file, checked before any analysis runs,
// and gnuplot, the program that draws it.
#pragma once

#include <string>
#include <sys/types.h>

#include "plots/gnuplot_script.h"
#include "posix_io.h"

namespace varnel::cli {

class TPlotFile {
 public:
  // The format from Path's extension (.svg, .png or .pdf, in any case); a
  // TInputError when it is none of them, when gnuplot is not on the PATH,
  // or when no file can be made beside Path.
  TPlotFile(const std::string& Path, TImageSize Size);
  // A drawing still going on is stopped, and its file removed.
  ~TPlotFile();
  TPlotFile(const TPlotFile&) = delete;
  TPlotFile& operator=(const TPlotFile&) = delete;
  TImageFormat Format() const { return FFormat; }
  TImageSize Size() const { return FSize; }
  // Starts gnuplot on Script, drawing into a new file beside Path, and
  // returns while it draws; TWriteError when it cannot start.
  void Start(const std::string& Script);
  // Waits for the drawing; then the new file takes Path's place, or
  // TWriteError names gnuplot's first complaint and Path is left as it was.
  void Finish();

 private:
  std::string FShown;
  TImageFormat FFormat;
  std::string FGnuplot;
  TImageSize FSize;
  TReplacement FFile;
  TUniqueFd FErrors{-1};
  pid_t FChild = -1;
};

// The executable Name in a folder of the PATH, or "".
std::string FindProgram(const std::string& Name);

}  // namespace varnel::cli
