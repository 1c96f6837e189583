#include <gtest/gtest.h>

#include "platform/Dio.h"
#include "support/Files.h"
#include "support/TempFolder.h"

namespace meldrix {
namespace {

using testing::ReadFile;
using testing::WriteFile;

TEST(SimulatedDio, OutputsInputsAndImpulsesOnTheClock) {
  int64_t now = 0;
  SimulatedDioBank bank(4, [&now] { return now; });
  bank.SetOutput(0, 5);
  EXPECT_EQ(bank.GetOutput(0), 1);
  // Outside the bank: ignored, reads 0.
  bank.SetOutput(4, 1);
  bank.SetOutputImpulse(-1, 1, 10);
  EXPECT_EQ(bank.GetOutput(4), 0);
  EXPECT_EQ(bank.GetInput(-1), 0);
  // A plain write ends a running impulse.
  bank.SetOutputImpulse(2, 1, 100);
  bank.SetOutput(2, 1);
  now = 10000;
  EXPECT_EQ(bank.GetOutput(2), 1);
}

TEST(SimulatedDio, StateFileMirrorsOutputsAndDrivesInputs) {
  testing::TempFolder folder;
  const std::string path = folder.File("dio");
  int64_t now = 0;
  WriteFile(path, "I=0100\nQ=1111\n");
  SimulatedDioBank bank(4, [&now] { return now; }, path);
  EXPECT_EQ(bank.GetInput(1), 1);
  EXPECT_EQ(bank.GetOutput(0), 0);  // outputs start off
  EXPECT_EQ(ReadFile(path), "I=0100\nQ=0000\n");
  bank.SetOutput(2, 1);
  EXPECT_EQ(ReadFile(path), "I=0100\nQ=0010\n");
  WriteFile(path, "I=0001\nQ=0010\n");  // driven from outside
  EXPECT_EQ(bank.GetInput(3), 1);
  EXPECT_EQ(bank.GetInput(1), 0);
  bank.SetOutputImpulse(0, 1, 50);
  EXPECT_EQ(ReadFile(path), "I=0001\nQ=1010\n");
  now = 50;
  bank.Poll();
  EXPECT_EQ(ReadFile(path), "I=0001\nQ=0010\n");
}

}  // namespace
}  // namespace meldrix
