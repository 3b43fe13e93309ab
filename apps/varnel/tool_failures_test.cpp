// SPDX-License-Identifier: Apache-2.0
// The tool's failure paths, run as a script meets them: failed writes, report
// paths that are not files, signals and a bad TMPDIR, runaway input,
// escape sequences in names, and exhausted memory. None may crash, hang,
// exit 0 in silence or leave files behind.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tool_fixture.h"

extern char** environ;

namespace varnel::cli {
namespace {

namespace fs = std::filesystem;

const std::string kLongley = std::string(VARNEL_EXAMPLES) + "/longley.csv";

class ToolFailureTest : public ToolTest {
 protected:
  // A CSV file of n rows, eight predictors and a response, for runs that take a while.
  std::string BigData(int n) {
    std::string Text = "x1,x2,x3,x4,x5,x6,x7,x8,y\n";
    unsigned Seed = 1;
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < 9; ++j) {
        Seed = Seed * 1103515245u + 12345u;
        Text += std::to_string(Seed >> 16 & 0x7FFF) + (j < 8 ? "," : "\n");
      }
    }
    return Write("big.csv", Text);
  }

  void ExpectOneLine(const TRun& R, int Status, const std::string& Message) {
    EXPECT_EQ(R.Status, Status) << R.Err;
    EXPECT_EQ(Lines(R.Err), 1) << R.Err;
    EXPECT_NE(R.Err.find(Message), std::string::npos) << R.Err;
  }
};

TEST_F(ToolFailureTest, FailedWritesToStandardOutputExitOne) {
  for (const char* Command : {"regress", "table", "about", "--help", "cluster --clusters 2"}) {
    const std::string Arguments = std::string(Command) + (Command[0] == 'r' || Command[0] == 'c' ? " " + kLongley : "");
    ExpectOneLine(Run(Arguments, "", ">/dev/full"), 1, "varnel: standard output: No space left on device");
    ExpectOneLine(Run(Arguments, "", ">&-"), 1, "varnel: standard output: Bad file descriptor");
  }
  // With standard output closed, the report file must not take its place.
  const fs::path Report = Dir / "k.txt";
  Run("cluster " + kLongley + " --clusters 2 --report " + Report.string(), "", ">&-");
  const std::string Text = Slurp(Report);
  EXPECT_EQ(Text.find("Cluster Results:"), Text.rfind("Cluster Results:"));
}

