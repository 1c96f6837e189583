#include "util/Trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/PrivateProfile.h"

namespace meldrix {

namespace {

constexpr size_t kFormatStart = 4096;
constexpr size_t kFormatLimit = size_t{256} << 20;  // buffers stay below 256 MiB

int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Formats like the original: a 4096-byte buffer doubled while the text does
// not fit; nullopt when it would need 256 MiB or more.
std::optional<std::string> FormatText(const char* format, va_list args) {
  va_list probe;
  va_copy(probe, args);
  int needed = std::vsnprintf(nullptr, 0, format, probe);
  va_end(probe);
  if (needed < 0) return std::nullopt;
  size_t size = kFormatStart;
  while (size <= static_cast<size_t>(needed)) size *= 2;
  if (size >= kFormatLimit) return std::nullopt;
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  va_list copy;
  va_copy(copy, args);
  std::vsnprintf(text.data(), text.size(), format, copy);
  va_end(copy);
  text.resize(static_cast<size_t>(needed));
  return text;
}

// Section "TRAX", key "TraceServer" of the configuration file; "." is this machine.
std::string TraceServerName(const std::string& configFile) {
  if (configFile.empty()) return ".";
  return PrivateProfile::GetString(configFile, "TRAX", "TraceServer", ".");
}

}  // namespace

TraceChannel::TraceChannel(Options options) : options_(std::move(options)) {
  // The first poll happens at once.
  lastPoll_ = options_.clock() - kTracePollIntervalMs;
}

TraceChannel::~TraceChannel() { Shut(); }

std::string TraceChannel::Word(uint8_t kind, uint32_t value) {
  std::string message(5, '\0');
  message[0] = static_cast<char>(kind);
  for (int i = 0; i < 4; ++i) message[1 + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return message;
}

uint32_t TraceChannel::GetMask() {
  if (closed_.load(std::memory_order_relaxed)) return 0;
  int64_t now = options_.clock();
  int64_t last = lastPoll_.load(std::memory_order_relaxed);
  if (now - last < kTracePollIntervalMs) return mask_.load(std::memory_order_relaxed);
  // One thread polls; the others go on with the stored mask.
  if (!lastPoll_.compare_exchange_strong(last, now)) return mask_.load(std::memory_order_relaxed);

  std::lock_guard guard(lock_);
  if (closed_) return 0;
  if (!endpointKnown_) {
    endpoint_ = options_.endpoint();
    endpointKnown_ = true;
  }
  if (!pipe_.IsOpen() && !pipe_.Open(endpoint_)) {
    mask_ = 0;
    return 0;
  }
  if (!pipe_.Send(std::string_view("\x02", 1))) {
    pipe_.Close();  // the stored mask stays until the next poll
    return mask_;
  }
  std::optional<std::string> answer = pipe_.Receive(8);
  if (!answer) {
    pipe_.Close();  // no answer: the server is gone or stuck
  } else if (answer->size() >= 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(answer->data());
    mask_ = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
  }
  return mask_;
}

bool TraceChannel::SendLocked(std::string_view message) {
  if (!pipe_.IsOpen()) {
    mask_ = 0;
    return false;
  }
  if (!pipe_.Send(message)) {
    pipe_.Close();  // the next due poll opens it again
    return false;
  }
  return true;
}

void TraceChannel::SendText(std::string_view text) {
  if (closed_) return;
  std::lock_guard guard(lock_);
  SendTextLocked(text);
}

void TraceChannel::SendTextLocked(std::string_view text) {
  // The text travels with its terminating zero byte, cut into pieces.
  size_t total = text.size() + 1;
  std::string piece;
  for (size_t offset = 0; offset < total; offset += kTracePieceSize) {
    size_t length = std::min(kTracePieceSize, total - offset);
    piece.assign(1, '\x04');
    if (offset + length <= text.size()) {
      piece.append(text.substr(offset, length));
    } else {
      piece.append(text.substr(offset));
      piece.push_back('\0');
    }
    if (!SendLocked(piece)) return;
  }
}

void TraceChannel::Message(uint32_t categories, const char* format, va_list args) {
  uint32_t mask = GetMask();
  if ((mask & categories) != categories) return;
  std::optional<std::string> text = FormatText(format, args);
  if (!text) return;
  // The announcement and its text go out together.
  std::lock_guard guard(lock_);
  if (closed_ || !SendLocked(Word(9, categories))) return;
  SendTextLocked(*text);
}

void TraceChannel::Text(const char* format, va_list args) {
  if (closed_) return;
  std::optional<std::string> text = FormatText(format, args);
  if (text) SendText(*text);
}

void TraceChannel::Bytes(bool directionFlag, unsigned char byte) {
  if (closed_) return;
  const char message[2] = {static_cast<char>(directionFlag ? 8 : 7), static_cast<char>(byte)};
  std::lock_guard guard(lock_);
  SendLocked(std::string_view(message, 2));
}

void TraceChannel::Alert(uint32_t code) {
  if (closed_) return;
  std::lock_guard guard(lock_);
  SendLocked(Word(5, code));
}

void TraceChannel::Reset(std::function<TraceEndpoint()> endpoint) {
  std::lock_guard guard(lock_);
  if (endpoint) options_.endpoint = std::move(endpoint);
  pipe_.Close();
  endpointKnown_ = false;
  mask_ = 0;
  lastPoll_ = options_.clock() - kTracePollIntervalMs;
}

void TraceChannel::Shut() {
  closed_ = true;
  std::lock_guard guard(lock_);
  pipe_.Close();
  mask_ = 0;
}

void SetTraceConfigFile(std::string path) {
  ProcessTraceChannel().Reset([path = std::move(path)] { return TraceEndpointFor(TraceServerName(path)); });
}

TraceChannel& ProcessTraceChannel() {
  static TraceChannel* const channel = [] {
    TraceChannel::Options options;
    options.endpoint = [] { return TraceEndpointFor("."); };
    options.clock = SteadyMilliseconds;
    // Kept to the very end of the process: destructors of other static objects
    // and threads still running may trace; at exit it only stops sending.
    auto owned = std::make_unique<TraceChannel>(std::move(options));
    std::atexit([] { ProcessTraceChannel().Shut(); });
    return owned.release();
  }();
  return *channel;
}

uint32_t GetTraceMask() { return ProcessTraceChannel().GetMask(); }

void TraceMessage(uint32_t categories, const char* format, ...) {
  va_list args;
  va_start(args, format);
  ProcessTraceChannel().Message(categories, format, args);
  va_end(args);
}

void TraceText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  ProcessTraceChannel().Text(format, args);
  va_end(args);
}

void TraceBytes(bool directionFlag, unsigned char byte) { ProcessTraceChannel().Bytes(directionFlag, byte); }

void TraceAlert(uint32_t code) { ProcessTraceChannel().Alert(code); }

}  // namespace meldrix
