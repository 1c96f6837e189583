#include "platform/DdeFrame.h"

namespace meldrix {

namespace {

void PutU16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutName(std::string& out, const std::string& name) {
  PutU32(out, static_cast<std::uint32_t>(name.size()));
  out += name;
}

class Reader {
 public:
  Reader(const std::string& s, std::size_t begin, std::size_t end) : s_(s), pos_(begin), end_(end) {}
  bool U8(std::uint8_t& v) {
    if (end_ - pos_ < 1) return false;
    v = static_cast<std::uint8_t>(s_[pos_++]);
    return true;
  }
  bool U16(std::uint16_t& v) {
    if (end_ - pos_ < 2) return false;
    v = static_cast<std::uint16_t>(Byte(0) | (Byte(1) << 8));
    pos_ += 2;
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (end_ - pos_ < 4) return false;
    v = Byte(0) | (Byte(1) << 8) | (Byte(2) << 16) | (Byte(3) << 24);
    pos_ += 4;
    return true;
  }
  bool Name(std::string& v) {
    std::uint32_t n = 0;
    if (!U32(n) || end_ - pos_ < n) return false;
    v.assign(s_, pos_, n);
    pos_ += n;
    return true;
  }
  std::string Rest() { return s_.substr(pos_, end_ - pos_); }
  bool AtEnd() const { return pos_ == end_; }

 private:
  std::uint32_t Byte(std::size_t i) const {
    return static_cast<std::uint8_t>(s_[pos_ + i]);
  }
  const std::string& s_;
  std::size_t pos_, end_;
};

}  // namespace

std::string EncodeDdeFrame(const DdeFrame& frame) {
  std::string body;
  body.push_back(static_cast<char>(frame.kind));
  PutU32(body, frame.seq);
  PutU16(body, frame.type);
  PutU16(body, frame.format);
  PutU32(body, frame.value);
  PutName(body, frame.name1);
  PutName(body, frame.name2);
  body += frame.data;
  std::string out;
  PutU32(out, static_cast<std::uint32_t>(body.size()));
  return out + body;
}

DdeFrameStatus TakeDdeFrame(std::string& buffer, DdeFrame& frame) {
  if (buffer.size() < 4) return DdeFrameStatus::NeedMore;
  std::uint32_t length = 0;
  Reader header(buffer, 0, 4);
  header.U32(length);
  if (length > kDdeMaxFrame || length < 21) return DdeFrameStatus::Malformed;
  if (buffer.size() - 4 < length) return DdeFrameStatus::NeedMore;
  Reader r(buffer, 4, 4 + length);
  std::uint8_t kind = 0;
  DdeFrame f;
  if (!r.U8(kind) || !r.U32(f.seq) || !r.U16(f.type) || !r.U16(f.format) || !r.U32(f.value) ||
      !r.Name(f.name1) || !r.Name(f.name2))
    return DdeFrameStatus::Malformed;
  if (kind < 1 || kind > 4) return DdeFrameStatus::Malformed;
  f.kind = static_cast<DdeFrameKind>(kind);
  f.data = r.Rest();
  buffer.erase(0, 4 + length);
  frame = std::move(f);
  return DdeFrameStatus::Complete;
}

std::string EncodeServiceTopics(const std::vector<DdeServiceTopic>& pairs) {
  std::string out;
  for (const DdeServiceTopic& p : pairs) {
    PutName(out, p.service);
    PutU32(out, static_cast<std::uint32_t>(p.pid));
    PutName(out, p.topic);
  }
  return out;
}

std::optional<std::vector<DdeServiceTopic>> DecodeServiceTopics(const std::string& data) {
  std::vector<DdeServiceTopic> pairs;
  Reader r(data, 0, data.size());
  while (!r.AtEnd()) {
    DdeServiceTopic p;
    std::uint32_t pid = 0;
    if (!r.Name(p.service) || !r.U32(pid) || !r.Name(p.topic)) return std::nullopt;
    p.pid = static_cast<int>(pid);
    pairs.push_back(std::move(p));
  }
  return pairs;
}

}  // namespace meldrix
