// SPDX-License-Identifier: Apache-2.0
// The files the tool replaces (-o, --plot, --report), as a hostile or
// unlucky world meets them: modes and owners, links, the input named as
// the output, a full file system, signals and a FIFO swapped in. The old
// file keeps its bytes and mode on every failure, and no temporary file
// stays behind.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tool_fixture.h"

extern char** environ;

namespace varnel::cli {
namespace {

namespace fs = std::filesystem;

const std::string kSwiss = std::string(VARNEL_EXAMPLES) + "/swiss.csv --y Fertility";

// One way to write each kind of target: the command before the option.
struct TWay {
  std::string Command, Option, Extension;
};
const TWay kWays[] = {{"regress " + kSwiss, "-o", ".csv"},
                      {"diagnose " + kSwiss, "--plot", ".svg"},
                      {"cluster " + kSwiss + " --clusters 2", "--report", ".txt"}};

class OutputFileTest : public ToolTest {
 protected:
  bool LeftoverFiles(const fs::path& Folder) const {
    for (const auto& Entry : fs::directory_iterator(Folder))
      if (Entry.path().filename().string().find(".varnel-") != std::string::npos) return true;
    return false;
  }
  static mode_t ModeOf(const fs::path& Path) {
    struct stat Status {};
    return ::lstat(Path.c_str(), &Status) == 0 ? Status.st_mode : 0;
  }
  void ExpectOneLine(const TRun& R, int Status, const std::string& Message) {
    EXPECT_EQ(R.Status, Status) << R.Err;
    EXPECT_EQ(Lines(R.Err), 1) << R.Err;
    EXPECT_NE(R.Err.find(Message), std::string::npos) << R.Err;
  }
};

TEST_F(OutputFileTest, ReplacingKeepsModeOwnerAndFollowsLinksAsTheKernelDoes) {
  for (const TWay& Way : kWays) {
    // A private file stays private, and another user's stays theirs.
    const std::string Target = Write("private" + Way.Extension, "old");
    ASSERT_EQ(::chmod(Target.c_str(), 0600), 0);
    const bool Root = ::geteuid() == 0;
    if (Root) {
      ASSERT_EQ(::chown(Target.c_str(), 65534, 65534), 0);
    }
    EXPECT_EQ(Run(Way.Command + " " + Way.Option + " " + Target).Status, 0) << Way.Option;
    EXPECT_NE(Slurp(Target), "old");
    EXPECT_EQ(ModeOf(Target) & 07777, 0600u) << Way.Option;
    struct stat Status {};
    ASSERT_EQ(::stat(Target.c_str(), &Status), 0);
    if (Root) {
      EXPECT_EQ(Status.st_uid, 65534u) << Way.Option;
    }

    // A link: the file it reaches is replaced, the link stays a link.
    const std::string Real = Write("real" + Way.Extension, "old"), Link = (Dir / ("link" + Way.Extension)).string();
    fs::create_symlink(Real, Link);
    EXPECT_EQ(Run(Way.Command + " " + Way.Option + " " + Link).Status, 0) << Way.Option;
    EXPECT_TRUE(fs::is_symlink(Link));
    EXPECT_NE(Slurp(Real), "old") << Way.Option;

    // A link to nothing is refused before any work, and stays as it was.
    const std::string Dangling = (Dir / ("dangling" + Way.Extension)).string();
    fs::create_symlink(Dir / "nothing", Dangling);
    const TRun Refused = Run(Way.Command + " " + Way.Option + " " + Dangling);
    ExpectOneLine(Refused, 2, "a link to a file that is not there");
    EXPECT_EQ(Refused.Out, "");
    EXPECT_TRUE(fs::is_symlink(Dangling));
    EXPECT_FALSE(fs::exists(Dir / "nothing"));
  }
  // A loop of links is the kernel's to refuse, before any work.
  fs::create_symlink(Dir / "loop-b.csv", Dir / "loop-a.csv");
  fs::create_symlink(Dir / "loop-a.csv", Dir / "loop-b.csv");
  ExpectOneLine(Run("regress " + kSwiss + " -o " + (Dir / "loop-a.csv").string()), 2,
                "Too many levels of symbolic links");
  // A hard link's other name keeps the old contents (the new file takes
  // the name given).
  const std::string First = Write("first.csv", "old");
  fs::create_hard_link(First, Dir / "second.csv");
  EXPECT_EQ(Run("regress " + kSwiss + " -o " + First).Status, 0);
  EXPECT_EQ(Slurp(Dir / "second.csv"), "old");
  EXPECT_FALSE(LeftoverFiles(Dir));
}

// In a sticky world-writable folder the kernel refuses to follow a link
// that neither the follower nor the folder's owner owns; the tool leaves
// that rule to the kernel, so it holds wherever the kernel enforces it.
TEST_F(OutputFileTest, ALinkTheKernelRefusesToFollowIsRefused) {
  if (::geteuid() != 0 || Slurp("/proc/sys/fs/protected_symlinks").rfind('1', 0) != 0)
    GTEST_SKIP() << "needs root and fs.protected_symlinks = 1";
  const fs::path Sticky = Dir / "sticky";
  fs::create_directory(Sticky);
  ASSERT_EQ(::chmod(Sticky.c_str(), 01777), 0);
  const std::string Victim = Write("victim.csv", "precious");
  const fs::path Link = Sticky / "out.csv";
  fs::create_symlink(Victim, Link);
  ASSERT_EQ(::lchown(Link.c_str(), 65534, 65534), 0);
  ExpectOneLine(Run("regress " + kSwiss + " -o " + Link.string()), 2, "Permission denied");
  EXPECT_EQ(Slurp(Victim), "precious");
}

TEST_F(OutputFileTest, TheInputOrOneFileNamedTwiceIsRefusedBeforeAnyWork) {
  const std::string Data = Write("data.csv", Slurp(std::string(VARNEL_EXAMPLES) + "/swiss.csv"));
  const std::string Twin = (Dir / "twin.svg").string();
  fs::create_symlink(Data, Twin);
  const std::pair<std::string, std::string> Cases[] = {
      {"regress " + Data + " -o " + Data, "-o " + Data + " is the input file"},
      {"diagnose " + Data + " --plot " + Twin, "--plot " + Twin + " is the input file"},
      {"cluster " + Data + " --report " + Data, "--report " + Data + " is the input file"},
      {"cluster " + Data + " --report k.txt -o k.txt", "-o and --report name the same file"},
      {"diagnose " + Data + " --plot p.svg -o p.svg", "-o and --plot name the same file"},
  };
  for (const auto& [Arguments, Message] : Cases) {
    const TRun R = Run(Arguments, "cd " + Dir.string() + " &&");
    ExpectOneLine(R, 2, Message);
    EXPECT_EQ(R.Out, "");
  }
  // Standard input redirected from the file counts as the file.
  ExpectOneLine(Run("regress - -o " + Data, "", "", Data), 2, "is the input file");
  EXPECT_EQ(Slurp(Data), Slurp(std::string(VARNEL_EXAMPLES) + "/swiss.csv"));
  EXPECT_FALSE(fs::exists(Dir / "k.txt"));
  EXPECT_FALSE(fs::exists(Dir / "p.svg"));
}

// A write that meets a full file system (here: a file size limit, and a
// small tmpfs where one can be mounted) is exit 1 with one line; the old
// file keeps its bytes and mode.
TEST_F(OutputFileTest, AFullFileSystemLeavesTheOldFileAsItWas) {
  const fs::path Small = Dir / "small";
  fs::create_directory(Small);
  const bool Mounted = ::geteuid() == 0 && ::mount("tmpfs", Small.c_str(), "tmpfs", 0, "size=64k") == 0;
  // Outputs of some kilobytes, and standard output kept small.
  const TWay Ways[] = {{"diagnose " + kSwiss + " --json", "-o", ".json"},
                       {"describe " + kSwiss + " --csv", "--plot", ".svg"},
                       {"cluster " + kSwiss + " --clusters 2 --csv", "--report", ".txt"}};
  for (const TWay& Way : Ways) {
    for (const bool Limit : {true, false}) {
      if (!Limit && !Mounted) continue;
      const fs::path Folder = Limit ? Dir : Small;
      const fs::path Target = Folder / ("old" + Way.Extension);
      std::ofstream(Target) << "old";
      ASSERT_EQ(::chmod(Target.c_str(), 0640), 0);
      if (!Limit) std::ofstream(Small / "filler") << std::string(64 * 1024, 'x');
      // The report's size is met by the component's own scratch file first.
      const std::string Before = Limit ? "ulimit -f 2;" : "";
      const TRun R = Run(Way.Command + " " + Way.Option + " " + Target.string(), Before);
      EXPECT_EQ(R.Status, 1) << Way.Option << " " << Limit << ": " << R.Err;
      if (!Limit || Way.Option != "--report") {  // else the component's own scratch file meets the limit first
        EXPECT_EQ(Lines(R.Err), 1) << R.Err;
      }
      EXPECT_EQ(Slurp(Target), "old") << Way.Option;
      EXPECT_EQ(ModeOf(Target) & 07777, 0640u);
      EXPECT_FALSE(LeftoverFiles(Folder)) << Way.Option;
      fs::remove(Small / "filler");
    }
  }
  if (Mounted) ::umount(Small.c_str());
}

TEST_F(OutputFileTest, LongNamesStandardOutputAndUnwritableFolders) {
  const std::string Long(250, 'n');
  EXPECT_EQ(Run("regress " + kSwiss + " -o " + (Dir / (Long + ".csv")).string()).Status, 0);
  EXPECT_EQ(Run("diagnose " + kSwiss + " --plot " + (Dir / (Long + ".png")).string() + " --csv").Status, 0);
  EXPECT_TRUE(fs::exists(Dir / (Long + ".csv")));
  EXPECT_TRUE(fs::exists(Dir / (Long + ".png")));
  const TRun Dash = Run("regress " + kSwiss + " --csv -o -", "cd " + Dir.string() + " &&");
  EXPECT_EQ(Dash.Status, 0);
  EXPECT_EQ(Dash.Out, Run("regress " + kSwiss + " --csv").Out);
  EXPECT_FALSE(fs::exists(Dir / "-"));
  if (::geteuid() == 0) {
    // Root writes anywhere but on a read-only mount: the folder check is a user's.
    const fs::path Locked = Dir / "locked";
    fs::create_directory(Locked);
    ASSERT_EQ(::chmod(Locked.c_str(), 0555), 0);
    const std::string Nobody = AsNobody(), Data = Readable(std::string(VARNEL_EXAMPLES) + "/swiss.csv");
    for (const std::string Option : {"-o", "--plot", "--report"}) {
      const std::string Target = (Locked / (Option == "--plot" ? "p.svg" : "out.txt")).string();
      const TRun R = Run("cluster " + Data + " " + Option + " " + Target, Nobody);
      ExpectOneLine(R, 2, "cannot write the file: Permission denied");
      EXPECT_EQ(R.Out, "") << "refused before the analysis";
    }
  }
}

// Starts the tool on Arguments with standard output on /dev/null; the
// signals the test runner ignores are set back to their defaults.
pid_t StartTool(const std::vector<std::string>& Arguments) {
  std::vector<char*> Argv{const_cast<char*>(VARNEL_TOOL)};
  for (const std::string& A : Arguments) Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);
  posix_spawn_file_actions_t Files;
  posix_spawn_file_actions_init(&Files);
  posix_spawn_file_actions_addopen(&Files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&Files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t Attributes;
  posix_spawnattr_init(&Attributes);
  sigset_t Default;
  sigfillset(&Default);
  posix_spawnattr_setsigdefault(&Attributes, &Default);
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t Pid = -1;
  if (posix_spawn(&Pid, VARNEL_TOOL, &Files, &Attributes, Argv.data(), environ) != 0) Pid = -1;
  posix_spawn_file_actions_destroy(&Files);
  posix_spawnattr_destroy(&Attributes);
  return Pid;
}

// The wait status, or -1 when the tool had not ended within 60 s (killed then).
int WaitBounded(pid_t Pid) {
  int Status = 0;
  for (int i = 0; i < 6000; ++i) {
    if (::waitpid(Pid, &Status, WNOHANG) == Pid) return Status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(Pid, SIGKILL);
  ::waitpid(Pid, &Status, 0);
  return -1;
}

std::string BigData(const fs::path& Path, int n) {
  std::ofstream Out(Path);
  Out << "x1,x2,x3,x4,y\n";
  unsigned Seed = 7;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < 5; ++j) {
      Seed = Seed * 1103515245u + 12345u;
      Out << (Seed >> 16 & 0x7FFF) << (j < 4 ? "," : "\n");
    }
  }
  return Path.string();
}

// A signal at any moment of a run that draws a picture and writes -o: the
// targets keep their bytes and no temporary file remains.
TEST_F(OutputFileTest, SignalsAtAnyPointLeaveTheTargetsAndNoTemporaryFile) {
  const std::string Data = BigData(Dir / "big.csv", 19999);
  const std::string Picture = Write("p.pdf", "old picture"), Output = Write("out.json", "old output");
  for (int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    for (int Delay : {0, 60, 300, 900}) {
      const pid_t Pid = StartTool({"diagnose", Data, "--json", "--plot", Picture, "-o", Output});
      ASSERT_GT(Pid, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(Delay));
      ::kill(Pid, Signal);
      const int Status = WaitBounded(Pid);
      EXPECT_NE(Status, -1) << "the tool hung";
      if (WIFSIGNALED(Status)) {
        EXPECT_EQ(WTERMSIG(Status), Signal);
      }
      // Each target is its old self or the whole new output (-o is written
      // before the picture is done).
      const std::string Drawn = Slurp(Picture), Written = Slurp(Output);
      EXPECT_TRUE(Drawn == "old picture" || (Drawn.rfind("%PDF-", 0) == 0 && Drawn.find("%%EOF") != std::string::npos))
          << Signal << " after " << Delay << " ms";
      EXPECT_TRUE(Written == "old output" || (Written.starts_with("{\n") && Written.ends_with("  ]\n}\n")))
          << Signal << " after " << Delay << " ms";
      EXPECT_FALSE(LeftoverFiles(Dir)) << Signal << " after " << Delay << " ms";
    }
  }
}

// A FIFO put in the target's place while the tool works is neither opened
// (which would hang) nor replaced.
TEST_F(OutputFileTest, AFifoSwappedInIsLeftAlone) {
  const std::string Data = BigData(Dir / "big.csv", 19999);
  const std::string Target = Write("out.csv", "old");
  const pid_t Pid = StartTool({"cluster", Data, "--clusters", "12", "--starts", "20", "-o", Target});
  ASSERT_GT(Pid, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  fs::remove(Target);
  ASSERT_EQ(::mkfifo(Target.c_str(), 0600), 0);
  const int Status = WaitBounded(Pid);
  ASSERT_NE(Status, -1) << "the tool hung on the FIFO";
  EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) != 0) << Status;
  EXPECT_TRUE(fs::is_fifo(Target));
  EXPECT_FALSE(LeftoverFiles(Dir));
}

}  // namespace
}  // namespace varnel::cli
