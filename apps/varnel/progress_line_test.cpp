// SPDX-License-Identifier: Apache-2.0
// The progress line on standard error: shown on a terminal, never in a file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <string>

#include "progress_line.h"

namespace varnel::cli {
namespace {

// What a line on std::cerr writes in a child whose standard error is Into;
// read back from From, for at most a second.
std::string WrittenBy(int Into, int From) {
  const pid_t Child = ::fork();
  if (Child == 0) {
    ::dup2(Into, STDERR_FILENO);
    {
      TProgressLine Line(std::cerr, "reading", std::chrono::seconds(0));
      Line.Show(0.5);
      Line.Show(1);
    }
    std::cerr.flush();
    ::_exit(0);
  }
  int Status = 0;
  ::waitpid(Child, &Status, 0);
  ::close(Into);
  std::string Text;
  pollfd Wait{From, POLLIN, 0};
  char Buffer[256];
  while (::poll(&Wait, 1, 1000) > 0) {
    const ssize_t Read = ::read(From, Buffer, sizeof Buffer);
    if (Read <= 0) break;
    Text.append(Buffer, static_cast<std::size_t>(Read));
  }
  ::close(From);
  return Text;
}

TEST(ProgressLineTerminalTest, ShownOnATerminalOnly) {
  int Pipe[2];
  ASSERT_EQ(::pipe(Pipe), 0);
  EXPECT_EQ(WrittenBy(Pipe[1], Pipe[0]), "");

  int Master = -1, Slave = -1;
  ASSERT_EQ(::openpty(&Master, &Slave, nullptr, nullptr, nullptr), 0);
  const std::string Shown = WrittenBy(Slave, Master);
  EXPECT_NE(Shown.find("\rreading 50%"), std::string::npos) << Shown;
  EXPECT_NE(Shown.find("\rreading 100%"), std::string::npos) << Shown;
}

}  // namespace
}  // namespace varnel::cli
