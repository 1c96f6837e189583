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
  // Received blocks in arrival order, until kMaxMessagesPerPoll messages
  // or kMaxBytesPerPoll bytes are taken; 0 (poll again at once) when more
  // may wait.
  static constexpr std::size_t kMaxBytesPerPoll = 256 * 1024;
  std::uint32_t Poll(IMessageSink& sink, const OutPortServices& services) override;

 private:
  const InSourceSettings& settings_;
  // Made at the first open and kept while the source exists, so blocks not
  // yet polled survive a close and reopen.
  std::unique_ptr<CSocketSourceListener> listener_;
};

}  // namespace meldrix
