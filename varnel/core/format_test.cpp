// SPDX-License-Identifier: Apache-2.0
#include "varnel/core/format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "varnel/core/faults.h"

namespace varnel {
namespace {

TEST(FormatTest, IntegerAndFixedFieldsAlignRightAndNeverCut) {
  EXPECT_EQ(Format("n      = %5d", {5}), "n      =     5");
  EXPECT_EQ(Format("%2d", {123}), "123");
  EXPECT_EQ(Format("%-4d|", {7}), "7   |");
  EXPECT_EQ(Format(" %10.4f ", {3.14159265L}), "     3.1416 ");
  EXPECT_EQ(Format("%10.4f", {-66.0833333L}), "  -66.0833");
  EXPECT_EQ(Format("%5.3f", {123456.5L}), "123456.500");
  EXPECT_EQ(Format("%.2f%%", {12.5}), "12.50%");
  EXPECT_EQ(Format("y = %10.4f + %10.4fx", {1.0, 2.0}), "y =     1.0000 +     2.0000x");
  EXPECT_EQ(Format("%s and %s", {"a", std::string("b")}), "a and b");
}

TEST(FormatTest, MismatchedPatternRaisesConvertError) {
  EXPECT_THROW(Format("%d", {1.5}), EConvertError);
  EXPECT_THROW(Format("%f", {}), EConvertError);
  EXPECT_THROW(Format("%q", {1}), EConvertError);
}

TEST(FormatTest, DecimalRoundingIsToNearestWithHalvesAwayFromZero) {
  EXPECT_EQ(FormatFloat("0.00", 0.125L), "0.13");   // an exact binary half
  EXPECT_EQ(FormatFloat("0.00", -0.125L), "-0.13");
  EXPECT_EQ(FormatFloat("0.00", 2.675), "2.67");    // the double is just below 2.675
  EXPECT_EQ(FormatFloat("0.0000", 0.99999), "1.0000");
  EXPECT_EQ(FormatFloat("0.000", 0.8513705), "0.851");
  EXPECT_EQ(FormatFloat("0.00", 999.999), "1000.00");
  EXPECT_EQ(FormatFloat("0.00", 0), "0.00");
  EXPECT_EQ(FormatFloat("0.00", -0.001), "0.00");  // no minus on a value that rounds to zero
  EXPECT_EQ(FormatFloat("0.00", 1e20L), "100000000000000000000.00");
  EXPECT_EQ(Format("%9.3f", {-0.0004L}), "    0.000");
}

TEST(FormatTest, FloatToStrUsesFifteenDigitsGeneralForm) {
  EXPECT_EQ(FloatToStr(0), "0");
  EXPECT_EQ(FloatToStr(0.5), "0.5");
  EXPECT_EQ(FloatToStr(-1E22L), "-1E22");
  EXPECT_EQ(FloatToStr(1E15L), "1E15");
  EXPECT_EQ(FloatToStr(1E14L), "100000000000000");
  EXPECT_EQ(FloatToStr(0.0001L), "0.0001");
  EXPECT_EQ(FloatToStr(0.00001L), "1E-5");
  EXPECT_EQ(FloatToStr(1.0L / 3), "0.333333333333333");
  EXPECT_EQ(FloatToStr(static_cast<float>(0.7)), "0.699999988079071");
  EXPECT_EQ(FloatToStr(123.456L), "123.456");
  EXPECT_EQ(FloatToStr(-2.5e-7L), "-2.5E-7");
}

TEST(FormatTest, IntegerTextsRoundTripAndRejectJunk) {
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(StrToInt("17"), 17);
  EXPECT_EQ(StrToInt("  -8"), -8);
  EXPECT_EQ(StrToInt("$1F"), 31);
  for (const char* Bad : {"", "x", "12a", "1.5", "99999999999", " ", "-"}) {
    EXPECT_THROW(StrToInt(Bad), EConvertError) << Bad;
  }
}

TEST(FormatTest, PointIsTheDecimalSeparatorInEveryLocale) {
  const char* Previous = std::setlocale(LC_ALL, nullptr);
  const std::string Saved = Previous ? Previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(Format("%6.2f", {1.5}), "  1.50");
  EXPECT_EQ(FloatToStr(2.25), "2.25");
  std::setlocale(LC_ALL, Saved.c_str());
}

TEST(FormatTest, PowerRaisesToRealExponentsAndFaults) {
  EXPECT_EQ(Power(2, 10), 1024);
  EXPECT_EQ(Power(-2, 3), -8);
  EXPECT_EQ(Power(0, 2), 0);
  EXPECT_EQ(Power(5, 0), 1);
  EXPECT_NEAR(static_cast<double>(Power(9, 0.5L)), 3.0, 1e-15);
  EXPECT_THROW(Power(-8, 1.0L / 3), EInvalidOp);
  EXPECT_THROW(Power(0, -1), EZeroDivide);
  EXPECT_THROW(Power(10, 1e6L), EOverflow);
}

}  // namespace
}  // namespace varnel
