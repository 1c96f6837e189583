#include "engine/Korvane.h"

#include <algorithm>
#include <cerrno>

#include "platform/Cp1252.h"

namespace meldrix {

std::uint32_t KorvaneErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return KORVANE_S_OK;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return KORVANE_E_CLASSNOTREG;
    case ECONNREFUSED:
      return KORVANE_E_SERVER_UNAVAILABLE;
    case ETIMEDOUT:
      return KORVANE_E_TIMEOUT;
    default:
      return 0x80070000u + (static_cast<std::uint32_t>(error) & 0xFFFF);
  }
}

std::string KorvaneEndpointSetting(const ConfigValueReader& config) {
  std::string endpoint = config ? config("Korvane", "Endpoint") : std::string();
  return endpoint.empty() ? std::string(kKorvaneDefaultEndpoint) : endpoint;
}

CKorvane::CKorvane(std::string endpoint, std::chrono::milliseconds timeout)
    : endpoint_(std::move(endpoint)), timeout_(timeout) {}

KorvaneResult CKorvane::Execute(std::string_view command) {
  KorvaneResult result;
  const StreamDeadline deadline = std::chrono::steady_clock::now() + timeout_;
  int error = 0;
  if (addresses_.empty()) {
    auto endpoint = StreamEndpoint::Parse(endpoint_);
    if (!endpoint) {
      result.hr = KORVANE_E_CLASSNOTREG;
      return result;
    }
    error = ResolveStreamEndpoint(*endpoint, addresses_);
  }
  LocalStream stream;
  std::size_t used = 0;
  if (!error) stream = LocalStream::Connect(addresses_, deadline, error, &used);
  // The address that answered goes first: a name with an address nobody
  // listens on (localhost as ::1 for a server on 127.0.0.1) costs one
  // refused connection once, not for every command.
  if (!error && used > 0) std::rotate(addresses_.begin(), addresses_.begin() + static_cast<std::ptrdiff_t>(used), addresses_.end());
  if (!error) error = stream.SendAll(Cp1252ToUtf8(command), deadline);
  if (!error) error = stream.ShutdownWrite();
  // A server that closes before reading the whole command may still have
  // answered; whatever it sent is the reply.
  if (error == EPIPE || error == ECONNRESET) error = 0;
  std::string utf8;
  if (!error) error = stream.ReceiveToEnd(utf8, kKorvaneMaxReplyBytes, deadline);
  // Closing with our command unread resets the connection: no answer, which
  // is an empty reply, not a transport failure.
  if (error == ECONNRESET) error = 0;
  if (error) {
    addresses_.clear();
    result.hr = KorvaneErrorFromErrno(error);
    return result;
  }
  // Bytes that are not valid UTF-8 are taken one by one, never dropped.
  result.reply = Utf8ToCp1252(utf8);
  return result;
}

}  // namespace meldrix
