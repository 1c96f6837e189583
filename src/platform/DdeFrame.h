// The wire form of the DDE exchange: every frame is a 32-bit little-endian
// length followed by that many bytes of body. A body holds the frame kind, a
// sequence number (a reply carries the number of its request), the
// transaction type, the clipboard format, a 32-bit value (acknowledgement
// flags or a truth value), two names and the data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/DdeTypes.h"

namespace meldrix {

enum class DdeFrameKind : std::uint8_t {
  Transaction = 1,  // name1 = item
  Reply = 2,
  Hello = 3,        // connect: name1 = topic, name2 = the client's identity
  WildConnect = 4,  // name1 = service, name2 = topic (either may be empty)
};

struct DdeFrame {
  DdeFrameKind kind = DdeFrameKind::Transaction;
  std::uint32_t seq = 0;
  std::uint16_t type = 0;
  std::uint16_t format = 0;
  std::uint32_t value = 0;
  std::string name1;
  std::string name2;
  std::string data;
};

// The frame with its length prefix.
std::string EncodeDdeFrame(const DdeFrame& frame);

enum class DdeFrameStatus { Complete, NeedMore, Malformed };

// Takes one frame off the front of `buffer` when it is complete. A length
// above kDdeMaxFrame or a body that does not parse is Malformed.
DdeFrameStatus TakeDdeFrame(std::string& buffer, DdeFrame& frame);

// The (service, pid, topic) list of a wild connect reply.
std::string EncodeServiceTopics(const std::vector<DdeServiceTopic>& pairs);
std::optional<std::vector<DdeServiceTopic>> DecodeServiceTopics(const std::string& data);

}  // namespace meldrix
