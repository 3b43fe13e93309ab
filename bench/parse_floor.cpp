// SPDX-License-Identifier: Apache-2.0
// The floor of reading a CSV of numbers: the file's bytes read and every
// number parsed with std::from_chars on all cores, nothing else (no
// quotes, no checks, no statistics). The benchmark tables compare the tool
// with it as whole processes: varnel_floor FILE [THREADS].
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

// The numbers of one line: separators are single characters.
double ParseLine(const char* p, const char* End) {
  double Sum = 0;
  while (p < End) {
    double Value = 0;
    const auto [Next, Error] = std::from_chars(p, End, Value);
    if (Error == std::errc()) Sum += Value;
    p = Next + 1;
  }
  return Sum;
}

// Parses the numbers of the lines that start in [Begin, End) of the file
// (a line is the range's if its first byte is); returns their sum, so that
// the work cannot be left out.
double ParseRange(int Fd, off_t Begin, off_t End) {
  constexpr std::size_t kChunk = std::size_t{8} << 20;
  std::vector<char> Buffer(2 * kChunk);
  off_t Pos = Begin;  // the file offset of Buffer[0]
  std::size_t Have = 0;
  bool Partial = Begin != 0;  // the line Begin falls in belongs to the range before
  double Sum = 0;
  for (;;) {
    if (Buffer.size() - Have < kChunk) Buffer.resize(Have + kChunk);
    const ssize_t Got = ::pread(Fd, Buffer.data() + Have, kChunk, Pos + static_cast<off_t>(Have));
    const bool Eof = Got <= 0;
    Have += Eof ? 0 : static_cast<std::size_t>(Got);
    const char* p = Buffer.data();
    const char* const Stop = Buffer.data() + Have;
    if (Partial) {
      const char* Line = std::find(p, Stop, '\n');
      if (Line == Stop && !Eof) continue;
      p = Line == Stop ? Stop : Line + 1;
      Partial = false;
    }
    bool Done = Eof;
    while (p < Stop) {
      if (Pos + (p - Buffer.data()) >= End) {
        Done = true;
        break;
      }
      const char* Line = std::find(p, Stop, '\n');
      if (Line == Stop && !Eof) break;
      Sum += ParseLine(p, Line);
      p = Line + (Line < Stop);
    }
    if (Done) return Sum;
    Pos += p - Buffer.data();
    Have = static_cast<std::size_t>(Stop - p);
    std::copy(p, Stop, Buffer.data());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: varnel_floor FILE [THREADS]\n");
    return 2;
  }
  const int Fd = ::open(argv[1], O_RDONLY);
  struct stat Status {};
  if (Fd < 0 || ::fstat(Fd, &Status) != 0) return 1;
  const unsigned Threads = argc > 2 ? static_cast<unsigned>(std::stoul(argv[2])) : std::thread::hardware_concurrency();
  const off_t Size = Status.st_size, Step = Size / static_cast<off_t>(Threads) + 1;
  std::vector<double> Sums(Threads);
  {
    std::vector<std::jthread> Pool;
    for (unsigned t = 0; t < Threads; ++t)
      Pool.emplace_back([&, t] { Sums[t] = ParseRange(Fd, t * Step, std::min<off_t>(Size, (t + 1) * Step)); });
  }
  double Total = 0;
  for (double s : Sums) Total += s;
  std::printf("%.17g\n", Total);
  return 0;
}
