#include <gtest/gtest.h>

#include "platform/Dio.h"

namespace meldrix {
namespace {

TEST(SimulatedDio, OutputsInputsAndImpulsesOnTheClock) {
  int64_t now = 0;
  SimulatedDioBank bank(4, [&now] { return now; });
  bank.SetOutput(0, 5);
  EXPECT_EQ(bank.GetOutput(0), 1);
  bank.SetInput(3, 1);
  EXPECT_EQ(bank.GetInput(3), 1);
  EXPECT_EQ(bank.GetInput(2), 0);
  // Outside the bank: ignored, reads 0.
  bank.SetOutput(4, 1);
  bank.SetOutputImpulse(-1, 1, 10);
  EXPECT_EQ(bank.GetOutput(4), 0);
  EXPECT_EQ(bank.GetInput(-1), 0);

  bank.SetOutputImpulse(1, 1, 500);
  now = 499;
  EXPECT_EQ(bank.GetOutput(1), 1);
  now = 500;
  EXPECT_EQ(bank.GetOutput(1), 0);
  // A plain write ends a running impulse.
  bank.SetOutputImpulse(2, 1, 100);
  bank.SetOutput(2, 1);
  now = 10000;
  EXPECT_EQ(bank.GetOutput(2), 1);
}

}  // namespace
}  // namespace meldrix
