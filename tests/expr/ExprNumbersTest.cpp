#include <gtest/gtest.h>

#include <cmath>

#include "expr/ExprNumbers.h"

namespace meldrix {
namespace {

TEST(ExprNumbers, IntegersWithAutomaticBase) {
  EXPECT_EQ(TextToInteger("0x1F"), 31);
  EXPECT_EQ(TextToInteger("017"), 15);
  EXPECT_EQ(TextToInteger("  -12abc"), -12);
  EXPECT_EQ(TextToInteger("0x"), 0);
  EXPECT_EQ(TextToInteger("089"), 0);
  EXPECT_EQ(TextToInteger("abc"), 0);
  EXPECT_EQ(TextToInteger("99999999999"), 2147483647);
  EXPECT_EQ(TextToInteger("-99999999999"), INT32_MIN);
  EXPECT_EQ(TextToInteger("-2147483648"), INT32_MIN);
  EXPECT_EQ(DigitsToInteger("ff", 16), 255);
}

TEST(ExprNumbers, RealsIgnoreTheLocaleAndOddForms) {
  EXPECT_EQ(TextToReal(" 2.5x"), 2.5);
  EXPECT_EQ(TextToReal("-.5e1"), -5.0);
  EXPECT_EQ(TextToReal("1e"), 1.0);
  EXPECT_EQ(TextToReal("2,5"), 2.0);
  EXPECT_EQ(TextToReal("inf"), 0.0);
  EXPECT_EQ(TextToReal("0x10"), 0.0);
  EXPECT_EQ(TextToReal("."), 0.0);
  EXPECT_EQ(TextToReal("1e999"), HUGE_VAL);
  EXPECT_EQ(TextToReal("1e-999"), 0.0);
}

TEST(ExprNumbers, RealTextHasSixDigitsAndThreeDigitExponents) {
  EXPECT_EQ(RealToText(2.5), "2.5");
  EXPECT_EQ(RealToText(1e20), "1e+020");
  EXPECT_EQ(RealToText(1.5e-7), "1.5e-007");
  EXPECT_EQ(RealToText(123456789.0), "1.23457e+008");
  EXPECT_EQ(RealToText(1e100), "1e+100");
  EXPECT_EQ(RealToText(0.0001), "0.0001");
  EXPECT_EQ(RealToText(-3.0), "-3");
  EXPECT_EQ(IntegerToText(INT32_MIN), "-2147483648");
}

}  // namespace
}  // namespace meldrix
