#include <gtest/gtest.h>

#include <cmath>

#include "expr/ExprNumbers.h"

namespace meldrix {
namespace {

TEST(ExprNumbers, IntegersWithAutomaticBaseSaturate) {
  const std::pair<const char*, int> rows[] = {
      {"0x1F", 31}, {"017", 15}, {"  -12abc", -12}, {"0x", 0}, {"089", 0}, {"abc", 0}, {"99999999999", 2147483647},
      {"-99999999999", INT32_MIN}, {"-2147483648", INT32_MIN}};
  for (const auto& [text, value] : rows) EXPECT_EQ(TextToInteger(text), value) << text;
  EXPECT_EQ(DigitsToInteger("ff", 16), 255);
}

TEST(ExprNumbers, RealsIgnoreTheLocaleAndOddForms) {
  const std::pair<const char*, double> rows[] = {
      {" 2.5x", 2.5}, {"-.5e1", -5.0}, {"1e", 1.0}, {"2,5", 2.0}, {"inf", 0.0}, {"0x10", 0.0}, {".", 0.0},
      {"1e999", HUGE_VAL}, {"1e-999", 0.0}};
  for (const auto& [text, value] : rows) EXPECT_EQ(TextToReal(text), value) << text;
}

TEST(ExprNumbers, RealTextHasSixDigitsAndThreeDigitExponents) {
  const std::pair<double, const char*> rows[] = {
      {2.5, "2.5"}, {1e20, "1e+020"}, {1.5e-7, "1.5e-007"}, {123456789.0, "1.23457e+008"}, {1e100, "1e+100"},
      {0.0001, "0.0001"}, {-3.0, "-3"}};
  for (const auto& [value, text] : rows) EXPECT_EQ(RealToText(value), text) << value;
  EXPECT_EQ(IntegerToText(INT32_MIN), "-2147483648");
}

}  // namespace
}  // namespace meldrix
