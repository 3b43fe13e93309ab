// SPDX-License-Identifier: Apache-2.0
// The all-subsets search reads its combination file from the current folder:
// arbitrary bytes as vars<k>.txt must give a report or the empty text (with
// its message), never a crash, an exception, a read outside the caller's
// data or a file left open.
#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "varnel/korlen.h"

namespace {

using namespace varnel;

int OpenFiles() {
  int Count = 0;
  if (DIR* D = opendir("/proc/self/fd")) {
    while (readdir(D) != nullptr) ++Count;
    closedir(D);
  }
  return Count;
}

// At 19,999 observations one fit of eight predictors takes some 60 ms under
// the sanitizers, so a full file of 256 such lines would run for a quarter
// of a minute; there the file is cut after its first lines. Every other
// count reads the whole file, so the reader's limits are still met.
constexpr int kLargeCount = 1000;
constexpr std::size_t kLinesAtLargeCounts = 8;

std::size_t FileSize(std::string_view File, int n) {
  if (n < kLargeCount) return File.size();
  std::size_t End = 0;
  for (std::size_t Line = 0; Line < kLinesAtLargeCounts && End != std::string_view::npos; ++Line) {
    End = File.find('\n', End + (Line > 0));
  }
  return std::min(End, File.size());
}

struct TFixture {
  TKorlen Korlen;
  TFixture() {
    fuzz::WorkFolder();
    fuzz::Silence();
    std::uint32_t Seed = 12345;
    auto Next = [&Seed] {
      Seed = Seed * 1664525u + 1013904223u;
      return static_cast<double>(Seed >> 8) / (1u << 24);
    };
    for (int j = 1; j <= MaxVars; ++j)
      for (int i = 0; i < 64; ++i) (*Korlen.PRegressData)[j][i] = j + 10 * Next();
    for (int i = 0; i < 64; ++i) Korlen.Y[i] = 3 + 20 * Next();
    Korlen.MVPrepare();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  static TFixture Fixture;
  if (Size < 2) return 0;
  // First byte: k (mostly 1..8), second: n and the length of Y.
  const Byte k = Data[0] % 16 < 12 ? 1 + Data[0] % 8 : Data[0];
  static const int kCounts[] = {20, 12, 3, 2, 0, -1, 9, 19999, 20000, 25000};
  const int n = kCounts[Data[1] % 10];
  const std::size_t YLength = Data[1] & 0x80 ? static_cast<std::size_t>(std::max(n - 1, 0)) : MaxObs;
  const std::string Name = "vars" + std::to_string(k) + ".txt";
  const std::string_view File(reinterpret_cast<const char*>(Data + 2), Size - 2);
  fuzz::WriteFile(Name, Data + 2, FileSize(File, n));

  // A Y of exactly YLength values, so that ASan sees any read past it.
  const auto Y = std::make_unique<double[]>(std::max<std::size_t>(YLength, 1));
  std::copy_n(Fixture.Korlen.Y.begin(), std::min<std::size_t>(YLength, MaxObs), Y.get());
  const int FilesBefore = OpenFiles();
  std::string Report;
  try {
    Report = Fixture.Korlen.MVStepwiseVarSelection(Fixture.Korlen.PRegressData, std::span(Y.get(), YLength), k, n,
                                                   0.5f, 0.5f, "Fuzz");
  } catch (...) {
    fuzz::Fail("an exception escaped", "MVStepwiseVarSelection");
  }
  if (OpenFiles() != FilesBefore) fuzz::Fail("a file was left open", "MVStepwiseVarSelection");
  if (!Report.empty() && Report.rfind("Fuzz\r\n\r\n", 0) != 0) fuzz::Fail("a report without its title", "MVStepwiseVarSelection");
  std::remove(Name.c_str());
  return 0;
}
