#include "platform/GpioDio.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "support/Files.h"
#include "support/WaitUntil.h"

namespace meldrix {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WaitUntil;
using testing::WriteFile;

ConfigValueReader Values(std::map<std::string, std::string> values) {
  return [values](const std::string& section, const std::string& key) {
    auto it = values.find(section + "/" + key);
    return section == "DIO" && it != values.end() ? it->second : std::string();
  };
}

TEST(GpioDioSettings, ChipAndLineLists) {
  std::string error;
  EXPECT_FALSE(ReadGpioDioSettings(Values({{"DIO/Inputs", "1"}}), error));
  EXPECT_EQ(error, "");
  auto settings = ReadGpioDioSettings(
      Values({{"DIO/Chip", " gpiochip0 "}, {"DIO/Inputs", "4, 5 ,6"}, {"DIO/Outputs", "17,18"}}), error);
  ASSERT_TRUE(settings) << error;
  EXPECT_EQ(*settings, (GpioDioSettings{"gpiochip0", {4, 5, 6}, {17, 18}}));
  struct Bad {
    const char* inputs;
    const char* outputs;
    const char* error;
  };
  for (const Bad& bad : {Bad{"4,x", "", "DIO: \"Inputs\" holds \"x\", not a line number"},
                         Bad{"", "17,,18", "DIO: \"Outputs\" holds an empty entry, not a line number"},
                         Bad{"4,", "", "DIO: \"Inputs\" holds an empty entry, not a line number"},
                         Bad{"-1", "", "DIO: \"Inputs\" holds \"-1\", not a line number"}}) {
    EXPECT_FALSE(ReadGpioDioSettings(
        Values({{"DIO/Chip", "gpiochip0"}, {"DIO/Inputs", bad.inputs}, {"DIO/Outputs", bad.outputs}}), error));
    EXPECT_EQ(error, bad.error);
  }
}

// A chip that cannot be opened: one log line, every channel reads 0 and
// writes go nowhere.
TEST(GpioDioBank, MissingChipGivesTheFailureResults) {
  std::vector<std::string> logs;
  GpioDioBank bank({"meldrix-no-such-chip", {4}, {17, 18}}, [&](const std::string& text) { logs.push_back(text); });
  bank.SetOutput(0, 1);
  bank.SetOutputImpulse(1, 1, 10);
  EXPECT_EQ(bank.GetOutput(0), 0);
  EXPECT_EQ(bank.GetOutput(1), 0);
  EXPECT_EQ(bank.GetInput(0), 0);
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].rfind("DIO: GPIO chip \"meldrix-no-such-chip\" cannot be opened (", 0), 0u) << logs[0];
}

// A simulated chip of the kernel (gpio-sim through configfs): its lines are
// driven and read through sysfs while the bank uses the character device.
class GpioSimChip {
 public:
  static constexpr const char* kRoot = "/sys/kernel/config/gpio-sim";
  static std::string Unavailable() {
    if (!fs::exists(kRoot)) return "gpio-sim is not available (no configfs or no gpio-sim module)";
    if (::access(kRoot, W_OK) != 0) return "gpio-sim needs write access to " + std::string(kRoot);
    return "";
  }
  explicit GpioSimChip(int lines) : dir_(std::string(kRoot) + "/meldrix-" + std::to_string(::getpid())) {
    fs::create_directories(dir_ + "/bank0");
    WriteFile(dir_ + "/bank0/num_lines", std::to_string(lines));
    WriteFile(dir_ + "/live", "1");
    chip_ = Trimmed(ReadFile(dir_ + "/bank0/chip_name"));
    lines_ = "/sys/devices/platform/" + Trimmed(ReadFile(dir_ + "/dev_name")) + "/" + chip_;
  }
  ~GpioSimChip() {
    WriteFile(dir_ + "/live", "0");
    fs::remove(dir_ + "/bank0");
    fs::remove(dir_);
  }
  const std::string& Chip() const { return chip_; }
  void Pull(int line, bool up) { WriteFile(LineFile(line, "pull"), up ? "pull-up" : "pull-down"); }
  int Value(int line) const { return Trimmed(ReadFile(LineFile(line, "value"))) == "1" ? 1 : 0; }

 private:
  static std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }
  std::string LineFile(int line, const char* name) const {
    return lines_ + "/sim_gpio" + std::to_string(line) + "/" + name;
  }
  std::string dir_, chip_, lines_;
};

TEST(GpioDioBank, DrivesAndReadsSimulatedChipLines) {
  if (const std::string why = GpioSimChip::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  GpioSimChip sim(8);
  std::vector<std::string> logs;
  // Line 9 does not exist on an 8-line chip: that channel fails alone.
  GpioDioBank bank({sim.Chip(), {4, 9}, {6, 7}}, [&](const std::string& text) { logs.push_back(text); });
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_NE(logs[0].find("line 9"), std::string::npos) << logs[0];
  sim.Pull(4, true);
  EXPECT_EQ(bank.GetInput(0), 1);
  sim.Pull(4, false);
  EXPECT_EQ(bank.GetInput(0), 0);
  EXPECT_EQ(bank.GetInput(1), 0);
  bank.SetOutput(0, 1);
  EXPECT_EQ(sim.Value(6), 1);
  EXPECT_EQ(bank.GetOutput(0), 1);
  // The impulse ends on its own, without another call.
  bank.SetOutputImpulse(1, 1, 100);
  EXPECT_EQ(sim.Value(7), 1);
  EXPECT_TRUE(WaitUntil([&] { return sim.Value(7) == 0; }));
}

}  // namespace
}  // namespace meldrix
