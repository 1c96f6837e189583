#include "app/DioConfiguration.h"

#include <gtest/gtest.h>

#include <map>

namespace meldrix {
namespace {

ConfigValueReader Values(std::map<std::string, std::string> values) {
  return [values](const std::string& section, const std::string& key) {
    auto it = values.find(section + "/" + key);
    return it != values.end() ? it->second : std::string();
  };
}

// The configuration chooses the bank; a reload with the same settings keeps
// it (and its outputs); without "DIO" the environment's bank comes back.
TEST(DioConfiguration, ChoosesTheBankFromTheConfiguration) {
  auto simulated = std::make_shared<SimulatedDioBank>(4);
  ScopedEnv test(Env{.dio = simulated});
  std::vector<std::string> logs;
  {
    DioConfiguration dio([&](const std::string& text) { logs.push_back(text); });
    dio.Apply(Values({}));
    EXPECT_EQ(dio.InUse(), simulated);
    CurrentDio()->SetOutput(1, 1);
    EXPECT_EQ(simulated->GetOutput(1), 1);  // reached through the environment

    const auto gpio = Values({{"DIO/Chip", "meldrix-no-such-chip"}, {"DIO/Outputs", "17"}});
    dio.Apply(gpio);
    auto chosen = std::dynamic_pointer_cast<GpioDioBank>(dio.InUse());
    ASSERT_TRUE(chosen);
    EXPECT_EQ(CurrentDio()->GetOutput(1), 0);
    dio.Apply(gpio);
    EXPECT_EQ(dio.InUse(), chosen);
    EXPECT_EQ(logs.size(), 1u);  // the chip, once

    const auto bad = Values({{"DIO/Chip", "gpiochip0"}, {"DIO/Inputs", "four"}});
    dio.Apply(bad);
    dio.Apply(bad);
    EXPECT_EQ(dio.InUse(), simulated);
    ASSERT_EQ(logs.size(), 2u);
    EXPECT_EQ(logs[1], "DIO: \"Inputs\" holds \"four\", not a line number; the simulated bank is used");
    dio.Apply(Values({}));
    EXPECT_EQ(dio.InUse(), simulated);
  }
  EXPECT_EQ(CurrentDio(), simulated);
}

}  // namespace
}  // namespace meldrix
