// The trace channel: diagnostic texts and raw bytes for an outside trace
// server (tools/meldrix-trace), which answers polls with the category mask it
// wants. Process-wide and usable from any thread. Without a server the cost is
// one atomic load and a clock read per call, plus one connection attempt every
// ten seconds.
//
// Messages (first byte, then the rest; integers little-endian):
//   2            poll; the server answers with up to 8 bytes, the first
//                32-bit word being the new mask
//   4 text       one piece (at most 30000 bytes) of a text with its final zero byte
//   5 code       alert (32 bits)
//   7/8 byte     raw byte; 8 when the direction flag is set
//   9 category   the categories (32 bits) of the text that follows
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/TracePipe.h"

namespace meldrix {

// Category bits in use.
inline constexpr uint32_t kTraceProtocolState = 0x4;     // device protocol state changes
inline constexpr uint32_t kTraceProtocolBytes = 0x8;     // received device protocol bytes
inline constexpr uint32_t kTraceSocketErrors = 0x20000;  // socket receive errors
inline constexpr uint32_t kTraceMail = 0x80000;          // SMTP and mail decoding

inline constexpr uint32_t kTraceAlertCrash = 0x800000FF;

inline constexpr int64_t kTracePollIntervalMs = 10000;
inline constexpr size_t kTracePieceSize = 30000;

// One trace channel. The process uses the single instance behind the free
// functions below; tests build their own with a fixed endpoint and clock.
class TraceChannel {
 public:
  struct Options {
    // Gives the endpoint; asked once, at the first poll.
    std::function<TraceEndpoint()> endpoint;
    // Millisecond tick count (monotonic).
    std::function<int64_t()> clock;
  };
  explicit TraceChannel(Options options);
  ~TraceChannel();
  TraceChannel(const TraceChannel&) = delete;
  TraceChannel& operator=(const TraceChannel&) = delete;

  uint32_t GetMask();
  void Message(uint32_t categories, const char* format, va_list args)
      __attribute__((format(printf, 3, 0)));
  void Text(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
  void SendText(std::string_view text);  // already formatted; no category test
  void Bytes(bool directionFlag, unsigned char byte);
  void Alert(uint32_t code);

  // Forgets the endpoint and the connection (and takes a new endpoint source
  // when one is given); the next call polls at once.
  void Reset(std::function<TraceEndpoint()> endpoint = nullptr);
  // After this nothing is traced any more (process end).
  void Shut();

 private:
  bool SendLocked(std::string_view message);
  void SendTextLocked(std::string_view text);
  static std::string Word(uint8_t kind, uint32_t value);

  std::atomic<bool> closed_{false};
  std::atomic<int64_t> lastPoll_;
  std::atomic<uint32_t> mask_{0};
  std::atomic<bool> endpointKnown_{false};
  Options options_;
  std::mutex lock_;  // guards pipe_, endpoint_ and options_.endpoint
  TracePipe pipe_;
  TraceEndpoint endpoint_;
};

// The configuration file whose section "TRAX", key "TraceServer" names the
// trace server ("." = this machine, the default). Set at start-up once the
// configuration paths are known; the next trace call polls the server at once.
void SetTraceConfigFile(std::string path);

// The process-wide channel (never destroyed, so late tracing stays safe).
TraceChannel& ProcessTraceChannel();

uint32_t GetTraceMask();
// Sends the text only when every bit of categories is set in the mask.
void TraceMessage(uint32_t categories, const char* format, ...) __attribute__((format(printf, 2, 3)));
void TraceText(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Callers test GetTraceMask() first.
void TraceBytes(bool directionFlag, unsigned char byte);
void TraceAlert(uint32_t code);

}  // namespace meldrix
