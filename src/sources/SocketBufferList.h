// The received blocks of a socket source, oldest first. Connection threads
// append; the source's poll on the main thread takes blocks oldest first.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace meldrix {

class CSocketBufferList {
 public:
  // Bytes held at once. A connection that would go beyond waits (and so
  // stops reading its socket) until the poll has made room: nothing is
  // dropped, and a flooding peer cannot exhaust memory.
  static constexpr std::size_t kDefaultMaxBytes = 16 * 1024 * 1024;

  explicit CSocketBufferList(std::size_t maxBytes = kDefaultMaxBytes) : maxBytes_(maxBytes) {}

  // Appends a copy of the block. Waits while the list is full; false when the
  // list was shut down meanwhile (the block is then dropped).
  bool Append(const char* data, std::size_t length);
  // Appends an empty entry, which the poll reports as a receive error.
  void AppendReceiveError();

  enum class PollResult { Empty, Processed, ReceiveError };
  // Gives the bytes of the oldest block to step in order until the block ends
  // or step returns false (enough messages for this poll); the rest of a
  // block cut short stays first in the list for the next poll. Main thread
  // only.
  PollResult ProcessFirst(const std::function<bool(char)>& step);

  // Wakes and refuses waiting and later appenders (source closing).
  void Shutdown();
  // Accepts appends again; keeps what is still held.
  void Reopen();

  std::size_t BlockCount() const;
  std::size_t ByteCount() const;

 private:
  struct Block {
    std::string bytes;  // empty: a receive error
    bool error = false;
  };

  mutable std::mutex mutex_;
  std::condition_variable roomFreed_;
  std::deque<Block> blocks_;
  std::size_t bytes_ = 0;
  std::size_t maxBytes_;
  bool shutDown_ = false;
};

}  // namespace meldrix
