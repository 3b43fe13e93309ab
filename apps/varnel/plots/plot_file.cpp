// SPDX-License-Identifier: Apache-2.0
#include "plots/plot_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "csv_table.h"
#include "exit_cleanup.h"
#include "output.h"

extern char** environ;

namespace varnel::cli {
namespace {

TImageFormat FormatOf(const std::string& Path) {
  std::string Extension = std::filesystem::path(Path).extension().string();
  std::transform(Extension.begin(), Extension.end(), Extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (Extension == ".svg") return TImageFormat::Svg;
  if (Extension == ".png") return TImageFormat::Png;
  if (Extension == ".pdf") return TImageFormat::Pdf;
  throw TInputError(Printable(Path) + ": --plot writes .svg, .png or .pdf files (the format comes from the extension)");
}

std::string GnuplotOrRefusal() {
  std::string Path = FindProgram("gnuplot");
  if (Path.empty()) throw TInputError("--plot needs gnuplot, which is not installed: install gnuplot (Debian: gnuplot-nox)");
  return Path;
}

// An anonymous file in memory holding Text, read from its start.
TUniqueFd MemoryFile(const char* Name, const std::string& Text) {
  TUniqueFd File(::memfd_create(Name, MFD_CLOEXEC));
  if (!File || WriteAll(File.Get(), Text.data(), Text.size()) != 0 || ::lseek(File.Get(), 0, SEEK_SET) != 0)
    throw TWriteError(std::string("cannot hold the picture's script in memory: ") + std::strerror(errno));
  return File;
}

// The first line gnuplot wrote to its standard error.
std::string FirstLine(int Fd) {
  std::string Text(4096, '\0');
  const ssize_t Read = ::pread(Fd, Text.data(), Text.size(), 0);
  Text.resize(Read > 0 ? static_cast<std::size_t>(Read) : 0);
  Text.erase(0, Text.find_first_not_of(" \n"));
  Text = Text.substr(0, Text.find('\n'));
  return Text.empty() ? "no message" : Printable(Text, 300);
}

// Starts gnuplot with Script as its standard input, the image going to Out
// and its complaints to Errors, as process Child: 0, or why it did not start.
int StartGnuplot(const std::string& Program, int Script, int Out, int Errors, pid_t& Child) {
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Script, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&Actions, Out, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&Actions, Errors, STDERR_FILENO);
  // The script as a file, not typed commands: its first error ends the run.
  char Name[] = "gnuplot", Defaults[] = "-d", Input[] = "/dev/stdin";
  char* Arguments[] = {Name, Defaults, Input, nullptr};
  const int Spawned = ::posix_spawn(&Child, Program.c_str(), &Actions, nullptr, Arguments, environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Spawned != 0) Child = -1;
  return Spawned;
}

// Everything Fd gives until its end: 0, or the errno of a failed read.
int ReadAll(int Fd, std::string& Text) {
  char Chunk[1 << 16];
  for (;;) {
    const ssize_t Read = ::read(Fd, Chunk, sizeof Chunk);
    if (Read < 0 && errno == EINTR) continue;
    if (Read < 0) return errno;
    if (Read == 0) return 0;
    Text.append(Chunk, static_cast<std::size_t>(Read));
  }
}

// The exit status of Child, or −1 when it did not exit by itself.
int WaitFor(pid_t Child) {
  int Status = 0;
  while (::waitpid(Child, &Status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

}  // namespace

std::string FindProgram(const std::string& Name) {
  const char* Path = std::getenv("PATH");
  std::string Folders = Path ? Path : "/usr/bin:/bin";
  for (std::size_t Start = 0; Start <= Folders.size();) {
    const std::size_t End = std::min(Folders.find(':', Start), Folders.size());
    const std::string Folder = End > Start ? Folders.substr(Start, End - Start) : ".";
    const std::string Candidate = Folder + "/" + Name;
    struct stat Status {};
    if (::stat(Candidate.c_str(), &Status) == 0 && S_ISREG(Status.st_mode) && ::access(Candidate.c_str(), X_OK) == 0)
      return Candidate;
    Start = End + 1;
  }
  return "";
}

TPlotFile::TPlotFile(const std::string& Path, TImageSize Size)
    : FShown(Printable(Path)), FFormat(FormatOf(Path)), FGnuplot(GnuplotOrRefusal()), FSize(Size), FFile(Path) {}

TPlotFile::~TPlotFile() { StopDrawing(); }

void TPlotFile::StopDrawing() {
  if (FChild >= 0) {
    ::kill(FChild, SIGTERM);
    WaitFor(FChild);
    FChild = -1;
  }
  if (FReader.joinable()) FReader.join();
}

void TPlotFile::Start(const std::string& Script) {
  const TUniqueFd Input = MemoryFile("varnel-plot", Script);
  FErrors = MemoryFile("varnel-plot-errors", "");
  int Pipe[2];
  if (::pipe2(Pipe, O_CLOEXEC) != 0) throw TWriteError(FShown + ": cannot start gnuplot: " + std::strerror(errno));
  TUniqueFd From(Pipe[0]);
  const TUniqueFd To(Pipe[1]);
  if (const int Error = StartGnuplot(FGnuplot, Input.Get(), To.Get(), FErrors.Get(), FChild); Error != 0)
    throw TWriteError(FShown + ": gnuplot could not be started: " + std::strerror(Error));
  // The reader holds the signals back (it inherits this mask), so that the
  // main thread alone meets them.
  TBlockedSignals Blocked;
  FReader = std::thread([this, Fd = std::move(From)] { FReadError = ReadAll(Fd.Get(), FImage); });
}

void TPlotFile::Finish() {
  const int Status = WaitFor(FChild);
  FChild = -1;
  FReader.join();
  if (Status != 0 || FImage.empty()) {
    throw TWriteError(FShown + ": gnuplot could not draw the picture: " +
                      (Status < 0 ? std::string("it did not run to its end") : FirstLine(FErrors.Get())));
  }
  if (FReadError != 0) throw TWriteError(FShown + ": cannot read gnuplot's picture: " + std::strerror(FReadError));
  FFile.Write(FImage);
}

}  // namespace varnel::cli
