// SPDX-License-Identifier: Apache-2.0
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
#include <unistd.h>

namespace varnel::cli {

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

// A uniform in [0, 1) from integer arithmetic that is exact in double
// (stream k of 1..4 at index i), so that R, reading the files the tests
// write, sees the very same numbers.
inline double Uniform(long long i, int k) {
  static const long long Multiplier[] = {0, 1103515245, 1664525, 22695477, 134775813};
  return static_cast<double>((i * Multiplier[k] + 12345) % 2147483648LL) / 2147483648.0;
}

inline std::string Slurp(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  std::stringstream S;
  S << In.rdbuf();
  return S.str();
}

class ToolTest : public ::testing::Test {
 protected:
  std::filesystem::path Dir;
  std::string Tool = VARNEL_TOOL;  // the program Run starts
  void SetUp() override {
    // The process id keeps two runs of the suite (two checkouts) apart;
    // the name stays short, as some tests bound the length of a message
    // that shows the path.
    Dir = std::filesystem::temp_directory_path() /
          ("vc" + std::to_string(::getpid()) + "_" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
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
    const std::string Command = Before + " " + Tool + " " + Arguments + " " +
                                (Stdout.empty() ? ">" + OutPath.string() : Stdout) + " 2>" + ErrPath.string() +
                                (Stdin.empty() ? "" : " <" + Stdin);
    std::filesystem::remove(OutPath);
    const int Raw = std::system(Command.c_str());
    return {WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1, Slurp(OutPath), Slurp(ErrPath)};
  }

  // What goes before the tool to run it as nobody (nothing when the tests
  // do not run as root). Nobody may not read the checkout (a clone in
  // /root), so the tool is run from a copy in the test's folder, which is
  // opened to all; Readable copies a file there for such runs.
  std::string AsNobody() {
    if (::geteuid() != 0) return "";
    const auto Copy = Dir / "varnel";
    std::filesystem::copy_file(VARNEL_TOOL, Copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(Copy, std::filesystem::perms::all & ~std::filesystem::perms::others_write &
                                           ~std::filesystem::perms::group_write);
    std::filesystem::permissions(Dir, std::filesystem::perms::all);
    Tool = Copy.string();
    return "setpriv --reuid=65534 --regid=65534 --clear-groups";
  }
  std::string Readable(const std::string& Path) {
    const auto Copy = Dir / std::filesystem::path(Path).filename();
    std::filesystem::copy_file(Path, Copy, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(Copy, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    return Copy.string();
  }

  static int Lines(const std::string& Text) { return static_cast<int>(std::count(Text.begin(), Text.end(), '\n')); }
};

}  // namespace varnel::cli
