// Runs the varnel tool as a user would, through the shell: a subprocess, real
// files in a fresh folder per test, exit statuses and standard error.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace varnel::cli {

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

inline std::string Slurp(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

class ToolTest : public ::testing::Test {
 protected:
  std::filesystem::path Dir;
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("varnel_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
  }
  void TearDown() override {
    std::filesystem::permissions(Dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    std::filesystem::remove_all(Dir);
  }

  std::string Write(const std::string& Name, const std::string& Text) {
    const auto Path = Dir / Name;
    std::ofstream(Path, std::ios::binary) << Text;
    return Path.string();
  }

  // Before goes in front of the tool (variables, "timeout 10", "cat f |");
  // Stdout replaces the capture of standard output ("> /dev/full", ">&-");
  // standard input is Stdin, or what Before gives it when Stdin is empty.
  TRun Run(const std::string& Arguments, const std::string& Before = "", const std::string& Stdout = "",
           const std::string& Stdin = "/dev/null") {
    const auto OutPath = Dir / "stdout", ErrPath = Dir / "stderr";
    const std::string Command = Before + " " + std::string(VARNEL_TOOL) + " " + Arguments + " " +
                                (Stdout.empty() ? ">" + OutPath.string() : Stdout) + " 2>" + ErrPath.string() +
                                (Stdin.empty() ? "" : " <" + Stdin);
    std::filesystem::remove(OutPath);
    const int Raw = std::system(Command.c_str());
    return {WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1, Slurp(OutPath), Slurp(ErrPath)};
  }

  static int Lines(const std::string& Text) { return static_cast<int>(std::count(Text.begin(), Text.end(), '\n')); }
};

}  // namespace varnel::cli
