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

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace meldrix {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(SimulatedDio, StateFileMirrorsOutputsAndDrivesInputs) {
  namespace fs = std::filesystem;
  std::string path = (fs::temp_directory_path() / ("meldrix-dio-" + std::to_string(::getpid()))).string();
  int64_t now = 0;
  {
    std::ofstream(path) << "I=0100\nQ=1111\n";
    SimulatedDioBank bank(4, [&now] { return now; }, path);
    EXPECT_EQ(bank.GetInput(1), 1);
    EXPECT_EQ(bank.GetOutput(0), 0);  // outputs start off
    EXPECT_EQ(ReadAll(path), "I=0100\nQ=0000\n");
    bank.SetOutput(2, 1);
    EXPECT_EQ(ReadAll(path), "I=0100\nQ=0010\n");
    std::ofstream(path) << "I=0001\nQ=0010\n";  // driven from outside
    EXPECT_EQ(bank.GetInput(3), 1);
    EXPECT_EQ(bank.GetInput(1), 0);
    bank.SetOutputImpulse(0, 1, 50);
    EXPECT_EQ(ReadAll(path), "I=0001\nQ=1010\n");
    now = 50;
    bank.Poll();
    EXPECT_EQ(ReadAll(path), "I=0001\nQ=0010\n");
  }
  fs::remove(path);
}

}  // namespace
}  // namespace meldrix
