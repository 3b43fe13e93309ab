// SPDX-License-Identifier: Apache-2.0
// Text formatting with a point as the decimal separator in every locale.
// Decimal rounding works on the 18 significant digits of an extended value
// and rounds an exact half away from zero, as the component's reports expect.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "varnel/core/types.h"

namespace varnel {

// One argument of Format: an integer, a floating-point value or a text.
class TFormatArg {
 public:
  enum class TKind { Integer, Float, Text };
  TFormatArg(int Value) : FKind(TKind::Integer), FInteger(Value) {}
  TFormatArg(long Value) : FKind(TKind::Integer), FInteger(Value) {}
  TFormatArg(long long Value) : FKind(TKind::Integer), FInteger(Value) {}
  TFormatArg(unsigned Value) : FKind(TKind::Integer), FInteger(Value) {}
  TFormatArg(float Value) : FKind(TKind::Float), FFloat(Value) {}
  TFormatArg(double Value) : FKind(TKind::Float), FFloat(Value) {}
  TFormatArg(long double Value) : FKind(TKind::Float), FFloat(Value) {}
  TFormatArg(const char* Value) : FKind(TKind::Text), FText(Value) {}
  TFormatArg(std::string Value) : FKind(TKind::Text), FText(std::move(Value)) {}

  TKind Kind() const { return FKind; }
  std::int64_t Integer() const { return FInteger; }
  Extended Float() const { return FFloat; }
  const std::string& Text() const { return FText; }

 private:
  TKind FKind;
  std::int64_t FInteger = 0;
  Extended FFloat = 0;
  std::string FText;
};

// Supports %d, %f, %s and %% with an optional '-' (left-align), width and
// precision, as in "%5d" or "%10.4f". A value wider than its width is never
// cut. A pattern that does not match its arguments raises EConvertError.
std::string Format(std::string_view Pattern, std::initializer_list<TFormatArg> Args);

// Patterns such as "0.00" or "0.0000": at least as many integer digits as
// zeros before the point, exactly as many decimals as digits after it.
std::string FormatFloat(std::string_view Pattern, Extended Value);

// General form with up to 15 significant digits ("0.5", "-1E22", "1E-5").
std::string FloatToStr(Extended Value);

std::string IntToStr(std::int64_t Value);

// Plain decimal (or $hex) with optional blanks before and a sign; anything
// else raises EConvertError.
int StrToInt(const std::string& Text);

// Fixed-point text of Value with Decimals decimals (no width).
std::string FixedText(Extended Value, int Decimals);

// Base raised to a real exponent, in extended precision; faults as checked.h.
Extended Power(Extended Base, Extended Exponent);

}  // namespace varnel
