#include "platform/GpioDio.h"

#include <gpiod.h>

#include <cerrno>
#include <cstring>

namespace meldrix {

namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseLines(const std::string& text, std::vector<unsigned>& lines, std::string& bad) {
  std::size_t start = 0;
  while (start <= text.size()) {
    auto end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    const std::string entry = Trim(text.substr(start, end - start));
    start = end + 1;
    if (entry.empty() && end == text.size() && lines.empty()) break;  // no lines at all
    if (entry.empty() || entry.size() > 6 || entry.find_first_not_of("0123456789") != std::string::npos) {
      bad = entry.empty() ? "an empty entry" : "\"" + entry + "\"";
      return false;
    }
    lines.push_back(static_cast<unsigned>(std::stoul(entry)));
  }
  return true;
}

}  // namespace

std::optional<GpioDioSettings> ReadGpioDioSettings(const ConfigValueReader& config, std::string& error) {
  error.clear();
  GpioDioSettings settings;
  settings.chip = Trim(config("DIO", "Chip"));
  if (settings.chip.empty()) return std::nullopt;
  std::string bad;
  if (!ParseLines(config("DIO", "Inputs"), settings.inputs, bad)) {
    error = "DIO: \"Inputs\" holds " + bad + ", not a line number";
    return std::nullopt;
  }
  if (!ParseLines(config("DIO", "Outputs"), settings.outputs, bad)) {
    error = "DIO: \"Outputs\" holds " + bad + ", not a line number";
    return std::nullopt;
  }
  return settings;
}

GpioDioBank::GpioDioBank(GpioDioSettings settings, Log log)
    : settings_(std::move(settings)),
      inputs_(settings_.inputs.size(), nullptr),
      outputs_(settings_.outputs.size()) {
  chip_ = ::gpiod_chip_open_lookup(settings_.chip.c_str());
  if (!chip_) {
    log("DIO: GPIO chip \"" + settings_.chip + "\" cannot be opened (" + std::strerror(errno) +
        "); every channel reads 0");
    return;
  }
  auto request = [&](unsigned offset, bool asOutput) -> gpiod_line* {
    gpiod_line* line = ::gpiod_chip_get_line(chip_, offset);
    const int result = !line ? -1
                       : asOutput ? ::gpiod_line_request_output(line, kConsumer, 0)
                                  : ::gpiod_line_request_input(line, kConsumer);
    if (result == 0) return line;
    log("DIO: GPIO line " + std::to_string(offset) + " of \"" + settings_.chip + "\" cannot be requested as " +
        (asOutput ? "output (" : "input (") + std::strerror(errno) + ")");
    return nullptr;
  };
  for (std::size_t i = 0; i < inputs_.size(); ++i) inputs_[i] = request(settings_.inputs[i], false);
  for (std::size_t i = 0; i < outputs_.size(); ++i) outputs_[i].line = request(settings_.outputs[i], true);
  if (!outputs_.empty()) impulses_ = std::jthread([this](std::stop_token stop) { EndImpulses(stop); });
}

GpioDioBank::~GpioDioBank() {
  if (impulses_.joinable()) {
    impulses_.request_stop();
    impulses_.join();
  }
  // Closing the chip releases every requested line.
  if (chip_) ::gpiod_chip_close(chip_);
}

int GpioDioBank::GetInput(int index) {
  std::lock_guard lock(lock_);
  if (index < 0 || index >= static_cast<int>(inputs_.size()) || !inputs_[index]) return 0;
  return ::gpiod_line_get_value(inputs_[index]) == 1 ? 1 : 0;
}

int GpioDioBank::GetOutput(int index) {
  std::lock_guard lock(lock_);
  if (index < 0 || index >= static_cast<int>(outputs_.size()) || !outputs_[index].line) return 0;
  const int value = ::gpiod_line_get_value(outputs_[index].line);
  return value < 0 ? outputs_[index].state : value;
}

void GpioDioBank::Drive(Output& output, int state) {
  output.state = state ? 1 : 0;
  ::gpiod_line_set_value(output.line, output.state);
}

void GpioDioBank::SetOutput(int index, int on) {
  std::lock_guard lock(lock_);
  if (index < 0 || index >= static_cast<int>(outputs_.size()) || !outputs_[index].line) return;
  outputs_[index].pulsing = false;
  Drive(outputs_[index], on);
}

void GpioDioBank::SetOutputImpulse(int index, int state, int duration) {
  {
    std::lock_guard lock(lock_);
    if (index < 0 || index >= static_cast<int>(outputs_.size()) || !outputs_[index].line) return;
    Output& output = outputs_[index];
    if (duration <= 0) {  // an empty impulse leaves the opposite state
      output.pulsing = false;
      Drive(output, !state);
      return;
    }
    Drive(output, state);
    output.pulsing = true;
    output.pulseEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(duration);
    ++impulsesStarted_;
  }
  changed_.notify_all();
}

void GpioDioBank::EndImpulses(std::stop_token stop) {
  std::unique_lock lock(lock_);
  while (!stop.stop_requested()) {
    const std::uint64_t seen = impulsesStarted_;
    auto next = std::chrono::steady_clock::time_point::max();
    const auto now = std::chrono::steady_clock::now();
    for (Output& output : outputs_) {
      if (!output.pulsing) continue;
      if (output.pulseEnd <= now) {
        output.pulsing = false;
        Drive(output, !output.state);
      } else if (output.pulseEnd < next) {
        next = output.pulseEnd;
      }
    }
    // Woken by a new impulse, which may end before the one waited for.
    auto started = [&] { return impulsesStarted_ != seen; };
    if (next == std::chrono::steady_clock::time_point::max())
      changed_.wait(lock, stop, started);
    else
      changed_.wait_until(lock, stop, next, started);
  }
}

}  // namespace meldrix
