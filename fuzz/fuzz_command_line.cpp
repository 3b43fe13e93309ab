// The tool's argument handling: arbitrary argument lists must end in exit
// status 0, 1 or 2, with nothing thrown past the tool and nothing written
// outside its work folder.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "command_line.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static const bool Ready = [] {
    varnel::fuzz::WorkFolder();
    varnel::fuzz::Silence();
    // A small data file for the arguments to name.
    const char kCsv[] = "a,b,c,y\n1,21,3,12\n2,20,1,23\n3,25,4,46\n4,24,1,32\n5,26,5,39\n6,22,9,30\n";
    varnel::fuzz::WriteFile("d.csv", reinterpret_cast<const std::uint8_t*>(kCsv), std::strlen(kCsv));
    return true;
  }();
  (void)Ready;
  // Arguments are separated by NUL bytes; at most 16 of them. A path that
  // leaves the work folder is not this target's business.
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
    if (A.find('/') != std::string::npos || A.find("..") != std::string::npos) return 0;
  std::vector<char*> Argv;
  for (std::string& A : Arguments) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  const int Status = varnel::cli::RunCommandLine(static_cast<int>(Arguments.size()), Argv.data());
  // Files named by the arguments (reports, -o, --plot pictures) would pile
  // up in the work folder.
  for (const auto& Entry : std::filesystem::directory_iterator(varnel::fuzz::WorkFolder()))
    if (Entry.path().filename() != "d.csv") std::filesystem::remove_all(Entry.path());
  if (Status < 0 || Status > 2) varnel::fuzz::Fail("an exit status other than 0, 1 or 2", "RunCommandLine");
  return 0;
}
