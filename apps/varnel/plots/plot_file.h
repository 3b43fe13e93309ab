// SPDX-License-Identifier: Apache-2.0
// A picture the tool writes: its file, checked before any analysis runs,
// and gnuplot, the program that draws it. gnuplot writes the image into a
// pipe and the tool keeps every byte of it; the tool then writes the file
// itself, with checked writes, as it writes every output (gnuplot exits 0
// after short writes, so it never writes a file of ours).
#pragma once

#include <string>
#include <sys/types.h>
#include <thread>

#include "output_target.h"
#include "plots/gnuplot_script.h"
#include "posix_io.h"

namespace varnel::cli {

class TPlotFile {
 public:
  // The format from Path's extension (.svg, .png or .pdf, in any case); a
  // TInputError when it is none of them, when gnuplot is not on the PATH,
  // or when Path cannot take the picture.
  TPlotFile(const std::string& Path, TImageSize Size);
  // A drawing still going on is stopped.
  ~TPlotFile();
  TPlotFile(const TPlotFile&) = delete;
  TPlotFile& operator=(const TPlotFile&) = delete;
  TImageFormat Format() const { return FFormat; }
  TImageSize Size() const { return FSize; }
  const TOutputTarget& Target() const { return FFile; }
  // Starts gnuplot on Script and returns while it draws; TWriteError when
  // it cannot start.
  void Start(const std::string& Script);
  // Waits for the drawing, then writes it to Path; TWriteError names
  // gnuplot's first complaint, or the failed write, and Path is left as it was.
  void Finish();

 private:
  std::string FShown;
  TImageFormat FFormat;
  std::string FGnuplot;
  TImageSize FSize;
  TOutputTarget FFile;
  TUniqueFd FErrors{-1};
  pid_t FChild = -1;
  // Reads the image from gnuplot's pipe while it draws.
  std::thread FReader;
  std::string FImage;
  int FReadError = 0;

  void StopDrawing();
};

// The executable Name in a folder of the PATH, or "".
std::string FindProgram(const std::string& Name);

}  // namespace varnel::cli
