// Kind 5: other programs connect to the source's TCP port and write text.
#pragma once

#include <memory>

#include "sources/MessageSource.h"
#include "sources/SocketSource.h"

namespace meldrix {

class CSocketMessageSource : public IMessageSource {
 public:
  explicit CSocketMessageSource(const InSourceSettings& settings) : settings_(settings) {}

  bool Open(const OutPortServices& services) override;
  void Close() override;
  std::string Describe() const override;
  // One received block per poll, in arrival order.
  std::uint32_t Poll(IMessageSink& sink, const OutPortServices& services) override;

 private:
  const InSourceSettings& settings_;
  // Made at the first open and kept while the source exists, so blocks not
  // yet polled survive a close and reopen.
  std::unique_ptr<CSocketSourceListener> listener_;
};

}  // namespace meldrix
