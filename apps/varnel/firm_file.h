// SPDX-License-Identifier: Apache-2.0
// A test file of firms that R rebuilds exactly, for the tests of regress
// --cluster and --weights.
#pragma once

#include <cstdint>
#include <string>

namespace varnel::cli {

// Rows of integers from the minimal standard generator, which R's doubles
// follow exactly: s <- (16807 * s) %% 2147483647 from s = 12345, four draws
// a row; 40 firms of unequal sizes, a firm effect and a predictor that
// leans on the firm, so that the clustered errors differ from the others;
// and two weights of the firm, w = g mod 5 (a fifth of them 0) and
// v = g mod 3 + 1.
inline std::string FirmFile(int Rows) {
  std::int64_t s = 12345;
  const auto Next = [&s] { return s = (16807 * s) % 2147483647; };
  std::string Text = "a,b,y,gid,firm,w,v\n";
  for (int i = 0; i < Rows; ++i) {
    std::int64_t a = Next() % 2001 - 1000;
    const std::int64_t b = Next() % 2001 - 1000, g = Next() % 40, e = Next() % 1001 - 500;
    a += 50 * (g % 9);
    const std::int64_t y = 3 * a - 2 * b + 400 * ((g * 7) % 11 - 5) + e;
    Text += std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(y) + "," + std::to_string(g) +
            ",firm" + std::to_string(g) + "," + std::to_string(g % 5) + "," + std::to_string(g % 3 + 1) + "\n";
  }
  return Text;
}

}  // namespace varnel::cli
