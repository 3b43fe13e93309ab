// SPDX-License-Identifier: Apache-2.0
#include "significant.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace varnel::cli {
namespace {

// 10^0 .. 10^27 are exact in the 64-bit mantissa of long double (5^27 < 2^64).
constexpr int kExactPowers = 28;

constexpr std::array<long double, kExactPowers> PowersOfTen() {
  std::array<long double, kExactPowers> Powers{};
  long double Power = 1;
  for (auto& Entry : Powers) {
    Entry = Power;
    Power *= 10;
  }
  return Powers;
}

constexpr auto kPowers = PowersOfTen();

constexpr long long Whole10(int Exponent) {
  long long Power = 1;
  while (Exponent-- > 0) Power *= 10;
  return Power;
}

// |Value| * 10^Shift with one rounding of long double (relative error at most
// 2^-64), or a negative number when 10^|Shift| is not exact.
long double Scaled(long double Magnitude, int Shift) {
  if (Shift >= kExactPowers || -Shift >= kExactPowers) return -1;
  return Shift >= 0 ? Magnitude * kPowers[Shift] : Magnitude / kPowers[-Shift];
}

// The Digits-digit integer nearest |Value| * 10^(Digits - 1 - Exponent) and
// that Exponent, for the decimal exponent after rounding (9999999.6 at 7
// digits is 1.000000e+07). False when the value lies so near a rounding tie
// that the scaled value's error could decide it, or out of the exact range.
bool NearestDigits(double Value, int Digits, long long& Mantissa, int& Exponent) {
  const int Biased = static_cast<int>(std::bit_cast<std::uint64_t>(Value) >> 52 & 0x7FF);
  if (Biased == 0) return false;  // subnormal
  const long double Magnitude = std::fabs(static_cast<long double>(Value));
  const long double Low = kPowers[Digits - 1], High = kPowers[Digits];
  // log10 of the binary exponent to within one: 1233 / 4096 is log10(2)
  // to 4 digits, and the shift floors.
  Exponent = (Biased - 1023) * 1233 >> 12;
  long double S = Scaled(Magnitude, Digits - 1 - Exponent);
  for (int Step = 0; Step < 2 && S >= 0 && (S < Low || S >= High); ++Step) {
    Exponent += S < Low ? -1 : 1;
    S = Scaled(Magnitude, Digits - 1 - Exponent);
  }
  if (S < Low || S >= High) return false;
  // S < 2^30 rounds to a double within 2^-23, whose integer part and
  // fraction are exact (and cheap: no change of the x87 rounding mode).
  // With S's own error below 2^-64 * 10^9 < 2^-34, a tie closer than 2^-20
  // goes to the library.
  const double Rounded = static_cast<double>(S);
  const auto Whole = static_cast<long long>(Rounded);
  const double Fraction = Rounded - static_cast<double>(Whole);
  if (std::fabs(Fraction - 0.5) < 0x1p-20) return false;
  Mantissa = Whole + (Fraction > 0.5);
  if (Mantissa == Whole10(Digits)) {
    Mantissa /= 10;
    ++Exponent;
  }
  return true;
}

// Writes Mantissa's Digits digits with the point after the first Point of
// them (Point <= 0: "0." and -Point zeros first), trailing zeros dropped.
void AppendFixed(std::string& Out, const char* Text, int Digits, int Point) {
  int Last = Digits;
  while (Last > std::max(Point, 0) && Text[Last - 1] == '0') --Last;
  if (Point <= 0) {
    Out += "0.";
    Out.append(static_cast<std::size_t>(-Point), '0');
    Out.append(Text, static_cast<std::size_t>(Last));
    return;
  }
  Out.append(Text, static_cast<std::size_t>(Point));
  if (Last > Point) {
    Out += '.';
    Out.append(Text + Point, static_cast<std::size_t>(Last - Point));
  }
}

void AppendExponent(std::string& Out, int Exponent) {
  Out += Exponent < 0 ? "e-" : "e+";
  const int Magnitude = std::abs(Exponent);
  if (Magnitude < 10) Out += '0';
  char Text[8];
  Out.append(Text, std::to_chars(Text, Text + sizeof Text, Magnitude).ptr);
}

void AppendFromLibrary(std::string& Out, double Value, int Digits) {
  char Buffer[64];
  Out.append(Buffer, std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::general, Digits).ptr);
}

}  // namespace

// The library's formatter takes about 80 ns a number here, the scaled
// long double about a sixth of that; a text table of 20,000 observations has
// 880,000 numbers. Values the scaling cannot decide go to the library.
void AppendSignificant(std::string& Out, double Value, int Digits) {
  long long Mantissa = 0;
  int Exponent = 0;
  if (Value == 0 || !NearestDigits(Value, Digits, Mantissa, Exponent)) return AppendFromLibrary(Out, Value, Digits);
  char Text[24];
  std::to_chars(Text, Text + sizeof Text, Mantissa);
  if (Value < 0) Out += '-';
  if (Exponent >= -4 && Exponent < Digits) return AppendFixed(Out, Text, Digits, Exponent + 1);
  AppendFixed(Out, Text, Digits, 1);
  AppendExponent(Out, Exponent);
}

}  // namespace varnel::cli
