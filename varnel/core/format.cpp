// SPDX-License-Identifier: Apache-2.0
#include "varnel/core/format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "varnel/core/checked.h"
#include "varnel/core/faults.h"

namespace varnel {
namespace {

constexpr int kSignificant = 18;  // decimal digits carried for an extended

// |Value| as 18 significant digits D and an exponent E with |Value| = 0.D × 10^E.
struct TDecimal {
  std::string Digits;
  int Exponent = 0;
};

TDecimal ToDecimal(Extended Value) {
  char Buffer[64];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, std::fabs(Value),
                                    std::chars_format::scientific, kSignificant - 1);
  const std::string Text(Buffer, Result.ptr);  // d.ddd…e±xx
  TDecimal Decimal;
  const auto E = Text.find('e');
  Decimal.Digits = Text.substr(0, 1) + Text.substr(2, E - 2);
  Decimal.Exponent = std::atoi(Text.c_str() + E + 1) + 1;
  return Decimal;
}

// Keeps Count leading digits of D, rounding an exact half away from zero;
// a carry out of the first digit raises the exponent.
void RoundDigits(TDecimal& D, int Count) {
  if (Count >= static_cast<int>(D.Digits.size())) return;
  if (Count < 0) {
    D.Digits.clear();
    return;
  }
  const bool Up = D.Digits[Count] >= '5';
  D.Digits.resize(Count);
  if (!Up) return;
  int i = Count - 1;
  while (i >= 0 && D.Digits[i] == '9') D.Digits[i--] = '0';
  if (i >= 0) {
    ++D.Digits[i];
  } else {
    D.Digits.insert(D.Digits.begin(), '1');
    ++D.Exponent;
  }
}

bool AllZero(const std::string& Digits) {
  return Digits.find_first_not_of('0') == std::string::npos;
}

std::string Fixed(Extended Value, int Decimals, int MinIntDigits) {
  if (!std::isfinite(Value)) return std::isnan(Value) ? "NAN" : (Value < 0 ? "-INF" : "INF");
  TDecimal D = Value == 0 ? TDecimal{"0", 1} : ToDecimal(Value);
  RoundDigits(D, D.Exponent + Decimals);
  if (D.Digits.empty()) D = {"0", 1};
  // Digit at position p (0-based) has weight 10^(Exponent - 1 - p).
  auto DigitAt = [&](int Power) {
    const int p = D.Exponent - 1 - Power;
    return (p >= 0 && p < static_cast<int>(D.Digits.size())) ? D.Digits[p] : '0';
  };
  std::string Out;
  const int IntDigits = std::max(MinIntDigits, std::max(D.Exponent, 1));
  for (int Power = IntDigits - 1; Power >= 0; --Power) Out += DigitAt(Power);
  if (Decimals > 0) {
    Out += '.';
    for (int Power = -1; Power >= -Decimals; --Power) Out += DigitAt(Power);
  }
  const bool Negative = Value < 0 && !AllZero(D.Digits);
  return Negative ? "-" + Out : Out;
}

std::string Pad(std::string Text, int Width, bool Left) {
  if (static_cast<int>(Text.size()) >= Width) return Text;
  const std::string Fill(Width - Text.size(), ' ');
  return Left ? Text + Fill : Fill + Text;
}

[[noreturn]] void FormatError(std::string_view Pattern) {
  throw EConvertError("Format '" + std::string(Pattern) + "' invalid or incompatible with argument");
}

}  // namespace

std::string FixedText(Extended Value, int Decimals) { return Fixed(Value, Decimals, 1); }

