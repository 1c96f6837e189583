// Kind 2: text files that other programs drop; the file setting (expanded at
// every poll) names one file or a pattern.
#pragma once

#include "sources/FileSource.h"
#include "sources/MessageSource.h"

namespace meldrix {

class CFileMessageSource : public IMessageSource {
 public:
  explicit CFileMessageSource(const InSourceSettings& settings) : settings_(settings) {}

  bool Open(const OutPortServices&) override { return !settings_.m_File.empty(); }
  // Bytes kept back by the per-poll limit stay for the next open.
  void Close() override {}
  std::string Describe() const override;
  std::uint32_t Poll(IMessageSink& sink, const OutPortServices& services) override;
  const std::string* FileForOutput() const override { return &settings_.m_File; }

 private:
  const InSourceSettings& settings_;
  CFileSource reader_;
};

}  // namespace meldrix
