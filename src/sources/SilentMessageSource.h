// A source that opens and never delivers anything: the kinds whose readers
// do not exist yet derive from it, and unknown kinds use it as it is.
#pragma once

#include "sources/MessageSource.h"

namespace meldrix {

class CSilentMessageSource : public IMessageSource {
 public:
  bool Open(const OutPortServices&) override { return true; }
  void Close() override {}
  std::string Describe() const override { return std::string(); }
  std::uint32_t Poll(IMessageSink&, const OutPortServices&) override { return kSourcePollMs; }
};

}  // namespace meldrix