std::string Format(std::string_view Pattern, std::initializer_list<TFormatArg> Args) {
  std::string Out;
  auto Next = Args.begin();
  for (std::size_t i = 0; i < Pattern.size(); ++i) {
    if (Pattern[i] != '%') {
      Out += Pattern[i];
      continue;
    }
    if (++i >= Pattern.size()) FormatError(Pattern);
    if (Pattern[i] == '%') {
      Out += '%';
      continue;
    }
    const bool Left = Pattern[i] == '-';
    if (Left) ++i;
    int Width = 0, Precision = -1;
    while (i < Pattern.size() && Pattern[i] >= '0' && Pattern[i] <= '9') Width = Width * 10 + (Pattern[i++] - '0');
    if (i < Pattern.size() && Pattern[i] == '.') {
      Precision = 0;
      while (++i < Pattern.size() && Pattern[i] >= '0' && Pattern[i] <= '9') Precision = Precision * 10 + (Pattern[i] - '0');
    }
    if (i >= Pattern.size() || Next == Args.end()) FormatError(Pattern);
    const TFormatArg& Arg = *Next++;
    std::string Field;
    switch (Pattern[i]) {
      case 'd':
        if (Arg.Kind() != TFormatArg::TKind::Integer) FormatError(Pattern);
        Field = IntToStr(Arg.Integer());
        break;
      case 'f':
        if (Arg.Kind() != TFormatArg::TKind::Float) FormatError(Pattern);
        Field = Fixed(Arg.Float(), Precision < 0 ? 2 : Precision, 1);
        break;
      case 's':
        if (Arg.Kind() != TFormatArg::TKind::Text) FormatError(Pattern);
        Field = Precision < 0 ? Arg.Text() : Arg.Text().substr(0, Precision);
        break;
      default:
        FormatError(Pattern);
    }
    Out += Pad(std::move(Field), Width, Left);
  }
  return Out;
}

std::string FormatFloat(std::string_view Pattern, Extended Value) {
  const auto Point = Pattern.find('.');
  const std::string_view IntPart = Pattern.substr(0, Point);
  int MinInt = 0;
  for (char c : IntPart) MinInt += c == '0';
  int Decimals = 0;
  if (Point != std::string_view::npos) {
    for (char c : Pattern.substr(Point + 1)) Decimals += (c == '0' || c == '#');
  }
  return Fixed(Value, Decimals, MinInt);
}

std::string FloatToStr(Extended Value) {
  constexpr int kPrecision = 15;
  if (Value == 0) return "0";
  if (!std::isfinite(Value)) return std::isnan(Value) ? "NAN" : (Value < 0 ? "-INF" : "INF");
  TDecimal D = ToDecimal(Value);
  RoundDigits(D, kPrecision);
  while (D.Digits.size() > 1 && D.Digits.back() == '0') D.Digits.pop_back();
  std::string Out = Value < 0 ? "-" : "";
  if (D.Exponent > kPrecision || D.Exponent < -3) {
    Out += D.Digits[0];
    if (D.Digits.size() > 1) Out.append(".").append(D.Digits, 1);
    return Out.append("E").append(std::to_string(D.Exponent - 1));
  }
  if (D.Exponent <= 0) return Out + "0." + std::string(-D.Exponent, '0') + D.Digits;
  if (static_cast<int>(D.Digits.size()) <= D.Exponent) {
    return Out + D.Digits + std::string(D.Exponent - D.Digits.size(), '0');
  }
  return Out + D.Digits.substr(0, D.Exponent) + "." + D.Digits.substr(D.Exponent);
}

std::string IntToStr(std::int64_t Value) { return std::to_string(Value); }

int StrToInt(const std::string& Text) {
  const auto Fail = [&]() -> int { throw EConvertError("'" + Text + "' is not a valid integer value"); };
  std::size_t i = 0;
  while (i < Text.size() && Text[i] == ' ') ++i;
  bool Negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) Negative = Text[i++] == '-';
  int Base = 10;
  if (i < Text.size() && Text[i] == '$') {
    Base = 16;
    ++i;
  }
  if (i >= Text.size()) return Fail();
  std::int64_t Magnitude = 0;
  const auto Begin = Text.data() + i, End = Text.data() + Text.size();
  const auto [Ptr, Error] = std::from_chars(Begin, End, Magnitude, Base);
  if (Error != std::errc() || Ptr != End || Magnitude < 0) return Fail();
  const std::int64_t Value = Negative ? -Magnitude : Magnitude;
  if (Value < std::numeric_limits<int>::min() || Value > std::numeric_limits<int>::max()) return Fail();
  return static_cast<int>(Value);
}

Extended Power(Extended Base, Extended Exponent) {
  Finite(Base);
  Finite(Exponent);
  if (Exponent == 0) return 1;
  if (Base == 0) {
    if (Exponent > 0) return 0;
    throw EZeroDivide();
  }
  if (Base < 0 && std::nearbyint(Exponent) != Exponent) throw EInvalidOp();
  return Finite(std::pow(Base, Exponent));
}

}  // namespace varnel
