// SPDX-License-Identifier: Apache-2.0
// The tool's argument handling: arbitrary argument lists must end in exit
// status 0, 1 or 2, with nothing thrown past the tool, nothing written
// outside its work folder, and no text of the data run as a command when a
// picture is drawn.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "command_line.h"
#include "fuzz_support.h"

namespace {

// The file that a command smuggled in through the data would create.
std::string Marker() { return varnel::fuzz::WorkFolder() + "/PWNED"; }

std::string CsvField(const std::string& Text) {
  std::string Field = "\"";
  for (char c : Text) Field += c == '"' ? std::string("\"\"") : std::string(1, c);
  return Field + "\"";
}

// Names and factor levels that would run "touch <Marker>" if they reached
// gnuplot's command line as they are: backquotes (expanded anywhere in a
// line, strings included), system() and a shell's $(...) after a broken
// quote, @macros, backslashes, and line ends that start a new command.
std::string HostileCsv() {
  const std::string Touch = "touch " + Marker();
  const std::vector<std::string> Names = {
      "x`" + Touch + "`", "system(\"" + Touch + "\")", "$(" + Touch + ")\\", "'@x\"\n!" + Touch + "\n"};
  const std::vector<std::string> Levels = {"`" + Touch + "`", "\"; system(\"" + Touch + "\"); \"",
                                           "a\r\n!" + Touch + "\nb", "@x\\", "'$(" + Touch + ")'"};
  std::string Text = CsvField("f\\\"`" + Touch + "`");
  for (const std::string& Name : Names) Text += "," + CsvField(Name);
  Text += "\n";
  for (int i = 0; i < 20; ++i) {
    Text += CsvField(Levels[i % Levels.size()]);
    for (int j = 0; j < 4; ++j) Text += "," + std::to_string((i * (2 * j + 3) + j * j) % (11 + 2 * j) + 5 * j + i % 3);
    Text += "\n";
  }
  return Text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static const bool Ready = [] {
    varnel::fuzz::WorkFolder();
    varnel::fuzz::Silence();
    // A small data file for the arguments to name, and one whose names and
    // levels are commands in disguise for the pictures to show.
    const char kCsv[] = "a,b,c,y\n1,21,3,12\n2,20,1,23\n3,25,4,46\n4,24,1,32\n5,26,5,39\n6,22,9,30\n";
    varnel::fuzz::WriteFile("d.csv", reinterpret_cast<const std::uint8_t*>(kCsv), std::strlen(kCsv));
    const std::string Hostile = HostileCsv();
    varnel::fuzz::WriteFile("h.csv", reinterpret_cast<const std::uint8_t*>(Hostile.data()), Hostile.size());
    return true;
  }();
  (void)Ready;
  // Arguments are separated by NUL bytes; at most 16 of them. A path that
  // leaves the work folder is not this target's business, and -o PWNED
  // would pass for the command it looks for.
  std::vector<std::string> Arguments{"varnel"};
  std::string Current;
  for (std::size_t i = 0; i < Size && Arguments.size() < 17; ++i) {
    if (Data[i] == 0) {
      Arguments.push_back(Current);
      Current.clear();
    } else {
      Current += static_cast<char>(Data[i]);
    }
  }
  if (Arguments.size() < 17 && !Current.empty()) Arguments.push_back(Current);
  for (const std::string& A : Arguments)
    if (A.find('/') != std::string::npos || A.find("..") != std::string::npos || A.find("PWNED") != std::string::npos)
      return 0;
  std::vector<char*> Argv;
  for (std::string& A : Arguments) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  const int Status = varnel::cli::RunCommandLine(static_cast<int>(Arguments.size()), Argv.data());
  if (std::filesystem::exists(Marker())) varnel::fuzz::Fail("a text of the data ran as a command", "RunCommandLine");
  // Files named by the arguments (reports, -o, --plot pictures) would pile
  // up in the work folder.
  for (const auto& Entry : std::filesystem::directory_iterator(varnel::fuzz::WorkFolder())) {
    const auto Name = Entry.path().filename();
    if (Name != "d.csv" && Name != "h.csv") std::filesystem::remove_all(Entry.path());
  }
  if (Status < 0 || Status > 2) varnel::fuzz::Fail("an exit status other than 0, 1 or 2", "RunCommandLine");
  return 0;
}
