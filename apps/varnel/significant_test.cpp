// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "significant.h"

namespace varnel::cli {
namespace {

std::string Library(double Value, int Digits) {
  char Buffer[64];
  return std::string(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::general, Digits).ptr);
}

std::string Fast(double Value, int Digits) {
  std::string Out;
  AppendSignificant(Out, Value, Digits);
  return Out;
}

// The value and its neighbours one and two ulps away on either side, of
// both signs.
void ExpectAroundSame(double Value, int Digits) {
  double Lower = Value, Upper = Value;
  for (int Step = 0; Step < 3; ++Step) {
    for (double V : {Lower, Upper, -Lower, -Upper}) ASSERT_EQ(Fast(V, Digits), Library(V, Digits)) << V;
    Lower = std::nextafter(Lower, 0.0);
    Upper = std::nextafter(Upper, HUGE_VAL);
  }
}

TEST(SignificantTest, AnyDoubleAsTheLibraryWritesIt) {
  std::mt19937_64 Random(17);
  for (int i = 0; i < 300000; ++i) {
    const double Value = std::bit_cast<double>(Random());
    if (!std::isfinite(Value)) continue;
    const int Digits = 1 + static_cast<int>(Random() % 9);
    ASSERT_EQ(Fast(Value, Digits), Library(Value, Digits)) << Value << " at " << Digits;
  }
}

// Ties and near-ties of the last shown digit, carries into a new leading
// digit (9999999.5 at 7 digits is 1e+07) and the change from fixed to
// exponent form at 1e-4 and 10^Digits.
TEST(SignificantTest, RoundingTiesCarriesAndFormChanges) {
  std::mt19937_64 Random(5);
  for (int Digits : {1, 4, 7, 9}) {
    const double Top = std::pow(10.0, Digits);
    for (int Exponent = -26; Exponent <= 30; ++Exponent) {
      const double Scale = std::pow(10.0, Exponent - Digits + 1);
      ExpectAroundSame(std::pow(10.0, Exponent), Digits);
      ExpectAroundSame((Top - 0.5) * Scale, Digits);
      for (int i = 0; i < 20; ++i) {
        const double Mantissa = Top / 10 + static_cast<double>(Random() % static_cast<std::uint64_t>(Top * 0.9));
        ExpectAroundSame((Mantissa + 0.5) * Scale, Digits);
        ExpectAroundSame(Mantissa * Scale, Digits);
      }
    }
  }
  for (double Value : {0.0, -0.0, 5e-324, 1.7976931348623157e308, 0.5, 2.5, 1234567.5, 1234568.5}) {
    ExpectAroundSame(Value, 7);
  }
}

}  // namespace
}  // namespace varnel::cli
