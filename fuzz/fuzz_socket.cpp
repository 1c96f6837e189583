// The socket source: blocks as connections receive them, through the
// source's buffer list, into message assembly. Header bytes:
//   0  bit 0 multi-line messages, bit 1 escape filter, bit 2 control-byte
//      replacement, bit 3 the program's MaxMessageLength (else byte 1)
//   1  MaxMessageLength - 1 when bit 3 is clear
//   2  buffer-list budget / 4 - 1 (a connection waits beyond it)
//   3  bytes one poll takes before it stops - 1
//   4  size of the received blocks - 1
//   5  milliseconds / 10 the clock moves per block; bit 7 sets a line time-out
//   6  length n of the EndOfMessage setting, then n bytes of it
// then the received bytes. Every byte appended comes out of the list once,
// in order, whatever the budgets.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "engine/Assembly.h"
#include "sources/SocketBufferList.h"
#include "sources/SocketSource.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace meldrix;
  FakeClock& clock = fuzz::InstallEnv();
  for (const char* limit : {"assembly MaxMessageLength", "socket poll budget", "socket buffer budget"})
    fuzz::LimitCounts::Watch(limit);
  if (size < 7) return 0;
  const std::uint8_t* h = data;
  std::string_view rest(reinterpret_cast<const char*>(data + 7), size - 7);
  const std::string_view eom = rest.substr(0, h[6] % 16);
  rest.remove_prefix(eom.size());

  AssemblySettings settings;
  settings.moreLineMessages = (h[0] & 1) != 0;
  settings.filterEscapes = (h[0] & 2) != 0;
  settings.replaceControlChars = (h[0] & 4) != 0;
  if ((h[0] & 8) == 0) settings.maxMessageLength = 1 + h[1];
  settings.endOfMessage = PrepareEndOfMessage(eom);
  settings.lineTimeoutMs = (h[5] & 0x80) ? 50 : 0;
  settings.multilineTimeoutMs = 100;
  CMessageAssembly assembly;
  assembly.Configure(settings);

  const std::size_t budget = 4 * (std::size_t{h[2]} + 1);
  const std::size_t perPoll = std::size_t{h[3]} + 1;
  const std::size_t block = std::size_t{h[4]} + 1;
  const std::uint64_t tick = 10u * (h[5] & 0x7Fu);

  CSocketBufferList buffers(budget);
  CSocketSource connection(buffers, 0);
  std::string seen;
  std::size_t completed = 0;
  auto poll = [&] {
    std::size_t taken = 0;
    const auto result = buffers.ProcessFirst([&](char c) {
      seen += c;
      const long lineBefore = static_cast<long>(assembly.Line().size());
      if (assembly.AddChar(c) && lineBefore >= settings.maxMessageLength)
        fuzz::LimitCounts::Met("assembly MaxMessageLength");
      if (++taken < perPoll) return true;
      fuzz::LimitCounts::Met("socket poll budget");
      return false;
    });
    assembly.FinishPoll();
    while (auto message = assembly.TakeOldestCompleted()) {
      ++completed;
      if (static_cast<long>(message->size()) > kMaxAssemblyLength) std::abort();
    }
    return result;
  };

  for (std::size_t at = 0; at < rest.size(); at += block) {
    const std::string_view piece = rest.substr(at, block);
    // A connection would wait here for the poll to make room; with one
    // thread the poll runs first.
    while (buffers.ByteCount() != 0 && buffers.ByteCount() + piece.size() > budget) {
      fuzz::LimitCounts::Met("socket buffer budget");
      if (poll() == CSocketBufferList::PollResult::Empty) std::abort();
    }
    connection.OnBytesReceived(piece.data(), piece.size());
    if (buffers.ByteCount() > std::max(budget, piece.size())) std::abort();
    clock.Advance(tick);
    if ((at / block) % 3 == 2) poll();
  }
  while (poll() != CSocketBufferList::PollResult::Empty) {
  }
  clock.Advance(1000);
  assembly.FinishPoll();
  completed += assembly.TakeCompleted().size();
  if (seen != rest) std::abort();
  return 0;
}