TEST_F(ToolFailureTest, ReportIsARegularFileWrittenByThisRun) {
  const std::string Fifo = (Dir / "fifo").string();
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  for (const std::string& Path : {Dir.string(), Fifo, std::string("/dev/null"), std::string("/dev/full")}) {
    const TRun R = Run("cluster " + kLongley + " --report " + Path, "timeout 10");
    ExpectOneLine(R, 2, "not a regular file");
    EXPECT_EQ(R.Out, "");
  }
  // An old report in a folder the run cannot write to is not shown as the new one.
  const fs::path Locked = Dir / "locked";
  fs::create_directory(Locked);
  std::ofstream(Locked / "k.txt") << "an old report\n";
  fs::permissions(Locked / "k.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::permissions(Locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec | fs::perms::group_read | fs::perms::group_exec);
  // Root passes every permission check: a run that must meet one goes as nobody.
  const std::string Nobody = AsNobody();
  const TRun R = Run("cluster " + Readable(kLongley) + " --report " + (Locked / "k.txt").string(), Nobody);
  ExpectOneLine(R, 2, (Locked / "k.txt").string() + ": cannot write the file: Permission denied");
  EXPECT_EQ(R.Out, "");
  EXPECT_EQ(Slurp(Locked / "k.txt"), "an old report\n");
}

TEST_F(ToolFailureTest, UnusableTmpdirIsExitTwo) {
  const std::string File = Write("file", "not a folder");
  const fs::path ReadOnly = Dir / "read-only";
  fs::create_directory(ReadOnly);
  fs::permissions(ReadOnly, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
  const std::string Nobody = AsNobody(), Data = Readable(kLongley);
  const std::pair<std::string, std::string> Cases[] = {
      {"TMPDIR=" + (Dir / "missing").string(), ""}, {"TMPDIR=" + File, ""},
      {"TMPDIR=" + ReadOnly.string(), Nobody}};
  for (const auto& [Variable, As] : Cases) {
    for (const char* Command : {"select --report-texts", "cluster --report-texts"}) {
      const TRun R = Run(std::string(Command) + " " + Data + " --no-scan", Variable + " " + As);
      ExpectOneLine(R, 2, "cannot create a temporary folder in TMPDIR");
      EXPECT_EQ(R.Out, "");
    }
  }
}

// Starts the tool with TMPDIR set, waits until its temporary folder is there,
// sends the signal and returns the wait status.
int SignalWhileWorking(const std::vector<std::string>& Arguments, const fs::path& Tmp, int Signal) {
  std::vector<std::string> Env{"TMPDIR=" + Tmp.string()};
  for (char** e = environ; *e; ++e) {
    if (std::string(*e).rfind("TMPDIR=", 0) != 0) Env.emplace_back(*e);
  }
  std::vector<char*> Argv{const_cast<char*>(VARNEL_TOOL)}, Envp;
  for (const std::string& A : Arguments) Argv.push_back(const_cast<char*>(A.c_str()));
  for (std::string& E : Env) Envp.push_back(E.data());
  Argv.push_back(nullptr);
  Envp.push_back(nullptr);
  posix_spawn_file_actions_t Files;
  posix_spawn_file_actions_init(&Files);
  posix_spawn_file_actions_addopen(&Files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t Attributes;
  posix_spawnattr_init(&Attributes);
  sigset_t Default;
  sigfillset(&Default);
  posix_spawnattr_setsigdefault(&Attributes, &Default);  // whatever the test runner ignores
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t Pid = 0;
  const int Spawned = posix_spawn(&Pid, VARNEL_TOOL, &Files, &Attributes, Argv.data(), Envp.data());
  posix_spawn_file_actions_destroy(&Files);
  posix_spawnattr_destroy(&Attributes);
  if (Spawned != 0) return -1;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (fs::is_empty(Tmp) && std::chrono::steady_clock::now() < Deadline) std::this_thread::yield();
  kill(Pid, Signal);
  int Status = 0;
  waitpid(Pid, &Status, 0);
  return Status;
}

TEST_F(ToolFailureTest, SignalsLeaveNoTemporaryFolder) {
  const std::string Data = BigData(19999);
  const std::vector<std::vector<std::string>> Commands = {
      {"cluster", Data, "--no-scan", "--report-texts", "--clusters", "100", "--iterations", "255"},
      {"select", Data, "--no-scan", "--report-texts"}};
  for (const auto& Command : Commands) {
    for (int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
      const fs::path Tmp = Dir / ("tmp-" + Command[0] + "-" + std::to_string(Signal));
      fs::create_directory(Tmp);
      const int Status = SignalWhileWorking(Command, Tmp, Signal);
      EXPECT_TRUE(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal) << Command[0] << " " << Signal << ": " << Status;
      EXPECT_TRUE(fs::is_empty(Tmp)) << Command[0] << " " << Signal;
    }
  }
  // And on the ordinary ways out: done, rejected, a report that cannot be written.
  const fs::path Tmp = Dir / "tmp";
  fs::create_directory(Tmp);
  const std::string Env = "TMPDIR=" + Tmp.string();
  EXPECT_EQ(Run("select --report-texts " + kLongley + " --no-scan", Env).Status, 0);
  EXPECT_EQ(Run("cluster --report-texts " + kLongley + " --clusters 2", Env).Status, 0);
  EXPECT_EQ(Run("cluster " + kLongley + " --report " + (Dir / "no" / "k.txt").string(), Env).Status, 2);
  EXPECT_EQ(Run("select --report-texts --no-scan " + Write("tiny.csv", "x,y\n1,2\n2,3\n"), Env).Status, 1);
  EXPECT_TRUE(fs::is_empty(Tmp));
}

// A report that the component cannot finish (here: a file size limit in the
// temporary folder) is a rejected analysis, not a partial report and exit 0.
TEST_F(ToolFailureTest, UnfinishedClusterReportIsRejected) {
  const TRun R = Run("cluster --report-texts " + BigData(2000) + " --no-scan", "trap '' XFSZ; ulimit -f 8;");
  EXPECT_EQ(R.Status, 1);
  EXPECT_NE(R.Err.find("KMeansClusterError"), std::string::npos) << R.Err;
  EXPECT_EQ(R.Out, "");
}

TEST_F(ToolFailureTest, RunawayInputEndsQuicklyWithExitTwo) {
  std::string Wide;
  for (int c = 0; c < 26000; ++c) Wide += (c ? ",v" : "v") + std::to_string(c);
  const std::string Fifo = (Dir / "fifo").string();
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0600), 0);
  const std::pair<std::string, std::string> Cases[] = {
      // The rows after the header are ragged: the header must be refused first.
      {Write("wide.csv", Wide + "\n1,2\n"), "25999 predictors, at most 1000 are possible"},
      {Write("line.csv", "a,y\n1,2\n" + std::string(2 << 20, '7') + ",1\n"), "data row 2 is longer than 1 MiB"},
      {Write("cell.csv", "a,y\n\"" + std::string(2 << 20, '\n') + "\",1\n"), "data row 1 is longer than 1 MiB"},
      {"/dev/zero", "the header row is longer than 1 MiB"},
      {Fifo, "no header row"},
      {Write("huge.csv", "a,y\n1,2\n1," + std::string(500000, 'x') + "\n"),
       "column \"y\": '" + std::string(40, 'x') + "...' is not a number"},
  };
  for (const auto& [File, Message] : Cases) {
    const TRun R = Run("regress " + File, "timeout 10");
    ExpectOneLine(R, 2, Message);
    EXPECT_LT(R.Err.size(), 200u);
  }
}

TEST_F(ToolFailureTest, ControlCharactersInNamesAndCellsAreEscaped) {
  const std::string File = Write("esc.csv", "\"a\x1b[31m\",\"b\xC2\x9b\",y\n1,21,12\n2,20,23\n3,25,46\n4,24,32\n5,26,39\n");
  for (const char* Command : {"regress", "describe", "describe --csv", "pca"}) {
    const TRun R = Run(std::string(Command) + " " + File);
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out.find('\x1b'), std::string::npos) << Command;
    EXPECT_EQ(R.Out.find("\xC2\x9b"), std::string::npos) << Command;
    EXPECT_NE(R.Out.find("a\\x1b[31m"), std::string::npos) << Command;
    EXPECT_NE(R.Out.find("b\\xc2\\x9b"), std::string::npos) << Command;
  }
  const TRun Unknown = Run("regress " + File + " --x \"$(printf 'q\\033]0;t\\007')\"");
  ExpectOneLine(Unknown, 2, "no column named \"q\\x1b]0;t\\x07\"");
  const TRun Cell = Run("regress " + Write("cell.csv", "a,y\n\x1b[2J,1\n"));
  ExpectOneLine(Cell, 2, "'\\x1b[2J' is not a number");
}

