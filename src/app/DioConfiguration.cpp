#include "app/DioConfiguration.h"

namespace meldrix {

DioConfiguration::DioConfiguration(Log log)
    : log_(std::move(log)),
      fallback_(ProcessEnv().dio),
      bank_(std::make_shared<ConfiguredDioBank>(fallback_)),
      env_(Env{.dio = bank_}) {}

void DioConfiguration::Apply(const ConfigValueReader& config) {
  std::string error;
  auto settings = ReadGpioDioSettings(config, error);
  if (settings == settings_ && error == error_) return;
  settings_ = settings;
  error_ = error;
  if (!error.empty()) log_(error + "; the simulated bank is used");
  // The old lines are given back before the new ones are requested.
  bank_->Use(fallback_);
  if (settings) bank_->Use(std::make_shared<GpioDioBank>(*settings, log_));
}

}  // namespace meldrix
