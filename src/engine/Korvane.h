// Client of the paging server Korvane. One command per connection, as the
// server's automation object lives for one command only: connect to the
// endpoint, send the command as UTF-8, shut the write side, read the UTF-8
// reply until the server closes. A call never blocks longer than its time
// limit. Failures carry HRESULT-style codes, which the engine shows as
// "ERROR(%08lX): ...".
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ConfigValueReader.h"
#include "platform/LocalStream.h"

namespace meldrix {

inline constexpr std::uint32_t KORVANE_S_OK = 0;
// The endpoint does not exist (no socket file, unknown host, malformed endpoint).
inline constexpr std::uint32_t KORVANE_E_CLASSNOTREG = 0x80040154;
// Nobody listens at the endpoint.
inline constexpr std::uint32_t KORVANE_E_SERVER_UNAVAILABLE = 0x800706BA;
// The server did not answer within the time limit.
inline constexpr std::uint32_t KORVANE_E_TIMEOUT = 0x800705B4;
// The server's reply exceeds kKorvaneMaxReplyBytes.
inline constexpr std::uint32_t KORVANE_E_REPLY_TOO_LONG = 0x80070000 + 90;  // + EMSGSIZE
// The failure code as returned by CoCreateInstance for an object that does not
// offer the interface; the setup and GetValue calls tolerate it.
inline constexpr std::uint32_t KORVANE_E_NOINTERFACE = 0x80004002;

inline constexpr char kKorvaneDefaultEndpoint[] = "unix:/run/korvane/korvane.sock";
inline constexpr std::chrono::milliseconds kKorvaneDefaultTimeout{30000};
// Replies are texts of a few lines or a receiver list; anything beyond this is
// refused rather than buffered without bound.
inline constexpr std::size_t kKorvaneMaxReplyBytes = 4 * 1024 * 1024;

// Key "Endpoint" of section "Korvane", or kKorvaneDefaultEndpoint when it is
// absent or empty.
std::string KorvaneEndpointSetting(const ConfigValueReader& config);

// 0x80070000 + errno for everything without a code of its own.
std::uint32_t KorvaneErrorFromErrno(int error);

struct KorvaneResult {
  std::uint32_t hr = KORVANE_S_OK;  // 0, or the failure code
  std::string reply;                // Windows-1252; empty on failure
  bool Succeeded() const { return hr == KORVANE_S_OK; }
};

// What the engine talks to; tests and the engine's own tests swap in a fake.
class IKorvane {
 public:
  virtual ~IKorvane() = default;
  // Sends one command (Windows-1252) and returns the reply (Windows-1252).
  virtual KorvaneResult Execute(std::string_view command) = 0;
};

class CKorvane : public IKorvane {
 public:
  explicit CKorvane(std::string endpoint = kKorvaneDefaultEndpoint,
                    std::chrono::milliseconds timeout = kKorvaneDefaultTimeout);
  KorvaneResult Execute(std::string_view command) override;

  const std::string& Endpoint() const { return endpoint_; }
  std::chrono::milliseconds Timeout() const { return timeout_; }
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

 private:
  std::string endpoint_;
  std::chrono::milliseconds timeout_;
  // The endpoint's addresses, looked up at the first command and again after
  // a failed one (the name may point elsewhere now), not for every command.
  std::vector<StreamAddress> addresses_;
};

}  // namespace meldrix
