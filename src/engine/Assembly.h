// Message assembly: turns the plain-text byte stream of one source into
// finished message texts. Cuts the stream at the end-of-message sequence, at
// the maximum line length or after a silence, joins continuation lines into
// one multi-line message, filters escape sequences, replaces control bytes
// and repairs UTF-8 umlauts. Every source (CInPort) holds one of these; its
// state is driven only from the main thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Timer.h"

namespace meldrix {

// The engine settings a source copies at every activation.
struct AssemblySettings {
  std::string endOfMessage = "\n";  // already prepared: real bytes
  char ctrlReplaceChar = '~';
  bool moreLineMessages = false;
  bool filterEscapes = false;
  bool replaceControlChars = false;
  std::uint32_t multilineTimeoutMs = 1000;
  std::uint32_t lineTimeoutMs = 0;  // 0: lines never end by silence
  long maxMessageLength = 250;
};

// The "EndOfMessage" setting in escape notation turned into real bytes:
// "\r", "\n", "\t", "\f" and "\\" first, then "\xHH" (exactly two hex digits).
// An incomplete or malformed "\x" notation stops the hex replacement and
// stays as it is.
std::string PrepareEndOfMessage(std::string_view setting);

// A line or multi-line message never grows beyond this, whatever
// MaxMessageLength says: a device that never stops talking must not eat the
// memory of the machine.
inline constexpr long kMaxAssemblyLength = 1L << 20;

class CMessageAssembly {
 public:
  // Takes the settings; the state (line, held message, finished messages)
  // stays, only the end-of-message window starts anew.
  void Configure(const AssemblySettings& settings);
  const AssemblySettings& Settings() const { return settings_; }

  // The per-character step. True when the byte completed a line (which may
  // have become, or joined, a held multi-line message instead of a finished
  // one).
  bool AddChar(char c);
  void AddChars(std::string_view bytes);

  // Completes the current line (end of message, line time-out, or a protocol
  // decoder that filled the line itself).
  void CompleteLine();
  // Hands over the held multi-line message when its timer has run out or is
  // not set; runs at the end of every polling pass.
  void CheckHeldMessage();
  // Completes a non-empty line whose line timer has run out.
  void CheckLineTimer();
  // Both checks, in the order of the end of a polling pass.
  void FinishPoll();

  // The line being received; protocol decoders append decoded text to it.
  std::string& Line() { return line_; }
  const std::string& HeldMessage() const { return held_; }
  TimerValue LineTimer() const { return lineTimer_; }
  TimerValue MultilineTimer() const { return multilineTimer_; }
  // Clears the multi-line timer: a held message is then handed over at the
  // next check (file sources after reading, closing a source).
  void ClearMultilineTimer() { multilineTimer_ = 0; }
  void ClearLineTimer() { lineTimer_ = 0; }

  // Finished messages, oldest first.
  bool HasCompleted() const { return !completed_.empty(); }
  std::size_t CompletedCount() const { return completed_.size(); }
  std::deque<std::string> TakeCompleted();
  std::optional<std::string> TakeOldestCompleted();

  // Everything received and held is dropped (a source that is set up anew).
  void Reset();

 private:
  bool IsBreak(unsigned char c) const { return c == 13 || c == 10 || c == 12; }
  void HandOverHeld();
  void AddLine(std::string line, bool startsWithWhiteSpace);
  long MaxLineLength() const;

  AssemblySettings settings_;
  std::string line_;
  std::string held_;
  std::string window_;
  // Length of the line before each byte of the window arrived, so the bytes
  // that the end-of-message sequence added (or their replacements) can be cut.
  std::deque<std::size_t> lineLengthBefore_;
  TimerValue multilineTimer_ = 0;
  TimerValue lineTimer_ = 0;
  std::deque<std::string> completed_;
};

// Removes ESC (27) with the byte that follows it; a trailing ESC alone.
std::string RemoveEscapeSequences(std::string_view text);

}  // namespace meldrix