TEST_F(ToolFailureTest, APredictorNamedTwiceOrAsTheResponseIsExitTwo) {
  for (const char* Scan : {"", " --no-scan"}) {
    const TRun Twice = Run("regress " + kLongley + " --x GNP,Year,GNP" + Scan);
    ExpectOneLine(Twice, 2, "the predictor \"GNP\" is named twice");
    EXPECT_EQ(Twice.Out, "");
    ExpectOneLine(Run("regress " + kLongley + " --x GNP,Employed" + Scan), 2,
                  "the response \"Employed\" cannot also be a predictor");
    ExpectOneLine(Run("regress " + kLongley + " --y GNP --x GNP" + Scan), 2,
                  "the response \"GNP\" cannot also be a predictor");
  }
}

// Every memory limit ends in a result or in one line and status 1, never in
// an abort. (AddressSanitizer reserves more address space than any limit here.)
TEST_F(ToolFailureTest, ExhaustedMemoryIsExitOne) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "address space limits do not apply under AddressSanitizer";
#endif
  int OutOfMemory = 0;
  for (int Limit = 6000; Limit <= 40000; Limit += 2000) {
    const TRun R = Run(kLongley, "ulimit -v " + std::to_string(Limit) + ";");
    if (R.Status == 127) continue;  // too little to load the program at all
    EXPECT_TRUE(R.Status == 0 || R.Status == 1) << Limit << ": " << R.Status << " " << R.Err;
    EXPECT_EQ(R.Err.find("terminate"), std::string::npos) << R.Err;
    OutOfMemory += R.Err == "varnel: out of memory\n";
  }
  EXPECT_GT(OutOfMemory, 0);
}

}  // namespace
}  // namespace varnel::cli
